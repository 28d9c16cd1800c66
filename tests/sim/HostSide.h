#pragma once
// The PC's end of the link for tests that talk to the simulator without the
// program: opens the slave side raw and speaks the PC's frames.
#include "sim/Protocol.h"

#include <cstddef>
#include <string>
#include <vector>

namespace sim {

class HostSide {
public:
    // Opens `path` (O_RDWR | O_NOCTTY | O_NONBLOCK) with raw termios; throws
    // std::system_error when that fails.
    explicit HostSide(const std::string& path);
    ~HostSide();
    HostSide(const HostSide&) = delete;
    HostSide& operator=(const HostSide&) = delete;

    int Fd() const { return fd_; }
    void Send(const Bytes& record);   // framed as the PC frames it
    void SendRaw(const Bytes& bytes);
    // Every byte waiting now, without waiting. Also feeds the frame decoder.
    Bytes ReadAvailable();
    // Waits (wall clock, up to timeoutMs) until at least `count` unit frames
    // have been decoded, then returns and forgets all decoded so far.
    std::vector<DecodedFrame> ReadFrames(std::size_t count = 1, int timeoutMs = 1000);
    // Frames decoded so far without waiting (reads what is waiting first).
    std::vector<DecodedFrame> TakeFrames();
    // True when the other end has hung up (poll reports POLLHUP or POLLERR).
    bool HungUp() const;

private:
    int fd_ = -1;
    FrameDecoder decoder_{Direction::FromUnit};
    std::vector<DecodedFrame> frames_;
};

}  // namespace sim
