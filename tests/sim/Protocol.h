#pragma once
// Wire protocol between the PC and the interface unit, as the simulator sees
// it. The simulator shares no code with the program, so that it catches the
// program's mistakes instead of repeating them.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sim {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kFrameStart = 0x24;     // '$'
inline constexpr std::uint8_t kEscape = 0xAA;         // escape introducer
inline constexpr std::uint8_t kEscapedStart = 0xFE;   // AA FE stands for 24
inline constexpr std::uint8_t kEscapedEscape = 0x22;  // AA 22 stands for AA
inline constexpr std::uint8_t msgHostTag = 0xC0;        // record[0] of every PC message

// Interface-unit commands: record[1] of a PC message, message id of a unit message.
inline constexpr std::uint8_t icStatus = 0x3A;          // keep-alive, answered with the battery mV
inline constexpr std::uint8_t icSetClock = 0x32;
inline constexpr std::uint8_t icCommsMode = 0xA5;
inline constexpr std::uint8_t icDiscover = 0x78;
inline constexpr std::uint8_t icDiscoverNext = 0x79;
inline constexpr std::uint8_t icPoll = 0x2D;            // '-'
inline constexpr std::uint8_t icRelay = 0xA7;
inline constexpr std::uint8_t icRelayChirp = 0x7A;      // 'z'
inline constexpr std::uint8_t icRelayReply = 0xA8;
inline constexpr std::uint8_t icRelayChirpReply = 0x7B; // '{'

// Repeater commands (the reply code is the command + 1, or rcError).
inline constexpr std::uint8_t rcReadItem = 0xC8;
inline constexpr std::uint8_t rcWriteItem = 0xCA;
inline constexpr std::uint8_t rcRssi = 0xCC;
inline constexpr std::uint8_t rcSetClock = 0xD0;
inline constexpr std::uint8_t rcReadClock = 0xD2;
inline constexpr std::uint8_t rcEcuState = 0xD4;
inline constexpr std::uint8_t rcRegion = 0xE4;
inline constexpr std::uint8_t rcTest = 0xE6;
inline constexpr std::uint8_t rcReadDbEntry = 0xE8;
inline constexpr std::uint8_t rcDbRequest = 0xEA;
inline constexpr std::uint8_t rcClearDb = 0xEC;
inline constexpr std::uint8_t rcReadDebugLog = 0xEE;
inline constexpr std::uint8_t rcEraseBuffer = 0xF0;
inline constexpr std::uint8_t rcService = 0xF2;
inline constexpr std::uint8_t rcError = 0xFF;

// First argument of rcEcuState.
inline constexpr std::uint8_t esGsmNetwork = 0;  // second byte 0x10 log on, 0x1F log off
inline constexpr std::uint8_t esStartPatrol = 1; // second byte: patrol seconds
inline constexpr std::uint8_t esSleep = 4;       // second byte 0x55

// Configuration item codes of a repeater.
inline constexpr std::uint8_t ciSerialNumber = 0x00;
inline constexpr std::uint8_t ciEcuNumber = 0x01;
inline constexpr std::uint8_t ciHostNumber = 0x03;
inline constexpr std::uint8_t ciEngineerNumber = 0x04;
inline constexpr std::uint8_t ciPatrolTime = 0x05;
inline constexpr std::uint8_t ciPatrolDuration = 0x06;
inline constexpr std::uint8_t ciPatrolDays = 0x07;
inline constexpr std::uint8_t ciReportTime = 0x08;
inline constexpr std::uint8_t ciReportDays = 0x09;
inline constexpr std::uint8_t ciAlarmReport = 0x0A;
inline constexpr std::uint8_t ciRetryTime = 0x0B;
inline constexpr std::uint8_t ciRadioFailCounter = 0x0C;
inline constexpr std::uint8_t ciEcuOptions = 0x0D;
inline constexpr std::uint8_t ciSmsSuccessCounter = 0x0E;
inline constexpr std::uint8_t ciSmsFailCounter = 0x0F;
inline constexpr std::uint8_t ciLogonFailCounter = 0x10;
inline constexpr std::uint8_t ciGsmBand = 0x11;
inline constexpr std::uint8_t ciSimFailCounter = 0x12;
inline constexpr std::uint8_t ciModemFailCounter = 0x13;
inline constexpr std::uint8_t ciRxDuration = 0x14;
inline constexpr std::uint8_t ciSmsRxCounter = 0x15;
inline constexpr std::uint8_t ciLowRfThreshold = 0x16;
inline constexpr std::uint8_t ciAlarmEnables = 0x17;
inline constexpr std::uint8_t ciReportStagger = 0x18;
inline constexpr std::uint8_t ciGpsCoords = 0x19;
inline constexpr std::uint8_t ciHistogramOptions = 0x1A;
inline constexpr std::uint8_t ciSimNumber = 0x1B;
inline constexpr std::uint8_t ciFirmwareVersion = 0x20;  // read only
inline constexpr std::uint8_t ciRegion = 0x21;           // read only; set with rcRegion
inline constexpr std::uint8_t ciApn = 0x30;
inline constexpr std::uint8_t ciGprsUser = 0x31;
inline constexpr std::uint8_t ciGprsPassword = 0x32;
inline constexpr std::uint8_t ciFtpHost = 0x33;
inline constexpr std::uint8_t ciFtpUser = 0x34;
inline constexpr std::uint8_t ciFtpPassword = 0x35;
inline constexpr std::uint8_t ciFtpFolder = 0x36;

// ---- frames ------------------------------------------------------------

// Two's complement of the 8-bit sum of `bytes` plus `start`: the byte that
// makes the whole sum 0 modulo 256.
std::uint8_t Checksum(std::span<const std::uint8_t> bytes, std::uint8_t start = 0);

// Appends one logical byte, as an escape pair when it is 24 or AA.
void AppendEscaped(Bytes& out, std::uint8_t b);

// PC -> unit: 24, L = n + 1, record (escaped), checksum (escaped). No third
// header byte. Throws std::length_error for more than 254 record bytes.
Bytes EncodeHostFrame(std::span<const std::uint8_t> record);
// The same with a checksum byte of the caller's choosing (for bad frames).
Bytes EncodeHostFrame(std::span<const std::uint8_t> record, std::uint8_t checksum);

// Unit -> PC: 24, L = n + 2, H (< 0x20, never escaped), message (escaped),
// checksum over H and the message (escaped). Throws std::length_error for
// more than 253 message bytes.
Bytes EncodeUnitFrame(std::span<const std::uint8_t> message, std::uint8_t header = 0);
Bytes EncodeUnitFrame(std::span<const std::uint8_t> message, std::uint8_t header,
                      std::uint8_t checksum);

enum class Direction {
    FromHost,  // frames the PC writes: no header byte, L 2..255
    FromUnit,  // frames the unit writes: header byte H < 0x20, L 3..250
};

struct DecodedFrame {
    Bytes payload;             // PC: the record (C0 ...); unit: the message (id ...)
    std::uint8_t header = 0;   // H of a unit frame; 0 for PC frames
    std::uint8_t checksum = 0; // the checksum byte as received
    bool checksumOk = false;
    Bytes wire;                // every wire byte from the 24 to the checksum
};

// Streaming decoder: bytes may arrive in any pieces; a frame split across
// Feed calls completes when its last byte arrives. Garbage before a frame
// start is skipped; an unescaped 24 inside a frame (never sent inside a valid
// frame) abandons that frame and starts a new one there; an impossible length
// byte skips the 24. An AA followed by anything but FE or 22 is taken as the
// data byte AA, and the byte after it is read as the next byte.
class FrameDecoder {
public:
    explicit FrameDecoder(Direction direction);
    void Feed(std::span<const std::uint8_t> bytes, std::vector<DecodedFrame>& out);
    void Reset();
    bool InFrame() const { return state_ != State::Seek; }
    std::size_t DiscardedBytes() const { return discarded_; }

private:
    enum class State { Seek, Length, Header, Body, Escape };
    void Take(std::uint8_t b, std::vector<DecodedFrame>& out);
    void AddLogical(std::uint8_t b, std::vector<DecodedFrame>& out);
    void Abandon(std::uint8_t current);

    Direction direction_;
    State state_ = State::Seek;
    std::size_t need_ = 0;
    Bytes logical_;
    Bytes wire_;
    Bytes replay_;  // bytes to read again after an abandoned frame
    std::uint8_t header_ = 0;
    std::size_t discarded_ = 0;
};

// Decodes every complete frame in `bytes` (a fresh decoder; an incomplete
// tail is dropped).
std::vector<DecodedFrame> DecodeAll(Direction direction, std::span<const std::uint8_t> bytes);

// "C0 3A 02"
std::string Hex(std::span<const std::uint8_t> bytes);

// ---- values ------------------------------------------------------------

// Discovery entry b0 b1 b2 b3 of a repeater id: id = b0 * 2^22 + b1 * 65536 +
// b2 * 256 + b3. Ids below 2^22 get b0 = 0, larger ones b0 = id / 2^22 (at
// most 255, the rest then below 2^24). Throws std::out_of_range for ids above
// 255 * 2^22 + 0xFFFFFF, which no entry can carry.
std::array<std::uint8_t, 4> EncodeDiscoveryId(std::uint32_t id);
std::uint32_t DecodeDiscoveryId(std::span<const std::uint8_t, 4> entry);
inline constexpr std::uint32_t kMaxDiscoveryId = 255u * 4194304u + 0xFFFFFFu;

// A calendar date and time without time zone.
struct CivilTime {
    int year = 2000;
    int month = 1;    // 1..12
    int day = 1;      // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int weekday = 6;  // 0 Sunday .. 6 Saturday
    bool operator==(const CivilTime&) const = default;
};

CivilTime CivilFromUnix(std::int64_t seconds);   // weekday filled in
std::int64_t UnixFromCivil(const CivilTime& t);  // weekday ignored
bool IsValidCivil(const CivilTime& t);           // year 2000..2255, real date and time

// The repeaters' five-byte packed date and time: a 40-bit little-endian field
// of second (6 bits), minute (6), hour (5), weekday (3), day (5), month (4),
// year - 2000 (8), three zero bits.
std::array<std::uint8_t, 5> PackTime(const CivilTime& t);
CivilTime UnpackTime(std::span<const std::uint8_t, 5> b);

std::uint32_t ReadBe32(std::span<const std::uint8_t, 4> b);
void AppendBe16(Bytes& out, std::uint16_t v);
void AppendBe32(Bytes& out, std::uint32_t v);

}  // namespace sim
