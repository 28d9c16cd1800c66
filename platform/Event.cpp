#include "platform/Event.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/eventfd.h>
#include <unistd.h>
#include <vector>

namespace platform {

Event::Event(bool initiallySet) : fd_(eventfd(initiallySet ? 1 : 0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    if (fd_ < 0)
        throw std::runtime_error(std::string("eventfd: ") + std::strerror(errno));
}

Event::~Event() { close(fd_); }

void Event::Set()
{
    // The counter only needs to be non-zero; a full counter (EAGAIN) is set too.
    const uint64_t one = 1;
    while (write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void Event::Reset()
{
    uint64_t value;
    while (read(fd_, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

bool Event::IsSet() const { return Wait(0); }

bool Event::Wait(int timeoutMs) const
{
    const Event* self = this;
    return WaitForAny(&self, 1, timeoutMs) == 0;
}

int WaitForAny(const Event* const* events, int count, int timeoutMs)
{
    std::vector<pollfd> fds(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        fds[size_t(i)] = {events[i]->Fd(), POLLIN, 0};
    for (;;) {
        const int n = poll(fds.data(), nfds_t(count), timeoutMs);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return -1;
        for (int i = 0; i < count; ++i)
            if (fds[size_t(i)].revents & POLLIN)
                return i;
        return -1;
    }
}

} // namespace platform
