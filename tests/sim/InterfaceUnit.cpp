#include "sim/InterfaceUnit.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace sim {

// ---- ReceivedFrame -----------------------------------------------------

bool ReceivedFrame::IsRelay() const
{
    return record.size() >= 6 && (record[1] == icRelay || record[1] == icRelayChirp);
}

int ReceivedFrame::RepeaterCommand() const
{
    return IsRelay() ? record[2] : -1;
}

std::uint32_t ReceivedFrame::RepeaterAddress() const
{
    if (!IsRelay())
        return 0;
    return static_cast<std::uint32_t>(record[3]) << 16 | static_cast<std::uint32_t>(record[4]) << 8 | record[5];
}

Bytes ReceivedFrame::RepeaterArgs() const
{
    return IsRelay() ? Bytes(record.begin() + 6, record.end()) : Bytes{};
}

// ---- pseudo-terminal ---------------------------------------------------

namespace {

[[noreturn]] void ThrowErrno(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

// Raw, 8 data bits, no flow control, reads that never wait: nothing may alter
// frame bytes such as 0D, 0A, 11 or 13 before the program opens the slave.
void MakeRaw(int fd)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        ThrowErrno("tcgetattr");
    cfmakeraw(&t);
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP);
    t.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL | ISIG | IEXTEN);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    if (tcsetattr(fd, TCSANOW, &t) != 0)
        ThrowErrno("tcsetattr");
}

bool IsSymlink(const std::string& path)
{
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

}  // namespace

InterfaceUnit::InterfaceUnit()
{
    OpenPty();
}

InterfaceUnit::~InterfaceUnit()
{
    if (!symlink_.empty() && IsSymlink(symlink_))
        unlink(symlink_.c_str());
    ClosePty();
}

void InterfaceUnit::OpenPty()
{
    int m = -1, s = -1;
    if (openpty(&m, &s, nullptr, nullptr, nullptr) != 0)
        ThrowErrno("openpty");
    try {
        char name[256];
        if (ttyname_r(s, name, sizeof name) != 0)
            ThrowErrno("ttyname_r");
        MakeRaw(s);
        MakeRaw(m);
        if (fcntl(m, F_SETFL, fcntl(m, F_GETFL) | O_NONBLOCK) != 0)
            ThrowErrno("fcntl");
        fcntl(m, F_SETFD, FD_CLOEXEC);
        fcntl(s, F_SETFD, FD_CLOEXEC);
        slavePath_ = name;
    } catch (...) {
        close(m);
        close(s);
        throw;
    }
    master_ = m;
    // Kept open so that the pty does not hang up whenever the program closes
    // its port between connections.
    slave_ = s;
    decoder_.Reset();
    Log("pty " + slavePath_);
}

void InterfaceUnit::ClosePty()
{
    if (master_ >= 0)
        close(master_);
    if (slave_ >= 0)
        close(slave_);
    master_ = slave_ = -1;
}

void InterfaceUnit::HangUp()
{
    if (master_ < 0)
        return;
    ClosePty();
    out_.clear();
    decoder_.Reset();
    Log("hang-up of " + slavePath_);
}

void InterfaceUnit::Recreate()
{
    HangUp();
    OpenPty();
    cycle_.clear();
    cyclePos_ = 0;
    UpdateSymlink();
}

void InterfaceUnit::SetSymlink(const std::string& path)
{
    if (!symlink_.empty() && IsSymlink(symlink_))
        unlink(symlink_.c_str());
    symlink_.clear();
    if (path.empty())
        return;
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
        throw std::runtime_error(path + " exists and is not a symbolic link; not replacing it");
    symlink_ = path;
    UpdateSymlink();
}

void InterfaceUnit::UpdateSymlink()
{
    if (symlink_.empty() || slavePath_.empty())
        return;
    if (IsSymlink(symlink_))
        unlink(symlink_.c_str());
    if (symlink(slavePath_.c_str(), symlink_.c_str()) != 0)
        ThrowErrno("symlink");
}

void InterfaceUnit::FlushToProgram()
{
    if (slave_ >= 0)
        tcflush(slave_, TCIFLUSH);
}

bool InterfaceUnit::WaitForInput(int timeoutMs) const
{
    if (master_ < 0)
        return false;
    pollfd p{master_, POLLIN, 0};
    int r;
    do {
        r = poll(&p, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    return r > 0 && (p.revents & POLLIN);
}

// ---- driving -----------------------------------------------------------

void InterfaceUnit::Pump(std::int64_t nowMs)
{
    now_ = nowMs;
    ++pumpSerial_;
    if (master_ < 0)
        return;
    ReadInput();
    WriteOutput();
}

void InterfaceUnit::ReadInput()
{
    std::uint8_t buf[4096];
    std::vector<DecodedFrame> frames;
    for (;;) {
        const ssize_t n = read(master_, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EIO)
                Log(std::string("read failed: ") + std::strerror(errno));
            return;
        }
        if (n == 0)
            return;
        frames.clear();
        decoder_.Feed(std::span<const std::uint8_t>(buf, static_cast<std::size_t>(n)), frames);
        for (DecodedFrame& d : frames) {
            ReceivedFrame f;
            f.timeMs = now_;
            f.record = std::move(d.payload);
            f.checksum = d.checksum;
            f.checksumOk = d.checksumOk;
            f.wire = std::move(d.wire);
            Log(std::string(f.checksumOk ? "rx " : "rx BAD CHECKSUM ") + Hex(f.record) + " | "
                + Hex(std::span<const std::uint8_t>(&f.checksum, 1)));
            received_.push_back(f);
            if (f.checksumOk)
                Handle(f);
        }
    }
}

void InterfaceUnit::WriteOutput()
{
    while (master_ >= 0) {
        auto cur = std::find_if(out_.begin(), out_.end(), [](const Outgoing& o) { return o.Started(); });
        if (cur == out_.end()) {
            for (auto it = out_.begin(); it != out_.end(); ++it) {
                if (it->dueMs > now_)
                    continue;
                if (cur == out_.end() || it->dueMs < cur->dueMs || (it->dueMs == cur->dueMs && it->seq < cur->seq))
                    cur = it;
            }
            if (cur == out_.end())
                return;
        } else if (cur->offset == 0 && (cur->lastPump == pumpSerial_ || now_ < cur->lastWriteMs + cur->gapMs)) {
            return;  // the next piece of a split frame waits for a later Pump
        }
        const Bytes& piece = cur->pieces[cur->next];
        const ssize_t n = write(master_, piece.data() + cur->offset, piece.size() - cur->offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                Log(std::string("write failed: ") + std::strerror(errno));
            return;
        }
        cur->offset += static_cast<std::size_t>(n);
        bytesWritten_ += static_cast<std::uint64_t>(n);
        if (cur->offset < piece.size())
            return;  // the pty is full; the rest goes next time
        cur->offset = 0;
        ++cur->next;
        cur->lastPump = pumpSerial_;
        cur->lastWriteMs = now_;
        if (cur->next == cur->pieces.size())
            out_.erase(cur);
    }
}

std::optional<std::int64_t> InterfaceUnit::NextDueMs() const
{
    std::optional<std::int64_t> due;
    for (const Outgoing& o : out_) {
        if (o.Started())
            return o.offset > 0 ? now_ : std::max(now_, o.lastWriteMs + o.gapMs);
        if (!due || o.dueMs < *due)
            due = o.dueMs;
    }
    return due;
}

// ---- handling the PC's messages ----------------------------------------

void InterfaceUnit::Handle(const ReceivedFrame& f)
{
    if (silent_) {
        Log("  (silent)");
        return;
    }
    const Bytes& rec = f.record;
    if (rec.size() < 2 || rec[0] != msgHostTag) {
        Log("  ignored: not a PC message");
        return;
    }
    switch (rec[1]) {
    case icStatus: {
        // data[1] of the reply is not read by the program: the request's argument is echoed.
        const Bytes msg{icStatus, rec.size() > 2 ? rec[2] : std::uint8_t{0x02},
                        static_cast<std::uint8_t>(batteryMv_ >> 8), static_cast<std::uint8_t>(batteryMv_)};
        QueueReply(icStatus, msg);
        return;
    }
    case icSetClock:
        if (rec.size() == 6)
            lastClock_ = ReadBe32(std::span<const std::uint8_t, 4>(rec.data() + 2, 4));
        else
            Log("  clock ignored: wrong length");
        return;  // never answered
    case icCommsMode:
        if (rec.size() < 3) {
            Log("  comms mode ignored: no mode byte");
            return;
        }
        commsMode_ = rec[2];
        // Only the id is read by the program; the mode is echoed after it.
        QueueReply(icCommsMode, Bytes{icCommsMode, rec[2]});
        return;
    case icDiscover:
        cycle_ = DiscoveryIds();
        cyclePos_ = 0;
        SendBatch(icDiscover);
        return;
    case icDiscoverNext:
        SendBatch(icDiscoverNext);
        return;
    case icPoll:
        HandlePoll();
        return;
    case icRelay:
    case icRelayChirp:
        HandleRelay(f);
        return;
    default:
        Log("  unknown command: no reply");
        return;
    }
}

std::vector<std::uint32_t> InterfaceUnit::DiscoveryIds() const
{
    if (discoveryList_)
        return *discoveryList_;
    std::vector<std::uint32_t> ids;
    for (const auto& r : repeaters_)
        if (r->Discoverable())
            ids.push_back(r->Id());
    return ids;
}

void InterfaceUnit::SendBatch(std::uint8_t id)
{
    // 79 after the last batch (or without a 78 first) gets an empty last batch.
    const std::size_t left = cycle_.size() - std::min(cyclePos_, cycle_.size());
    const std::size_t k = std::min(batchSize_, left);
    Bytes msg{id, 0};
    for (std::size_t i = 0; i < k; ++i) {
        const auto e = EncodeDiscoveryId(cycle_[cyclePos_ + i]);
        msg.insert(msg.end(), e.begin(), e.end());
    }
    cyclePos_ += k;
    msg[1] = cyclePos_ < cycle_.size() ? 1 : 0;  // more follows
    QueueReply(id, msg);
}

Bytes InterfaceUnit::ReportRecord(const PollReport& r) const
{
    // Bytes 3 and 7 onward are not read by the program: the simulator puts
    // the job kind, the loggers heard and the signal strength there.
    Bytes m{icPoll,
            r.reason,
            r.outcome,
            r.kind,
            static_cast<std::uint8_t>(r.address >> 16),
            static_cast<std::uint8_t>(r.address >> 8),
            static_cast<std::uint8_t>(r.address),
            r.loggers,
            r.signal};
    m.resize(reportLength_, 0);  // at least 7: a shorter length cuts loggers and signal
    return m;
}

void InterfaceUnit::HandlePoll()
{
    for (auto it = reports_.begin(); it != reports_.end(); ++it) {
        if (it->report.readyMs <= now_ && it->shortPollsSeen >= shortPollsFirst_) {
            const Bytes msg = ReportRecord(it->report);
            reports_.erase(it);
            QueueReply(icPoll, msg);
            return;
        }
    }
    // Short reply: nothing to report yet. Its second byte is the simulator's
    // own (the number of reports waiting); the program reads only the id and
    // the length.
    const Bytes shortReply{icPoll, static_cast<std::uint8_t>(std::min<std::size_t>(reports_.size(), 255))};
    if (!reports_.empty()) {
        for (PendingReport& p : reports_)
            ++p.shortPollsSeen;
        QueueReply(icPoll, shortReply);
        return;
    }
    if (idlePollReports_) {
        Repeater* rep = lastAddressed_ ? FindByAddress(*lastAddressed_) : nullptr;
        if (!rep) {
            for (const auto& r : repeaters_)
                if (r->Present()) {
                    rep = r.get();
                    break;
                }
        }
        if (rep && !rep->Silent()) {
            QueueReply(icPoll, ReportRecord(rep->StatusReport(now_)));
            return;
        }
    }
    QueueReply(icPoll, shortReply);
}

void InterfaceUnit::HandleRelay(const ReceivedFrame& f)
{
    const Bytes& rec = f.record;
    if (rec.size() < 6) {
        Log("  relay too short: ignored");
        return;
    }
    if (requireCommsMode_ && commsMode_ != std::optional<std::uint8_t>(1)) {
        Log("  relay ignored: not in repeater comms mode");
        return;
    }
    const std::uint32_t addr = f.RepeaterAddress();
    Repeater* rep = FindByAddress(addr);
    if (!rep) {
        Log("  no repeater answers at this address");
        return;
    }
    lastAddressed_ = addr;
    RepeaterResponse resp = rep->Handle(rec[2], std::span<const std::uint8_t>(rec).subspan(6), now_);
    const std::uint8_t replyId = rec[1] == icRelay ? icRelayReply : icRelayChirpReply;
    for (const RepeaterReply& r : resp.replies) {
        Bytes msg{replyId};
        msg.insert(msg.end(), r.message.begin(), r.message.end());
        QueueReply(rec[1], msg, r.extraDelayMs);
    }
    if (resp.report) {
        // One job at a time per repeater: a repeated command replaces its report.
        std::erase_if(reports_, [&](const PendingReport& p) { return p.report.address == resp.report->address; });
        reports_.push_back({*resp.report, 0});
    }
}

// ---- output ------------------------------------------------------------

void InterfaceUnit::QueueReply(std::uint8_t trigger, const Bytes& message, std::int64_t extraDelayMs)
{
    SentFrame s;
    s.queuedMs = now_;
    s.dueMs = now_ + delayMs_ + extraDelayMs;
    s.message = message;
    if (dropNext_ > 0) {
        --dropNext_;
        s.dropped = true;
    } else if (auto it = dropTo_.find(trigger); it != dropTo_.end() && it->second != 0) {
        if (it->second > 0)
            --it->second;
        s.dropped = true;
    }
    if (message.size() > 248) {
        // More than a unit frame may carry (a fault made it too long).
        s.dropped = true;
        Log("tx TOO LONG, not sent: " + Hex(message));
        sent_.push_back(std::move(s));
        return;
    }
    if (s.dropped) {
        Log("tx DROPPED " + Hex(message));
        sent_.push_back(std::move(s));
        return;
    }
    if (corruptNext_ > 0) {
        --corruptNext_;
        s.corrupted = true;
        s.wire = EncodeUnitFrame(message, header_, static_cast<std::uint8_t>(Checksum(message, header_) + 1));
    } else {
        s.wire = EncodeUnitFrame(message, header_);
    }

    std::vector<Bytes> pieces;
    std::size_t from = 0;
    for (std::size_t at : splitAt_) {
        if (at <= from || at >= s.wire.size())
            continue;
        pieces.emplace_back(s.wire.begin() + static_cast<std::ptrdiff_t>(from),
                            s.wire.begin() + static_cast<std::ptrdiff_t>(at));
        from = at;
    }
    pieces.emplace_back(s.wire.begin() + static_cast<std::ptrdiff_t>(from), s.wire.end());
    if (!noise_.empty()) {
        if (noiseOwnPiece_)
            pieces.insert(pieces.begin(), noise_);
        else
            pieces.front().insert(pieces.front().begin(), noise_.begin(), noise_.end());
        if (!noiseEach_)
            noise_.clear();
    }
    Enqueue(std::move(pieces), s.dueMs);
    Log(std::string("tx ") + (s.corrupted ? "BAD CHECKSUM " : "") + Hex(message)
        + (s.dueMs > now_ ? " (due " + std::to_string(s.dueMs) + ")" : ""));
    sent_.push_back(std::move(s));
}

void InterfaceUnit::Enqueue(std::vector<Bytes> pieces, std::int64_t dueMs)
{
    std::erase_if(pieces, [](const Bytes& p) { return p.empty(); });
    if (pieces.empty())
        return;
    Outgoing o;
    o.dueMs = dueMs;
    o.seq = seq_++;
    o.pieces = std::move(pieces);
    o.gapMs = splitGapMs_;
    out_.push_back(std::move(o));
}

void InterfaceUnit::SendRaw(Bytes bytes)
{
    SentFrame s;
    s.queuedMs = s.dueMs = now_;
    s.wire = bytes;
    s.injected = true;
    sent_.push_back(s);
    Log("tx raw " + Hex(bytes));
    Enqueue({std::move(bytes)}, now_);
}

void InterfaceUnit::SendMessage(const Bytes& message)
{
    SentFrame s;
    s.queuedMs = s.dueMs = now_;
    s.message = message;
    s.wire = EncodeUnitFrame(message, header_);
    s.injected = true;
    sent_.push_back(s);
    Log("tx injected " + Hex(message));
    Enqueue({s.wire}, now_);
}

void InterfaceUnit::WriteNow(const Bytes& bytes)
{
    std::size_t done = 0;
    while (master_ >= 0 && done < bytes.size()) {
        const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Log(std::string("write failed: ") + std::strerror(errno));
            return;
        }
        done += static_cast<std::size_t>(n);
        bytesWritten_ += static_cast<std::uint64_t>(n);
    }
}

// ---- settings ----------------------------------------------------------

void InterfaceUnit::SetDiscoveryBatchSize(std::size_t n)
{
    // A reply holds at most 248 bytes: id, flag and 61 entries of 4.
    batchSize_ = std::clamp<std::size_t>(n, 1, 61);
}

void InterfaceUnit::SetDiscoveryList(std::optional<std::vector<std::uint32_t>> ids)
{
    if (ids)
        for (std::uint32_t id : *ids)
            if (id > kMaxDiscoveryId)
                throw std::out_of_range("repeater id too large for a discovery entry");
    discoveryList_ = std::move(ids);
}

void InterfaceUnit::SetReportLength(std::size_t n)
{
    reportLength_ = std::clamp<std::size_t>(n, 7, 248);
}

void InterfaceUnit::QueuePollReport(const PollReport& report)
{
    reports_.push_back({report, 0});
}

void InterfaceUnit::SetNoise(Bytes noise, bool eachReply, bool ownPiece)
{
    noise_ = std::move(noise);
    noiseEach_ = eachReply;
    noiseOwnPiece_ = ownPiece;
}

void InterfaceUnit::SetSplit(std::vector<std::size_t> offsets, std::int64_t gapMs)
{
    std::sort(offsets.begin(), offsets.end());
    offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
    splitAt_ = std::move(offsets);
    splitGapMs_ = gapMs < 0 ? 0 : gapMs;
}

void InterfaceUnit::ClearFaults()
{
    silent_ = false;
    dropNext_ = 0;
    dropTo_.clear();
    delayMs_ = 0;
    corruptNext_ = 0;
    noise_.clear();
    splitAt_.clear();
    splitGapMs_ = 0;
}

// ---- repeaters and logs ------------------------------------------------

Repeater& InterfaceUnit::AddRepeater(std::uint32_t id)
{
    if (id > kMaxDiscoveryId)
        throw std::out_of_range("repeater id too large for a discovery entry");
    if (Repeater* r = FindRepeater(id))
        return *r;
    repeaters_.push_back(std::make_unique<Repeater>(id));
    return *repeaters_.back();
}

bool InterfaceUnit::RemoveRepeater(std::uint32_t id)
{
    return std::erase_if(repeaters_, [id](const auto& r) { return r->Id() == id; }) > 0;
}

Repeater* InterfaceUnit::FindRepeater(std::uint32_t id)
{
    for (const auto& r : repeaters_)
        if (r->Id() == id)
            return r.get();
    return nullptr;
}

Repeater* InterfaceUnit::FindByAddress(std::uint32_t address24)
{
    for (const auto& r : repeaters_)
        if (r->Present() && r->Address() == (address24 & 0xFFFFFF))
            return r.get();
    return nullptr;
}

std::vector<Repeater*> InterfaceUnit::Repeaters()
{
    std::vector<Repeater*> v;
    for (const auto& r : repeaters_)
        v.push_back(r.get());
    return v;
}

std::vector<ReceivedFrame> InterfaceUnit::FramesWithCommand(std::uint8_t command) const
{
    std::vector<ReceivedFrame> v;
    for (const ReceivedFrame& f : received_)
        if (f.checksumOk && f.Command() == command)
            v.push_back(f);
    return v;
}

std::vector<ReceivedFrame> InterfaceUnit::RelaysWithCommand(std::uint8_t command) const
{
    std::vector<ReceivedFrame> v;
    for (const ReceivedFrame& f : received_)
        if (f.checksumOk && f.IsRelay() && f.RepeaterCommand() == command)
            v.push_back(f);
    return v;
}

std::size_t InterfaceUnit::BadChecksumCount() const
{
    return static_cast<std::size_t>(
        std::count_if(received_.begin(), received_.end(), [](const ReceivedFrame& f) { return !f.checksumOk; }));
}

std::vector<SentFrame> InterfaceUnit::SentWithId(std::uint8_t id) const
{
    std::vector<SentFrame> v;
    for (const SentFrame& s : sent_)
        if (!s.dropped && !s.message.empty() && s.message[0] == id)
            v.push_back(s);
    return v;
}

void InterfaceUnit::Log(const std::string& line) const
{
    if (logger_)
        logger_("[" + std::to_string(now_) + "] " + line);
}

}  // namespace sim
