#pragma once
// What the device calls share inside this layer: the table of open devices,
// each device's state, and the recording of the last failure.
#include "platform/CommDevice.h"

#include <atomic>
#include <cerrno>
#include <deque>
#include <linux/serial.h>
#include <memory>
#include <mutex>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace platform::comm::detail {

// Records the failure for LastError and LastErrorDetail; returns false.
bool Fail(int error, std::string detail = std::string());
// Clears the recorded failure (a call that succeeded).
void Succeed();

int64_t NowMs();

// A device without modem lines (a pseudo-terminal, some Bluetooth ports)
// answers the line calls with one of these.
inline bool NoSuchLines(int error) { return error == ENOTTY || error == EINVAL; }

struct Device {
    explicit Device(int f) : fd(f) {}
    ~Device() { ::close(fd); }
    int fd;
    std::mutex mutex; // guards the settings below
    Timeouts timeouts;
    std::atomic<uint32_t> inQueueSize{4096}; // also read by the event wait
    bool discardNull = false;
    char eventChar = 0;
    // Received bytes taken from the tty to look for the event character and
    // not read yet: every read takes them first.
    std::mutex rxMutex; // guards rxHeld and keeps reads in order
    std::deque<uint8_t> rxHeld;
    std::atomic<uint32_t> eventMask{0};
    Event maskChanged;
    Event abort; // purge of outstanding operations
    std::atomic<uint64_t> readGeneration{0};
    std::atomic<bool> txPending{false};
    Event written; // a write started: an event wait that watches the output queue looks again
    std::atomic<bool> xoffSent{false};
    // Seen by the event wait: what it last reported.
    int lastRxCount = 0;
    uint64_t lastRxGeneration = 0;
    bool rx80Reported = false;
    bool haveModem = false;
    int lastModem = 0;
    bool haveCounts = false;
    serial_icounter_struct lastCounts{};
    // Seen by ClearErrors.
    bool haveErrorCounts = false;
    serial_icounter_struct errorCounts{};
};

// Bytes received and not read yet: the tty's and those held.
int Waiting(Device& d);
// Up to `want` received bytes, held ones first; -1 with errno on failure.
ssize_t ReadReceived(Device& d, uint8_t* buffer, size_t want);
// Moves what the tty holds into rxHeld (as far as the input queue size
// allows); true when the event character was among those bytes.
bool HoldReceived(Device& d);

// The device of a handle; null (and EBADF recorded) when there is none.
std::shared_ptr<Device> Find(Handle h);

// Raw mode: no line editing, echo, signals, translation or software flow.
void MakeRaw(termios& t);
// Raises or drops a modem line; a device without lines accepts it.
bool SetLine(int fd, int bit, bool on);
// Rates without a B-constant go through termios2 (CommBaud.cpp: its kernel
// headers clash with <termios.h>).
bool SetOtherBaudRate(int fd, uint32_t rate);

} // namespace platform::comm::detail

namespace platform::comm {
// The device's own sources name these without the prefix.
using detail::Device;
using detail::Fail;
using detail::Find;
using detail::NoSuchLines;
using detail::NowMs;
} // namespace platform::comm
