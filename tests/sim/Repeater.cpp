#include "sim/Repeater.h"

#include <algorithm>

namespace sim {

namespace {

Bytes Text(const std::string& s)
{
    Bytes b(s.begin(), s.end());
    b.push_back(0);
    return b;
}

Bytes Be16(std::uint16_t v)
{
    Bytes b;
    AppendBe16(b, v);
    return b;
}

// An item value must fit a reply of at most 248 message bytes: relay id,
// code, address and item code take 6, so a value is cut to 242 bytes (a text
// keeps its NUL at the end).
constexpr std::size_t kMaxValueInReply = 242;

}  // namespace

Repeater::Repeater(std::uint32_t id) : id_(id)
{
    const std::uint32_t serial = Address();
    // ECU number as the program derives it from a serial number: the last
    // four decimal digits read as hexadecimal (12345678 -> 0x5678).
    const std::uint32_t last4 = serial % 10000;
    const auto ecu = static_cast<std::uint16_t>((last4 / 1000) << 12 | (last4 / 100 % 10) << 8
                                                | (last4 / 10 % 10) << 4 | (last4 % 10));
    items_[ciSerialNumber] = {static_cast<std::uint8_t>(serial >> 16),
                                static_cast<std::uint8_t>(serial >> 8), static_cast<std::uint8_t>(serial)};
    items_[ciEcuNumber] = Be16(ecu);
    items_[ciHostNumber] = Text("");
    items_[ciEngineerNumber] = Text("");
    items_[ciPatrolTime] = {0x02, 0x00};       // 02:00, BCD
    items_[ciPatrolDuration] = {60};
    items_[ciPatrolDays] = {0x7F};             // every day
    items_[ciReportTime] = {0x08, 0x30};       // 08:30
    items_[ciReportDays] = {0x3E};             // Monday to Friday
    items_[ciAlarmReport] = {'0'};             // no reports
    items_[ciRetryTime] = {0x03, 0x00};
    items_[ciEcuOptions] = {0x01};             // low-noise amplifier on, ECU inactive, SMS
    items_[ciGsmBand] = {0};
    items_[ciRxDuration] = {1};
    items_[ciLowRfThreshold] = {20};
    items_[ciAlarmEnables] = {0};
    items_[ciReportStagger] = {0, 0};
    items_[ciGpsCoords] = Bytes(8, 0);
    items_[ciHistogramOptions] = {0};
    items_[ciSimNumber] = Text("");
    items_[ciFirmwareVersion] = {0x01, 0x0A, 0x00, 0x03, 0x00};  // 01.0A.00.03; the fifth byte is not shown
    items_[ciRegion] = {0x44};                 // UK / Euro
    for (std::uint8_t c : {ciRadioFailCounter, ciSmsSuccessCounter, ciSmsFailCounter,
                           ciLogonFailCounter, ciSimFailCounter, ciModemFailCounter, ciSmsRxCounter})
        items_[c] = {0, 0};
    for (std::uint8_t c : {ciApn, ciGprsUser, ciGprsPassword, ciFtpHost, ciFtpUser,
                           ciFtpPassword, ciFtpFolder})
        items_[c] = Text("");
}

int Repeater::WriteLength(std::uint8_t code)
{
    switch (code) {
    case ciSerialNumber:
        return 3;
    case ciEcuNumber:
    case ciPatrolTime:
    case ciReportTime:
    case ciRetryTime:
    case ciRadioFailCounter:
    case ciSmsSuccessCounter:
    case ciSmsFailCounter:
    case ciLogonFailCounter:
    case ciSimFailCounter:
    case ciModemFailCounter:
    case ciSmsRxCounter:
    case ciReportStagger:
        return 2;
    case ciPatrolDuration:
    case ciPatrolDays:
    case ciReportDays:
    case ciAlarmReport:
    case ciEcuOptions:
    case ciGsmBand:
    case ciRxDuration:
    case ciLowRfThreshold:
    case ciAlarmEnables:
    case ciHistogramOptions:
        return 1;
    case ciGpsCoords:
        return 8;
    case ciHostNumber:
    case ciEngineerNumber:
    case ciSimNumber:
    case ciApn:
    case ciGprsUser:
    case ciGprsPassword:
    case ciFtpHost:
    case ciFtpUser:
    case ciFtpPassword:
    case ciFtpFolder:
        return 0;
    default:
        return -1;  // firmware version, region (set with its own command), unknown codes
    }
}

const Bytes* Repeater::Item(std::uint8_t code) const
{
    auto it = items_.find(code);
    return it == items_.end() ? nullptr : &it->second;
}

void Repeater::SetItem(std::uint8_t code, Bytes value)
{
    items_[code] = std::move(value);
}

std::string Repeater::ItemText(std::uint8_t code) const
{
    const Bytes* v = Item(code);
    if (!v)
        return {};
    auto end = std::find(v->begin(), v->end(), std::uint8_t{0});
    return std::string(v->begin(), end);
}

std::uint16_t Repeater::Counter(std::uint8_t code) const
{
    const Bytes* v = Item(code);
    if (!v || v->size() < 2)
        return 0;
    return static_cast<std::uint16_t>((*v)[0] << 8 | (*v)[1]);
}

std::uint8_t Repeater::EcuOptions() const
{
    const Bytes* v = Item(ciEcuOptions);
    return v && !v->empty() ? (*v)[0] : 0;
}

std::uint8_t Repeater::Region() const
{
    const Bytes* v = Item(ciRegion);
    return v && !v->empty() ? (*v)[0] : 0;
}

void Repeater::SetClock(std::int64_t unixSeconds, std::int64_t nowMs)
{
    clockBaseUnix_ = unixSeconds;
    clockBaseMs_ = nowMs;
    frozenClock_.reset();
}

std::int64_t Repeater::ClockAt(std::int64_t nowMs) const
{
    std::int64_t elapsed = nowMs - clockBaseMs_;
    if (elapsed < 0)
        elapsed = 0;
    return clockBaseUnix_ + elapsed / 1000;
}

void Repeater::SetDebugLogEntry(std::uint8_t log, std::uint8_t entry, std::uint32_t time)
{
    if (log < debugLogs_.size() && entry < 16)
        debugLogs_[log][entry] = time;
}

std::uint32_t Repeater::DebugLogEntry(std::uint8_t log, std::uint8_t entry) const
{
    return log < debugLogs_.size() && entry < 16 ? debugLogs_[log][entry] : 0;
}

void Repeater::Reject(std::uint8_t command, std::uint8_t errorCode, int count)
{
    ReplyFault f;
    f.kind = ReplyFault::Kind::Reject;
    f.command = command;
    f.errorCode = errorCode;
    f.count = count;
    faults_.push_back(f);
}

void Repeater::DropReplies(std::uint8_t command, int count)
{
    ReplyFault f;
    f.kind = ReplyFault::Kind::NoReply;
    f.command = command;
    f.count = count;
    faults_.push_back(f);
}

Bytes Repeater::Reply(std::uint8_t code, std::span<const std::uint8_t> payload) const
{
    Bytes m;
    m.reserve(4 + payload.size());
    m.push_back(code);
    m.push_back(static_cast<std::uint8_t>(Address() >> 16));
    m.push_back(static_cast<std::uint8_t>(Address() >> 8));
    m.push_back(static_cast<std::uint8_t>(Address()));
    for (std::uint8_t b : payload)
        m.push_back(b);
    return m;
}

Bytes Repeater::ErrorReply(std::uint8_t command, std::uint8_t code) const
{
    const std::uint8_t p[] = {command, code};
    return Reply(rcError, p);
}

PollReport Repeater::Job(std::uint8_t kind, std::int64_t nowMs) const
{
    PollReport r;
    r.address = Address();
    r.kind = kind;
    r.outcome = loggedOn_ ? 0x01 : 0x00;
    r.signal = signal_;
    r.readyMs = nowMs + jobDurationMs_;
    return r;
}

PollReport Repeater::StatusReport(std::int64_t nowMs) const
{
    PollReport r = Job(report::Status, nowMs);
    r.readyMs = nowMs;
    if (calibrationError_)
        r.outcome = 0x51;  // 'Q': internal calibration error
    return r;
}

RepeaterResponse Repeater::Handle(std::uint8_t command, std::span<const std::uint8_t> args, std::int64_t nowMs)
{
    RepeaterResponse r;
    if (!present_ || silent_)
        return r;

    std::vector<ReplyFault*> active;
    for (ReplyFault& f : faults_)
        if (f.count != 0 && (!f.command || *f.command == command) &&
            (!f.argument || (!args.empty() && args[0] == *f.argument)))
            active.push_back(&f);

    const auto has = [&](ReplyFault::Kind k) {
        return std::find_if(active.begin(), active.end(), [k](const ReplyFault* f) { return f->kind == k; });
    };

    if (has(ReplyFault::Kind::Ignore) == active.end()) {
        if (auto rej = has(ReplyFault::Kind::Reject); rej != active.end())
            r.replies.push_back({ErrorReply(command, (*rej)->errorCode), 0});
        else
            Execute(command, args, nowMs, r);

        for (const ReplyFault* f : active) {
            switch (f->kind) {
            case ReplyFault::Kind::Reject:
            case ReplyFault::Kind::Ignore:
                break;
            case ReplyFault::Kind::NoReply:
                r.replies.clear();
                break;
            case ReplyFault::Kind::WrongItem:
                for (RepeaterReply& rep : r.replies) {
                    if (rep.message.size() > 4)
                        rep.message[4] = f->item ? *f->item : static_cast<std::uint8_t>(rep.message[4] + 1);
                    else
                        rep.message.push_back(f->item ? *f->item : 0);
                }
                break;
            case ReplyFault::Kind::WrongLength:
                for (RepeaterReply& rep : r.replies) {
                    if (f->lengthDelta >= 0) {
                        rep.message.insert(rep.message.end(), static_cast<std::size_t>(f->lengthDelta), 0);
                    } else {
                        const std::size_t cut = std::min<std::size_t>(static_cast<std::size_t>(-f->lengthDelta),
                                                                      rep.message.size() - 1);
                        rep.message.resize(rep.message.size() - cut);
                    }
                }
                break;
            case ReplyFault::Kind::OtherAddress: {
                const std::uint32_t a = f->address ? *f->address : (Address() ^ 1u);
                for (RepeaterReply& rep : r.replies) {
                    if (rep.message.size() >= 4) {
                        rep.message[1] = static_cast<std::uint8_t>(a >> 16);
                        rep.message[2] = static_cast<std::uint8_t>(a >> 8);
                        rep.message[3] = static_cast<std::uint8_t>(a);
                    }
                }
                break;
            }
            case ReplyFault::Kind::WrongCode:
                for (RepeaterReply& rep : r.replies)
                    rep.message[0] = f->code;
                break;
            case ReplyFault::Kind::Late:
                for (RepeaterReply& rep : r.replies)
                    rep.extraDelayMs += f->delayMs;
                break;
            case ReplyFault::Kind::Duplicate: {
                std::vector<RepeaterReply> copies;
                for (const RepeaterReply& rep : r.replies)
                    for (int i = 0; i < std::max(1, f->copies); ++i)
                        copies.push_back(rep);
                r.replies = std::move(copies);
                break;
            }
            }
        }
    }

    for (ReplyFault* f : active)
        if (f->count > 0)
            --f->count;
    std::erase_if(faults_, [](const ReplyFault& f) { return f.count == 0; });
    return r;
}

void Repeater::Execute(std::uint8_t command, std::span<const std::uint8_t> args, std::int64_t nowMs,
                       RepeaterResponse& r)
{
    const auto reply = [&](std::uint8_t code, std::span<const std::uint8_t> payload = {}) {
        r.replies.push_back({Reply(code, payload), 0});
    };
    const auto error = [&](std::uint8_t code) { r.replies.push_back({ErrorReply(command, code), 0}); };
    const auto bump = [&](std::uint8_t counter) {
        const std::uint16_t v = Counter(counter);
        items_[counter] = Be16(v == 0xFFFF ? v : static_cast<std::uint16_t>(v + 1));
    };

    switch (command) {
    case rcReadItem: {  // C8 item -> C9 item value
        if (args.empty())
            return error(err::BadArguments);
        const Bytes* v = Item(args[0]);
        if (!v)
            return error(err::Refused);
        Bytes p{args[0]};
        if (v->size() > kMaxValueInReply) {
            p.insert(p.end(), v->begin(), v->begin() + kMaxValueInReply);
            if (WriteLength(args[0]) == 0)
                p.back() = 0;
        } else {
            p.insert(p.end(), v->begin(), v->end());
        }
        return reply(0xC9, p);
    }
    case rcWriteItem: {  // CA item 00 N value -> CB item
        if (args.size() < 3 || args[1] != 0x00 || args.size() != 3u + args[2])
            return error(err::BadArguments);
        const std::uint8_t item = args[0];
        const int want = WriteLength(item);
        if (want < 0)
            return error(err::Refused);
        const auto value = args.subspan(3);
        if (want == 0 ? (value.empty() || value.back() != 0) : value.size() != static_cast<std::size_t>(want))
            return error(err::BadArguments);
        items_[item] = Bytes(value.begin(), value.end());
        writes_.push_back({nowMs, item, items_[item], false});
        const std::uint8_t p[] = {item};
        return reply(0xCB, p);
    }
    case rcRssi: {  // CC 00 -> CD 00 xx strength
        if (!loggedOn_)
            return error(err::NotLoggedOn);
        // data[6] of the reply is not read by the program; 0 here.
        const std::uint8_t p[] = {args.empty() ? std::uint8_t{0} : args[0], 0x00, signal_};
        return reply(0xCD, p);
    }
    case rcSetClock: {  // D0 t[5] -> D1
        if (args.size() != 5)
            return error(err::BadArguments);
        std::array<std::uint8_t, 5> t{};
        std::copy(args.begin(), args.end(), t.begin());
        lastClockSet_ = t;
        const CivilTime c = UnpackTime(t);
        if (IsValidCivil(c)) {
            SetClock(UnixFromCivil(c), nowMs);
        } else {
            // An impossible time is kept as it came and read back unchanged.
            frozenClock_ = t;
        }
        return reply(0xD1);
    }
    case rcReadClock: {  // D2 -> D3 t[5]
        const std::array<std::uint8_t, 5> t = frozenClock_ ? *frozenClock_ : PackTime(CivilFromUnix(ClockAt(nowMs)));
        return reply(0xD3, t);
    }
    case rcEcuState: {  // D4 arg second -> D5 arg
        if (args.size() != 2)
            return error(err::BadArguments);
        const std::uint8_t arg = args[0], second = args[1];
        if (arg == esGsmNetwork && second == 0x10) {  // GSM log on
            PollReport rep = Job(report::LogOn, nowMs);
            if (gsm_.logOnSucceeds) {
                loggedOn_ = true;
                rep.outcome = 0x01;
            } else {
                loggedOn_ = false;
                rep.outcome = 0x00;
                rep.reason = gsm_.logOnFailReason;
                bump(ciLogonFailCounter);
            }
            r.report = rep;
        } else if (arg == esGsmNetwork && second == 0x1F) {  // GSM log off
            PollReport rep = Job(report::LogOff, nowMs);
            if (gsm_.logOffSucceeds)
                loggedOn_ = false;
            rep.outcome = loggedOn_ ? 0x01 : 0x00;
            r.report = rep;
        } else if (arg == esStartPatrol) {  // test patrol for `second` seconds
            lastPatrolSeconds_ = second;
            PollReport rep = Job(report::Patrol, nowMs);
            rep.loggers = static_cast<std::uint8_t>(std::min<std::size_t>(loggers_.size(), 255));
            r.report = rep;
        } else if (arg == esSleep && second == 0x55) {  // sleep
            asleep_ = true;
        } else {
            return error(err::BadArguments);
        }
        if (arg != esSleep)
            asleep_ = false;
        const std::uint8_t p[] = {arg};
        return reply(0xD5, p);
    }
    case rcRegion: {  // E4 code -> E5 code
        if (args.size() != 1)
            return error(err::BadArguments);
        items_[ciRegion] = {args[0]};
        return reply(0xE5, args);
    }
    case rcTest: {  // E6 type [digits] -> E7
        if (args.empty())
            return error(err::BadArguments);
        if (args[0] == 0) {
            if (gsm_.smsRefusal)
                return error(*gsm_.smsRefusal);
            if (!loggedOn_)
                return error(err::NotLoggedOn);
            const auto digits = args.subspan(1);
            const bool ok = !digits.empty() && std::all_of(digits.begin(), digits.end(), [](std::uint8_t c) {
                return (c >= '0' && c <= '9') || c == '+';
            });
            if (!ok)
                return error(err::BadNumber);
            lastSmsNumber_.assign(digits.begin(), digits.end());
            PollReport rep = Job(report::TestSms, nowMs);
            if (gsm_.smsSucceeds) {
                rep.outcome |= 0x02;
                bump(ciSmsSuccessCounter);
            } else {
                rep.reason = gsm_.smsFailReason;
                bump(ciSmsFailCounter);
            }
            r.report = rep;
            return reply(0xE7);
        }
        if (args[0] == 2) {
            if (args.size() != 1)
                return error(err::BadArguments);
            if (gsm_.ftpRefusal)
                return error(*gsm_.ftpRefusal);
            if (!loggedOn_)
                return error(err::FtpNotLoggedOn);
            if (!gsm_.gprsAvailable)
                return error(err::FtpNoGprs);
            PollReport rep = Job(report::TestFtp, nowMs);
            if (gsm_.ftpSucceeds)
                rep.outcome |= 0x10;
            r.report = rep;
            return reply(0xE7);
        }
        return error(err::UnknownCommand);
    }
    case rcReadDbEntry: {  // E8 index -> E9 index time[4] serial[3] level spread signal [flags]
        if (args.size() != 1)
            return error(err::BadArguments);
        if (args[0] >= loggers_.size())
            return error(err::Refused);
        const LoggerEntry& e = loggers_[args[0]];
        Bytes p{args[0]};
        AppendBe32(p, e.patrolTime);
        p.push_back(static_cast<std::uint8_t>(e.serial >> 16));
        p.push_back(static_cast<std::uint8_t>(e.serial >> 8));
        p.push_back(static_cast<std::uint8_t>(e.serial));
        p.push_back(static_cast<std::uint8_t>((e.leak ? 0x80 : 0) | (e.level & 0x7F)));
        p.push_back(static_cast<std::uint8_t>((e.sent ? 0x80 : 0) | (e.spread & 0x7F)));
        p.push_back(e.signal);
        if (e.flags)
            p.push_back(*e.flags);
        return reply(0xE9, p);
    }
    case rcDbRequest: {  // EA -> EB c1 c2 x; the program counts c1 + c2
        const auto n = static_cast<std::uint8_t>(loggers_.size());
        const std::array<std::uint8_t, 2> c = countBytes_ ? *countBytes_ : std::array<std::uint8_t, 2>{n, 0};
        // The third byte is not read by the program; 0 here.
        const std::uint8_t p[] = {c[0], c[1], 0x00};
        return reply(0xEB, p);
    }
    case rcClearDb: {  // EC ED -> ED
        if (args.size() != 1 || args[0] != 0xED)
            return error(err::BadArguments);
        loggers_.clear();
        return reply(0xED);
    }
    case rcReadDebugLog: {  // EE log entry -> EF log entry time[4] 00
        if (args.size() != 2)
            return error(err::BadArguments);
        if (args[0] >= debugLogs_.size() || args[1] >= 16)
            return error(err::Refused);
        Bytes p{args[0], args[1]};
        AppendBe32(p, debugLogs_[args[0]][args[1]]);
        p.push_back(0x00);  // not read by the program
        return reply(0xEF, p);
    }
    case rcEraseBuffer: {  // F0 log -> F1 log
        if (args.size() != 1)
            return error(err::BadArguments);
        if (args[0] >= debugLogs_.size())
            return error(err::Refused);
        debugLogs_[args[0]].fill(0);
        return reply(0xF1, args);
    }
    case rcService: {  // F2 item 00 value mask -> F3 item
        if (args.size() != 4 || args[1] != 0x00)
            return error(err::BadArguments);
        if (args[0] != ciEcuOptions)
            return error(err::ServiceRefused);
        const std::uint8_t v = static_cast<std::uint8_t>((EcuOptions() & ~args[3]) | (args[2] & args[3]));
        items_[ciEcuOptions] = {v};
        writes_.push_back({nowMs, args[0], Bytes{args[2], args[3]}, true});
        const std::uint8_t p[] = {args[0]};
        return reply(0xF3, p);
    }
    default:
        return error(err::UnknownCommand);
    }
}

}  // namespace sim
