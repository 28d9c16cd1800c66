#include "sim/Protocol.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace sim {

std::uint8_t Checksum(std::span<const std::uint8_t> bytes, std::uint8_t start)
{
    unsigned sum = start;
    for (std::uint8_t b : bytes)
        sum += b;
    return static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
}

void AppendEscaped(Bytes& out, std::uint8_t b)
{
    if (b == kFrameStart) {
        out.push_back(kEscape);
        out.push_back(kEscapedStart);
    } else if (b == kEscape) {
        out.push_back(kEscape);
        out.push_back(kEscapedEscape);
    } else {
        out.push_back(b);
    }
}

Bytes EncodeHostFrame(std::span<const std::uint8_t> record)
{
    return EncodeHostFrame(record, Checksum(record));
}

Bytes EncodeHostFrame(std::span<const std::uint8_t> record, std::uint8_t checksum)
{
    if (record.size() > 254)
        throw std::length_error("a PC frame carries at most 254 record bytes");
    Bytes out;
    out.reserve(2 + 2 * (record.size() + 1));
    out.push_back(kFrameStart);
    out.push_back(static_cast<std::uint8_t>(record.size() + 1));  // never escaped
    for (std::uint8_t b : record)
        AppendEscaped(out, b);
    AppendEscaped(out, checksum);
    return out;
}

Bytes EncodeUnitFrame(std::span<const std::uint8_t> message, std::uint8_t header)
{
    return EncodeUnitFrame(message, header, Checksum(message, header));
}

Bytes EncodeUnitFrame(std::span<const std::uint8_t> message, std::uint8_t header,
                      std::uint8_t checksum)
{
    if (message.size() > 253)
        throw std::length_error("a unit frame carries at most 253 message bytes");
    Bytes out;
    out.reserve(3 + 2 * (message.size() + 1));
    out.push_back(kFrameStart);
    out.push_back(static_cast<std::uint8_t>(message.size() + 2));  // never escaped
    out.push_back(header);                                         // never escaped
    for (std::uint8_t b : message)
        AppendEscaped(out, b);
    AppendEscaped(out, checksum);
    return out;
}

// ---- decoder -----------------------------------------------------------

FrameDecoder::FrameDecoder(Direction direction) : direction_(direction) {}

void FrameDecoder::Reset()
{
    state_ = State::Seek;
    need_ = 0;
    logical_.clear();
    wire_.clear();
    header_ = 0;
}

void FrameDecoder::Feed(std::span<const std::uint8_t> bytes, std::vector<DecodedFrame>& out)
{
    // Abandoning a frame pushes its bytes back for a second look, so work
    // through a queue rather than the span itself.
    Bytes queue(bytes.begin(), bytes.end());
    std::size_t pos = 0;
    while (pos < queue.size()) {
        std::uint8_t b = queue[pos++];
        replay_.clear();
        Take(b, out);
        if (!replay_.empty()) {
            queue.insert(queue.begin() + static_cast<std::ptrdiff_t>(pos), replay_.begin(),
                         replay_.end());
            replay_.clear();
        }
    }
}

void FrameDecoder::Abandon(std::uint8_t current)
{
    // The 24 that started the frame is lost; every later byte is read again,
    // since one of them may start the real frame.
    ++discarded_;
    replay_.assign(wire_.begin() + 1, wire_.end());
    replay_.push_back(current);
    Reset();
}

void FrameDecoder::Take(std::uint8_t b, std::vector<DecodedFrame>& out)
{
    switch (state_) {
    case State::Seek:
        if (b == kFrameStart) {
            wire_.assign(1, b);
            state_ = State::Length;
        } else {
            ++discarded_;
        }
        return;
    case State::Length: {
        const bool host = direction_ == Direction::FromHost;
        const bool ok = host ? b >= 2 : (b >= 3 && b <= 250);
        if (!ok) {
            Abandon(b);
            return;
        }
        wire_.push_back(b);
        logical_.clear();
        need_ = host ? b : static_cast<std::size_t>(b) - 1;
        state_ = host ? State::Body : State::Header;
        return;
    }
    case State::Header:
        if (b >= 0x20) {
            Abandon(b);
            return;
        }
        wire_.push_back(b);
        header_ = b;
        state_ = State::Body;
        return;
    case State::Body:
        if (b == kFrameStart) {
            Abandon(b);
            return;
        }
        wire_.push_back(b);
        if (b == kEscape)
            state_ = State::Escape;
        else
            AddLogical(b, out);
        return;
    case State::Escape:
        state_ = State::Body;
        if (b == kEscapedStart) {
            wire_.push_back(b);
            AddLogical(kFrameStart, out);
        } else if (b == kEscapedEscape) {
            wire_.push_back(b);
            AddLogical(kEscape, out);
        } else {
            // A lone AA is the data byte AA; the byte after it is read afresh.
            AddLogical(kEscape, out);
            replay_.insert(replay_.begin(), b);
        }
        return;
    }
}

void FrameDecoder::AddLogical(std::uint8_t b, std::vector<DecodedFrame>& out)
{
    logical_.push_back(b);
    if (logical_.size() < need_)
        return;
    DecodedFrame f;
    f.checksum = logical_.back();
    f.payload.assign(logical_.begin(), logical_.end() - 1);
    if (direction_ == Direction::FromUnit) {
        f.header = header_;
        f.checksumOk = Checksum(logical_, header_) == 0;
    } else {
        f.checksumOk = Checksum(logical_) == 0;
    }
    f.wire = wire_;
    out.push_back(std::move(f));
    Reset();
}

std::vector<DecodedFrame> DecodeAll(Direction direction, std::span<const std::uint8_t> bytes)
{
    FrameDecoder d(direction);
    std::vector<DecodedFrame> out;
    d.Feed(bytes, out);
    return out;
}

std::string Hex(std::span<const std::uint8_t> bytes)
{
    std::string s;
    s.reserve(bytes.size() * 3);
    char buf[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
        if (i)
            s += ' ';
        s += buf;
    }
    return s;
}

// ---- values ------------------------------------------------------------

std::array<std::uint8_t, 4> EncodeDiscoveryId(std::uint32_t id)
{
    if (id > kMaxDiscoveryId)
        throw std::out_of_range("repeater id too large for a discovery entry");
    const std::uint32_t b0 = std::min<std::uint32_t>(id / 4194304u, 255u);
    std::uint32_t rest = id - b0 * 4194304u;
    return {static_cast<std::uint8_t>(b0), static_cast<std::uint8_t>(rest >> 16),
            static_cast<std::uint8_t>(rest >> 8), static_cast<std::uint8_t>(rest)};
}

std::uint32_t DecodeDiscoveryId(std::span<const std::uint8_t, 4> e)
{
    return static_cast<std::uint32_t>(e[0]) * 4194304u + static_cast<std::uint32_t>(e[1]) * 65536u
           + static_cast<std::uint32_t>(e[2]) * 256u + e[3];
}

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

int DaysInMonth(int y, int m)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0))
        return 29;
    return kDays[m - 1];
}

}  // namespace

CivilTime CivilFromUnix(std::int64_t seconds)
{
    std::int64_t days = seconds / 86400;
    std::int64_t rem = seconds % 86400;
    if (rem < 0) {
        rem += 86400;
        --days;
    }
    CivilTime t;
    t.hour = static_cast<int>(rem / 3600);
    t.minute = static_cast<int>(rem % 3600 / 60);
    t.second = static_cast<int>(rem % 60);
    t.weekday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (t.month <= 2));
    return t;
}

std::int64_t UnixFromCivil(const CivilTime& t)
{
    return DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) * 86400
           + t.hour * 3600 + t.minute * 60 + t.second;
}

bool IsValidCivil(const CivilTime& t)
{
    return t.year >= 2000 && t.year <= 2255 && t.month >= 1 && t.month <= 12 && t.day >= 1
           && t.day <= DaysInMonth(t.year, t.month) && t.hour >= 0 && t.hour < 24 && t.minute >= 0
           && t.minute < 60 && t.second >= 0 && t.second < 60;
}

std::array<std::uint8_t, 5> PackTime(const CivilTime& t)
{
    const unsigned s = static_cast<unsigned>(t.second), mi = static_cast<unsigned>(t.minute),
                   h = static_cast<unsigned>(t.hour), w = static_cast<unsigned>(t.weekday),
                   d = static_cast<unsigned>(t.day), mo = static_cast<unsigned>(t.month),
                   y = static_cast<unsigned>(t.year - 2000);
    return {static_cast<std::uint8_t>(s | mi << 6), static_cast<std::uint8_t>(mi >> 2 | h << 4),
            static_cast<std::uint8_t>(h >> 4 | w << 1 | d << 4),
            static_cast<std::uint8_t>(d >> 4 | mo << 1 | y << 5), static_cast<std::uint8_t>(y >> 3)};
}

CivilTime UnpackTime(std::span<const std::uint8_t, 5> b)
{
    CivilTime t;
    t.second = b[0] & 0x3F;
    t.minute = (b[0] >> 6) | ((b[1] & 0x0F) << 2);
    t.hour = (b[1] >> 4) | ((b[2] & 0x01) << 4);
    t.weekday = (b[2] >> 1) & 0x07;
    t.day = (b[2] >> 4) | ((b[3] & 0x01) << 4);
    t.month = (b[3] >> 1) & 0x0F;
    t.year = 2000 + ((b[3] >> 5) | ((b[4] & 0x1F) << 3));
    return t;
}

std::uint32_t ReadBe32(std::span<const std::uint8_t, 4> b)
{
    return static_cast<std::uint32_t>(b[0]) << 24 | static_cast<std::uint32_t>(b[1]) << 16
           | static_cast<std::uint32_t>(b[2]) << 8 | b[3];
}

void AppendBe16(Bytes& out, std::uint16_t v)
{
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void AppendBe32(Bytes& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v >> 24));
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

}  // namespace sim
