#include "sim/HostSide.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace sim {

HostSide::HostSide(const std::string& path)
{
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        throw std::system_error(errno, std::generic_category(), "open " + path);
    termios t{};
    if (tcgetattr(fd_, &t) != 0) {
        const int e = errno;
        close(fd_);
        throw std::system_error(e, std::generic_category(), "tcgetattr " + path);
    }
    cfmakeraw(&t);
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    tcsetattr(fd_, TCSANOW, &t);
}

HostSide::~HostSide()
{
    if (fd_ >= 0)
        close(fd_);
}

void HostSide::Send(const Bytes& record)
{
    SendRaw(EncodeHostFrame(record));
}

void HostSide::SendRaw(const Bytes& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw std::system_error(errno, std::generic_category(), "write");
        }
        done += static_cast<std::size_t>(n);
    }
}

Bytes HostSide::ReadAvailable()
{
    Bytes all;
    std::uint8_t buf[4096];
    for (;;) {
        const ssize_t n = read(fd_, buf, sizeof buf);
        if (n > 0) {
            all.insert(all.end(), buf, buf + n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;  // nothing waiting, or hung up
    }
    decoder_.Feed(all, frames_);
    return all;
}

std::vector<DecodedFrame> HostSide::ReadFrames(std::size_t count, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        ReadAvailable();
        if (frames_.size() >= count)
            break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0 || (p.revents & (POLLHUP | POLLERR)))
            break;
    }
    return std::exchange(frames_, {});
}

std::vector<DecodedFrame> HostSide::TakeFrames()
{
    ReadAvailable();
    return std::exchange(frames_, {});
}

bool HostSide::HungUp() const
{
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR));
}

}  // namespace sim
