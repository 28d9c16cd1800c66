#pragma once
// One simulated repeater behind the interface unit: answers the relayed
// repeater commands from its own item store, clock, logger database, debug
// logs and GSM state, and can be told to misbehave.
#include "sim/Protocol.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sim {

// One row of the repeater's logger database.
struct LoggerEntry {
    std::uint32_t patrolTime = 0;  // Unix seconds of the logger's last report
    std::uint32_t serial = 0;      // 24 bits
    bool leak = false;
    std::uint8_t level = 0;        // 0..127
    bool sent = false;
    std::uint8_t spread = 0;       // 0..127
    std::uint8_t signal = 0;       // 0..255
    std::optional<std::uint8_t> flags;  // battery / alarm bits; none = 16-byte reply
};

// What a long poll report says (the interface unit builds the record:
// 2D reason outcome kind a1 a2 a3 loggers signal 00 ... up to its report length).
struct PollReport {
    std::uint32_t address = 0;     // 24-bit repeater address
    std::uint8_t reason = 0;       // data[1]: GSM failure reason code
    std::uint8_t outcome = 0;      // data[2]: bit 0 logged on, bit 1 SMS sent, bit 4 FTP ok; 0x51 calibration error
    std::uint8_t kind = 0;         // data[3]: which job (ReportKind); the program does not read it
    std::uint8_t loggers = 0;      // data[7]: loggers heard by a patrol
    std::uint8_t signal = 0;       // data[8]: GSM signal strength
    std::int64_t readyMs = 0;      // not delivered before this time
};

// data[3] of a long report: the simulator's own marker of the job reported.
namespace report {
inline constexpr std::uint8_t Status = 0;
inline constexpr std::uint8_t Patrol = 1;
inline constexpr std::uint8_t LogOn = 2;
inline constexpr std::uint8_t LogOff = 3;
inline constexpr std::uint8_t TestSms = 4;
inline constexpr std::uint8_t TestFtp = 5;
}  // namespace report

// Error codes of the simulated repeater's error reply (FF addr cmd code).
namespace err {
inline constexpr std::uint8_t Refused = 1;         // unknown / read-only item, index out of range
inline constexpr std::uint8_t BadArguments = 2;    // wrong length or argument value
inline constexpr std::uint8_t ServiceRefused = 3;  // masked write of an item it does not allow
inline constexpr std::uint8_t UnknownCommand = 4;
inline constexpr std::uint8_t NotLoggedOn = 5;     // signal strength, test SMS
// Test refusals: test SMS 1 (bad number) or 5 (not logged on); FTP test 3
// (not logged on) or 5 (no GPRS connection).
inline constexpr std::uint8_t BadNumber = 1;
inline constexpr std::uint8_t FtpNotLoggedOn = 3;
inline constexpr std::uint8_t FtpNoGprs = 5;
}  // namespace err

// A misbehaviour of the repeater's replies. It affects the replies to
// `command` (every command when empty; note that the program asks for the
// signal strength every 1.5 s, so most tests want a command here) for the next
// `count` commands handled (-1: until cleared). Faults are applied in the
// order they were added; several can act on one reply.
struct ReplyFault {
    enum class Kind {
        Reject,        // error reply FF addr cmd errorCode instead; the command has no effect
        Ignore,        // the command is not heard: no effect, no reply
        NoReply,       // the command takes effect, its reply is lost
        WrongItem,     // first payload byte (item code, log index, ...) replaced by `item`
        WrongLength,   // `lengthDelta` bytes added (zeros) or removed at the end
        OtherAddress,  // reply carries `address` instead of the repeater's own
        WrongCode,     // reply code replaced by `code`
        Late,          // reply held back `delayMs` more
        Duplicate,     // reply sent `copies` times
    };
    Kind kind = Kind::NoReply;
    std::optional<std::uint8_t> command{};
    // Only commands whose first argument (the item code of an item read or
    // write, the log index, ...) is this one; empty: any.
    std::optional<std::uint8_t> argument{};
    int count = -1;
    std::uint8_t errorCode = err::Refused;
    std::optional<std::uint8_t> item{};  // WrongItem: empty = the right one + 1
    int lengthDelta = 1;
    std::optional<std::uint32_t> address{};  // OtherAddress: empty = own address XOR 1
    std::uint8_t code = 0x00;
    std::int64_t delayMs = 0;
    int copies = 2;
};

// How the GSM side of the repeater turns out.
struct GsmBehaviour {
    bool logOnSucceeds = true;
    std::uint8_t logOnFailReason = 0x41;  // 'A': network not found
    bool logOffSucceeds = true;
    bool smsSucceeds = true;
    std::uint8_t smsFailReason = 0x20;    // data[1] of a failed SMS report (the program does not read it)
    bool ftpSucceeds = true;
    bool gprsAvailable = true;            // without it the FTP test is refused with code 5
    std::optional<std::uint8_t> smsRefusal;  // refuse every test SMS with this code
    std::optional<std::uint8_t> ftpRefusal;  // refuse every FTP test with this code
};

// One configuration item written by the PC, in arrival order.
struct ItemWrite {
    std::int64_t timeMs = 0;
    std::uint8_t item = 0;
    Bytes value;       // CA: the N value bytes; F2: value and mask
    bool masked = false;  // written with the service command (F2)
};

struct RepeaterReply {
    Bytes message;           // code a1 a2 a3 payload (the unit puts the relay id in front)
    std::int64_t extraDelayMs = 0;
};

struct RepeaterResponse {
    std::vector<RepeaterReply> replies;
    std::optional<PollReport> report;  // a job that ends in a poll report
};

class Repeater {
public:
    explicit Repeater(std::uint32_t id);

    std::uint32_t Id() const { return id_; }
    std::uint32_t Address() const { return id_ & 0xFFFFFF; }  // the low 24 bits of the id

    // Presence: an absent repeater is not discovered and answers nothing; a
    // silent one is discovered but hears nothing; an undiscoverable one
    // answers but is left out of discovery.
    void SetPresent(bool present) { present_ = present; }
    bool Present() const { return present_; }
    void SetSilent(bool silent) { silent_ = silent; }
    bool Silent() const { return silent_; }
    void SetDiscoverable(bool on) { discoverable_ = on; }
    bool Discoverable() const { return present_ && discoverable_; }

    // ---- item store: every item code with the bytes last written
    const Bytes* Item(std::uint8_t code) const;  // nullptr: no such item
    void SetItem(std::uint8_t code, Bytes value);
    std::string ItemText(std::uint8_t code) const;  // text items: bytes up to the NUL
    std::uint16_t Counter(std::uint8_t code) const;  // 16-bit big-endian items
    std::uint8_t EcuOptions() const;
    std::uint8_t Region() const;
    const std::vector<ItemWrite>& Writes() const { return writes_; }
    void ClearWrites() { writes_.clear(); }
    // Bytes a write of this item must carry: 0 = text (ends in NUL), -1 = not writable.
    static int WriteLength(std::uint8_t code);

    // ---- clock: runs with the time passed in
    void SetClock(std::int64_t unixSeconds, std::int64_t nowMs);
    std::int64_t ClockAt(std::int64_t nowMs) const;
    const std::optional<std::array<std::uint8_t, 5>>& LastClockSet() const { return lastClockSet_; }

    // ---- GSM
    void SetLoggedOn(bool on) { loggedOn_ = on; }
    bool LoggedOn() const { return loggedOn_; }
    void SetSignalStrength(std::uint8_t v) { signal_ = v; }  // 0xFF: no value
    GsmBehaviour& Gsm() { return gsm_; }
    const std::string& LastTestSmsNumber() const { return lastSmsNumber_; }

    // ---- ECU state, patrol, calibration
    bool Asleep() const { return asleep_; }
    void SetAsleep(bool on) { asleep_ = on; }
    std::optional<std::uint8_t> LastPatrolSeconds() const { return lastPatrolSeconds_; }
    void SetCalibrationError(bool on) { calibrationError_ = on; }  // status reports carry 'Q'
    bool CalibrationError() const { return calibrationError_; }
    // Time from a job's acknowledgement to its poll report being ready.
    void SetJobDurationMs(std::int64_t ms) { jobDurationMs_ = ms; }

    // ---- logger database
    void SetLoggers(std::vector<LoggerEntry> loggers) { loggers_ = std::move(loggers); }
    const std::vector<LoggerEntry>& Loggers() const { return loggers_; }
    // The two count bytes of the EB reply (the program adds them); empty =
    // the count in the first byte and 0 in the second.
    void SetDatabaseCountBytes(std::optional<std::array<std::uint8_t, 2>> b) { countBytes_ = b; }

    // ---- debug logs: 7 logs of 16 Unix times
    void SetDebugLogEntry(std::uint8_t log, std::uint8_t entry, std::uint32_t time);
    std::uint32_t DebugLogEntry(std::uint8_t log, std::uint8_t entry) const;

    // ---- faults
    void AddFault(const ReplyFault& fault) { faults_.push_back(fault); }
    void ClearFaults() { faults_.clear(); }
    std::size_t FaultCount() const { return faults_.size(); }
    void Reject(std::uint8_t command, std::uint8_t errorCode, int count = -1);
    void DropReplies(std::uint8_t command, int count = -1);  // NoReply

    // ---- protocol
    // Handles one relayed command with its arguments (the bytes after the address).
    RepeaterResponse Handle(std::uint8_t command, std::span<const std::uint8_t> args, std::int64_t nowMs);
    // The report a poll gets when no job is pending: calibration state and GSM bit.
    PollReport StatusReport(std::int64_t nowMs) const;

private:
    Bytes Reply(std::uint8_t code, std::span<const std::uint8_t> payload = {}) const;
    Bytes ErrorReply(std::uint8_t command, std::uint8_t code) const;
    void Execute(std::uint8_t command, std::span<const std::uint8_t> args, std::int64_t nowMs,
                 RepeaterResponse& r);
    PollReport Job(std::uint8_t kind, std::int64_t nowMs) const;

    std::uint32_t id_;
    bool present_ = true;
    bool silent_ = false;
    bool discoverable_ = true;
    std::map<std::uint8_t, Bytes> items_;
    std::vector<ItemWrite> writes_;
    std::int64_t clockBaseUnix_ = 1577836800;  // 2020-01-01 00:00:00 at time 0
    std::int64_t clockBaseMs_ = 0;
    std::optional<std::array<std::uint8_t, 5>> lastClockSet_;
    std::optional<std::array<std::uint8_t, 5>> frozenClock_;  // an impossible time set: read back as set
    bool loggedOn_ = false;
    std::uint8_t signal_ = 20;
    GsmBehaviour gsm_;
    std::string lastSmsNumber_;
    bool asleep_ = false;
    std::optional<std::uint8_t> lastPatrolSeconds_;
    bool calibrationError_ = false;
    std::int64_t jobDurationMs_ = 0;
    std::vector<LoggerEntry> loggers_;
    std::optional<std::array<std::uint8_t, 2>> countBytes_;
    std::array<std::array<std::uint32_t, 16>, 7> debugLogs_{};
    std::vector<ReplyFault> faults_;
};

}  // namespace sim
