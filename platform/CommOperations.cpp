// The operation engine: reads and writes that go on after they were started,
// driven to their end by whoever waits for their result, within the device's
// time-outs.
#include "platform/CommDevice.h"
#include "platform/CommDeviceInternal.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace platform::comm {

struct Overlapped::Op {
    bool write = false;
    std::shared_ptr<Device> device;
    uint8_t* readBuffer = nullptr;
    const uint8_t* writeBuffer = nullptr;
    uint32_t count = 0;
    uint32_t done = 0;
    int64_t deadline = -1;        // total time-out; -1 none
    uint32_t interval = 0;        // read interval time-out; 0 none
    int64_t lastByteAt = 0;
    bool returnOnFirstByte = false; // read: end as soon as anything came
    bool finished = false;
    int error = 0;
};

Overlapped::Overlapped() : event(true), op(nullptr) {}
Overlapped::~Overlapped() { delete op; }

namespace {

// One non-blocking step; returns true when the operation has ended.
bool Step(Overlapped::Op& op)
{
    Device& d = *op.device;
    while (op.done < op.count) {
        ssize_t n;
        if (op.write) {
            n = ::write(d.fd, op.writeBuffer + op.done, op.count - op.done);
        } else {
            uint8_t* start = op.readBuffer + op.done;
            n = detail::ReadReceived(d, start, op.count - op.done);
            if (n > 0) {
                d.readGeneration.fetch_add(1);
                bool discard;
                {
                    std::lock_guard lock(d.mutex);
                    discard = d.discardNull;
                }
                // Zero bytes are dropped; what follows them is read on.
                if (discard && (n = std::remove(start, start + n, uint8_t(0)) - start) == 0)
                    continue;
            }
        }
        if (n > 0) {
            op.done += uint32_t(n);
            op.lastByteAt = NowMs();
            if (op.returnOnFirstByte)
                return true;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            // A read that already has bytes (the device went away half-way)
            // ends with them; the next read meets the error.
            if (!op.write && op.done > 0)
                return true;
            op.error = errno;
            return true;
        }
        break; // nothing more now (a tty read with no data returns 0)
    }
    if (op.done >= op.count)
        return true;
    const int64_t now = NowMs();
    if (op.deadline >= 0 && now >= op.deadline)
        return true;
    if (!op.write && op.interval && op.done > 0 && now - op.lastByteAt >= op.interval)
        return true;
    return false;
}

// Milliseconds until the operation must end by time-out; -1 none.
int TimeLeft(const Overlapped::Op& op)
{
    int64_t left = -1;
    const int64_t now = NowMs();
    if (op.deadline >= 0)
        left = std::max<int64_t>(op.deadline - now, 0);
    if (!op.write && op.interval && op.done > 0) {
        const int64_t i = std::max<int64_t>(op.lastByteAt + op.interval - now, 0);
        left = left < 0 ? i : std::min(left, i);
    }
    return int(std::min<int64_t>(left, 1 << 30));
}

bool Start(Handle h, Overlapped* ov, bool write, uint8_t* readBuffer, const uint8_t* writeBuffer, uint32_t count,
           uint32_t* done)
{
    if (done)
        *done = 0;
    auto d = Find(h);
    if (!d)
        return false;
    if (!ov)
        return Fail(EINVAL);
    if (count > 0 && !readBuffer && !writeBuffer)
        return Fail(EFAULT);
    delete ov->op;
    ov->op = new Overlapped::Op();
    Overlapped::Op& op = *ov->op;
    op.write = write;
    op.device = d;
    op.count = count;
    op.writeBuffer = writeBuffer;
    op.readBuffer = readBuffer;
    Timeouts t;
    {
        std::lock_guard lock(d->mutex);
        t = d->timeouts;
    }
    const int64_t now = NowMs();
    if (write) {
        const uint64_t total = uint64_t(t.WriteTotalTimeoutMultiplier) * count + t.WriteTotalTimeoutConstant;
        op.deadline = total ? now + int64_t(std::min<uint64_t>(total, uint64_t(1) << 40)) : -1;
    } else if (t.ReadIntervalTimeout == kNoLimit && t.ReadTotalTimeoutMultiplier == 0 &&
               t.ReadTotalTimeoutConstant == 0) {
        op.deadline = now; // what the driver holds, at once
    } else if (t.ReadIntervalTimeout == kNoLimit && t.ReadTotalTimeoutMultiplier == kNoLimit &&
               t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != kNoLimit) {
        op.returnOnFirstByte = true;
        op.deadline = now + t.ReadTotalTimeoutConstant;
    } else {
        const uint64_t total = uint64_t(t.ReadTotalTimeoutMultiplier) * count + t.ReadTotalTimeoutConstant;
        op.deadline = total ? now + int64_t(std::min<uint64_t>(total, uint64_t(1) << 40)) : -1;
        op.interval = t.ReadIntervalTimeout == kNoLimit ? 0 : t.ReadIntervalTimeout;
    }
    ov->event.Reset();
    d->abort.Reset();
    if (write && count > 0) {
        d->txPending = true;
        d->written.Set();
    }
    if (count == 0 || Step(op)) {
        op.finished = true;
        ov->event.Set();
        if (op.error)
            return Fail(op.error);
        if (done)
            *done = op.done;
        return true;
    }
    return Fail(kErrorIoPending);
}

} // namespace

bool Read(Handle h, void* buffer, uint32_t count, uint32_t* done, Overlapped* ov)
{
    return Start(h, ov, false, static_cast<uint8_t*>(buffer), nullptr, count, done);
}

bool Write(Handle h, const void* buffer, uint32_t count, uint32_t* done, Overlapped* ov)
{
    return Start(h, ov, true, nullptr, static_cast<const uint8_t*>(buffer), count, done);
}

bool GetResult(Handle, Overlapped* ov, uint32_t* transferred, bool wait)
{
    if (transferred)
        *transferred = 0;
    if (!ov)
        return Fail(EINVAL);
    if (!ov->op)
        return true; // nothing was started: nothing transferred
    Overlapped::Op& op = *ov->op;
    while (!op.finished) {
        if (Step(op)) {
            op.finished = true;
            break;
        }
        if (!wait)
            return Fail(kErrorIoIncomplete);
        pollfd fds[2] = {{op.device->fd, short(op.write ? POLLOUT : POLLIN), 0},
                         {op.device->abort.Fd(), POLLIN, 0}};
        const int n = poll(fds, 2, TimeLeft(op));
        if (n < 0 && errno != EINTR) {
            op.error = errno;
            op.finished = true;
        } else if (n > 0 && (fds[1].revents & POLLIN)) {
            op.error = kErrorOperationAborted;
            op.finished = true;
        } else if (n > 0 && (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))) {
            // The device has gone: take what is still there, then give up
            // rather than wake for ever.
            const uint32_t before = op.done;
            if (Step(op) || op.done == before) {
                if (!op.error && op.done == 0)
                    op.error = EIO;
                op.finished = true;
            }
        }
    }
    ov->event.Set();
    if (op.error)
        return Fail(op.error);
    if (transferred)
        *transferred = op.done;
    return true;
}

} // namespace platform::comm
