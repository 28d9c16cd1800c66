#pragma once
// The simulated interface unit at the far end of a pseudo-terminal. It owns
// the master side; the program opens SlavePath() as its serial port. No
// thread of its own: the caller drives it with Pump(nowMs), which reads what
// the program wrote, answers it and writes every reply whose time has come.
// Time is only what the caller passes in.
#include "sim/Protocol.h"
#include "sim/Repeater.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// One frame the program wrote, as decoded.
struct ReceivedFrame {
    std::int64_t timeMs = 0;  // nowMs of the Pump that read it
    Bytes record;             // C0 command ...; checksum not included
    std::uint8_t checksum = 0;
    bool checksumOk = false;
    Bytes wire;               // the raw bytes, 24 to checksum

    int Command() const { return record.size() > 1 ? record[1] : -1; }  // record[1]
    bool IsRelay() const;                  // C0 A7/7A cmd a1 a2 a3 ...
    int RepeaterCommand() const;           // record[2] of a relay, else -1
    std::uint32_t RepeaterAddress() const; // record[3..5] of a relay, else 0
    Bytes RepeaterArgs() const;            // record[6..] of a relay
};

// One frame the simulator produced (or would have, when dropped).
struct SentFrame {
    std::int64_t queuedMs = 0;
    std::int64_t dueMs = 0;
    Bytes message;          // id ...; empty for raw injections
    Bytes wire;             // frame bytes as written (noise not included)
    bool dropped = false;   // a fault ate it (or it was too long): nothing was written
    bool corrupted = false; // written with a wrong checksum
    bool injected = false;  // SendRaw / SendMessage
};

class InterfaceUnit {
public:
    // Opens the pseudo-terminal; throws std::system_error when that fails.
    InterfaceUnit();
    ~InterfaceUnit();
    InterfaceUnit(const InterfaceUnit&) = delete;
    InterfaceUnit& operator=(const InterfaceUnit&) = delete;

    // ---- pseudo-terminal
    const std::string& SlavePath() const { return slavePath_; }  // e.g. /dev/pts/7
    bool IsOpen() const { return master_ >= 0; }
    int MasterFd() const { return master_; }  // -1 while hung up; for poll()
    // Closes the master (and the simulator's own slave descriptor): the
    // program's port sees a hang-up, as when a Bluetooth link drops. Unwritten
    // replies and a half-read frame are lost; repeaters and settings stay.
    void HangUp();
    // A new pseudo-terminal (a new SlavePath, the symlink follows). Hangs up
    // the old one first if it is still open.
    void Recreate();
    // Keeps a symbolic link at `path` to the current slave (replacing what is
    // there); "" removes the link. The destructor removes it too.
    void SetSymlink(const std::string& path);
    const std::string& Symlink() const { return symlink_; }
    // Discards bytes written to the program that it has not read.
    void FlushToProgram();
    // Waits up to timeoutMs (wall clock) for bytes from the program; true when
    // some are waiting. Only for loops that run in real time.
    bool WaitForInput(int timeoutMs) const;

    // ---- driving
    void Pump(std::int64_t nowMs);
    // When the next queued reply (or the next piece of a split one) falls
    // due; empty when nothing is queued.
    std::optional<std::int64_t> NextDueMs() const;
    bool HasPendingOutput() const { return !out_.empty(); }
    // Bytes written to the program since the simulator started.
    std::uint64_t BytesWritten() const { return bytesWritten_; }

    // ---- what the program sent
    const std::vector<ReceivedFrame>& Received() const { return received_; }
    void ClearReceived() { received_.clear(); }
    // Frames with a good checksum whose record[1] is `command`.
    std::vector<ReceivedFrame> FramesWithCommand(std::uint8_t command) const;
    std::size_t CountCommand(std::uint8_t command) const { return FramesWithCommand(command).size(); }
    // Relays (A7 or 7A, good checksum) carrying repeater command `command`.
    std::vector<ReceivedFrame> RelaysWithCommand(std::uint8_t command) const;
    std::size_t BadChecksumCount() const;
    std::size_t DiscardedBytes() const { return decoder_.DiscardedBytes(); }  // garbage between frames

    // ---- what the simulator sent
    const std::vector<SentFrame>& Sent() const { return sent_; }
    void ClearSent() { sent_.clear(); }
    std::vector<SentFrame> SentWithId(std::uint8_t id) const;  // not dropped

    // ---- interface-unit state
    void SetBatteryMv(std::uint16_t mv) { batteryMv_ = mv; }
    std::uint16_t BatteryMv() const { return batteryMv_; }
    void SetDiscoveryBatchSize(std::size_t n);  // entries per discovery reply, 1..61
    // Ids listed by discovery; empty = the present, discoverable repeaters in
    // the order they were added.
    // Throws std::out_of_range for an id that no entry can carry.
    void SetDiscoveryList(std::optional<std::vector<std::uint32_t>> ids);
    void SetHeaderByte(std::uint8_t h) { header_ = static_cast<std::uint8_t>(h & 0x1F); }
    std::optional<std::uint8_t> CommsMode() const { return commsMode_; }  // last mode byte received
    std::optional<std::uint32_t> LastClock() const { return lastClock_; }  // last C0 32 time
    // When set, relays are ignored unless comms mode 1 was set last.
    void SetRequireCommsMode(bool on) { requireCommsMode_ = on; }

    // ---- polling
    // Polls answered short before a queued job report goes out (default 1:
    // the program takes a report as an outcome only after a short reply).
    void SetShortPollsBeforeReport(int n) { shortPollsFirst_ = n < 0 ? 0 : n; }
    // Data bytes of a long report, 7..248 (default 16; 15 is a short reply).
    void SetReportLength(std::size_t n);
    // When no job report is pending, a poll is answered with the status report
    // of the repeater last addressed (what the calibration check waits for);
    // off: short replies only.
    void SetIdlePollReports(bool on) { idlePollReports_ = on; }
    // Queues a report of the caller's making (readyMs is honoured).
    void QueuePollReport(const PollReport& report);
    std::size_t PendingReports() const { return reports_.size(); }
    void ClearPollReports() { reports_.clear(); }

    // ---- repeaters
    Repeater& AddRepeater(std::uint32_t id);  // throws std::out_of_range above kMaxDiscoveryId
    bool RemoveRepeater(std::uint32_t id);
    Repeater* FindRepeater(std::uint32_t id);
    Repeater* FindByAddress(std::uint32_t address24);  // first present one
    std::vector<Repeater*> Repeaters();

    // ---- faults of the interface unit (all replies, repeaters' included)
    void SetSilent(bool on) { silent_ = on; }  // hears and does nothing (frames still logged)
    void DropNextReplies(int n) { dropNext_ = n; }
    // Drops the replies to PC command `command` (record[1]: 3A, A5, 78, 79,
    // 2D, A7, 7A) for the next `count` of them (-1: until cleared).
    void DropRepliesTo(std::uint8_t command, int count = -1) { dropTo_[command] = count; }
    void SetReplyDelayMs(std::int64_t ms) { delayMs_ = ms < 0 ? 0 : ms; }
    void CorruptNextChecksums(int n) { corruptNext_ = n; }
    // Noise bytes written just before replies: once (before the next reply)
    // or before each. With ownPiece the noise goes out in a write of its own,
    // otherwise in the same write as the start of the frame.
    void SetNoise(Bytes noise, bool eachReply = false, bool ownPiece = false);
    // Splits every reply's frame at these byte offsets (of the frame's wire
    // bytes); each piece is written by a later Pump than the one before, and
    // no sooner than gapMs after it. Nothing else is written in between.
    void SetSplit(std::vector<std::size_t> offsets, std::int64_t gapMs = 0);
    void ClearFaults();

    // ---- injection (no faults applied); written by the next Pump, in order
    void SendRaw(Bytes bytes);
    // Framed with the header byte and a checksum; throws std::length_error
    // above 253 bytes (the program itself takes at most 248).
    void SendMessage(const Bytes& message);
    // Writes at once, bypassing the queue (may land inside a split reply).
    void WriteNow(const Bytes& bytes);

    // ---- diagnostics: one line per received/sent/dropped frame and event
    void SetLogger(std::function<void(const std::string&)> logger) { logger_ = std::move(logger); }

private:
    struct Outgoing {
        std::int64_t dueMs = 0;
        std::uint64_t seq = 0;
        std::vector<Bytes> pieces;
        std::size_t next = 0;       // piece to write next
        std::size_t offset = 0;     // bytes of that piece already written
        std::uint64_t lastPump = 0; // Pump that wrote the previous piece
        std::int64_t lastWriteMs = 0;
        std::int64_t gapMs = 0;     // least time between two pieces
        bool Started() const { return next > 0 || offset > 0; }
    };
    struct PendingReport {
        PollReport report;
        int shortPollsSeen = 0;
    };

    void OpenPty();
    void ClosePty();
    void UpdateSymlink();
    void ReadInput();
    void WriteOutput();
    void Handle(const ReceivedFrame& f);
    void HandlePoll();
    void HandleRelay(const ReceivedFrame& f);
    void SendBatch(std::uint8_t id);
    void QueueReply(std::uint8_t trigger, const Bytes& message, std::int64_t extraDelayMs = 0);
    void Enqueue(std::vector<Bytes> pieces, std::int64_t dueMs);
    Bytes ReportRecord(const PollReport& r) const;
    std::vector<std::uint32_t> DiscoveryIds() const;
    void Log(const std::string& line) const;

    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::string symlink_;
    FrameDecoder decoder_{Direction::FromHost};
    std::int64_t now_ = 0;
    std::uint64_t pumpSerial_ = 0;
    std::uint64_t bytesWritten_ = 0;

    std::vector<ReceivedFrame> received_;
    std::vector<SentFrame> sent_;
    std::vector<std::unique_ptr<Repeater>> repeaters_;

    std::uint16_t batteryMv_ = 7600;
    std::size_t batchSize_ = 4;
    std::optional<std::vector<std::uint32_t>> discoveryList_;
    std::uint8_t header_ = 0;
    std::optional<std::uint8_t> commsMode_;
    std::optional<std::uint32_t> lastClock_;
    bool requireCommsMode_ = false;
    std::vector<std::uint32_t> cycle_;
    std::size_t cyclePos_ = 0;

    int shortPollsFirst_ = 1;
    std::size_t reportLength_ = 16;
    bool idlePollReports_ = true;
    std::deque<PendingReport> reports_;
    std::optional<std::uint32_t> lastAddressed_;

    bool silent_ = false;
    int dropNext_ = 0;
    std::map<std::uint8_t, int> dropTo_;
    std::int64_t delayMs_ = 0;
    int corruptNext_ = 0;
    Bytes noise_;
    bool noiseEach_ = false;
    bool noiseOwnPiece_ = false;
    std::vector<std::size_t> splitAt_;
    std::int64_t splitGapMs_ = 0;

    std::vector<Outgoing> out_;
    std::uint64_t seq_ = 0;
    std::function<void(const std::string&)> logger_;
};

}  // namespace sim
