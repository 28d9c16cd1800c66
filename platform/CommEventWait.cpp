// The communication-event wait: what the device reports, sampled or woken
// by poll, until an event of the mask, a stop or a time-out.
#include "platform/CommDevice.h"
#include "platform/CommDeviceInternal.h"
#include "platform/CommKernel.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>

namespace platform::comm {

namespace {

// How often what cannot wake a poll is looked at.
constexpr int kSampleMs = 20;
constexpr int kDrainSampleMs = 10;

} // namespace

WaitResult WaitEvent(Handle h, const Event* stop, int timeoutMs, uint32_t* fired)
{
    if (fired)
        *fired = 0;
    auto d = Find(h);
    if (!d)
        return WaitResult::Failed;
    d->maskChanged.Reset();
    const uint32_t mask = d->eventMask;
    if (mask == 0) {
        Fail(EINVAL);
        return WaitResult::Failed;
    }
    const int64_t end = timeoutMs < 0 ? -1 : NowMs() + timeoutMs;
    const bool wantLines = d->haveModem && (mask & (evbCts | evbDsr | evbRlsd | evbRing));
    const bool wantCounts = d->haveCounts && (mask & (evbBreak | evbErr));
    const uint32_t dataEvents = mask & (evbRxChar | evbRxFlag | evbRx80Full);
    for (;;) {
        uint32_t events = 0;
        // The event character can only be seen by taking the bytes in.
        if ((mask & evbRxFlag) && detail::HoldReceived(*d))
            events |= evbRxFlag;
        int kernelWaiting = 0;
        if (Kernel().inQueue(d->fd, &kernelWaiting) != 0)
            kernelWaiting = 0;
        // The generation first: a read that falls between the two looks must
        // leave the pair stale on the generation side (reported once more),
        // never on the count side, where bytes that come later in the same
        // number would pass for the ones already reported and wait unheard.
        const uint64_t generation = d->readGeneration.load();
        const int waiting = std::max(detail::Waiting(*d), 0);
        // Received data counts once: until it is read or more arrives it is
        // not reported again (otherwise a wait would fire for ever).
        const bool fresh = waiting > 0 && (waiting != d->lastRxCount || generation != d->lastRxGeneration);
        if (waiting == 0)
            d->rx80Reported = false;
        if ((mask & evbRxChar) && fresh)
            events |= evbRxChar;
        if ((mask & evbRx80Full) && !d->rx80Reported && uint64_t(waiting) * 10 >= uint64_t(d->inQueueSize.load()) * 8) {
            events |= evbRx80Full;
            d->rx80Reported = true;
        }
        // The output queue is sampled while it drains: a tty is writable
        // long before its queue is empty, so waiting for "writable" spins.
        bool draining = false;
        if (mask & evbTxEmpty)
            d->written.Reset(); // before looking, so that no write goes unseen
        if ((mask & evbTxEmpty) && d->txPending) {
            int out = 0;
            if (Kernel().outQueue(d->fd, &out) != 0 || out == 0) {
                events |= evbTxEmpty;
                d->txPending = false;
            } else {
                draining = true;
            }
        }
        if (wantLines) {
            int lines = 0;
            if (Kernel().modemLines(d->fd, &lines) == 0) {
                const int changed = lines ^ d->lastModem;
                if ((mask & evbCts) && (changed & TIOCM_CTS))
                    events |= evbCts;
                if ((mask & evbDsr) && (changed & TIOCM_DSR))
                    events |= evbDsr;
                if ((mask & evbRlsd) && (changed & TIOCM_CAR))
                    events |= evbRlsd;
                if ((mask & evbRing) && (changed & TIOCM_RNG) && !(lines & TIOCM_RNG))
                    events |= evbRing; // the trailing edge of a ring
                d->lastModem = lines;
            }
        }
        if (wantCounts) {
            serial_icounter_struct now {};
            if (Kernel().counts(d->fd, &now) == 0) {
                const auto& was = d->lastCounts;
                if ((mask & evbBreak) && now.brk != was.brk)
                    events |= evbBreak;
                if ((mask & evbErr) && (now.frame != was.frame || now.parity != was.parity ||
                                        now.overrun != was.overrun || now.buf_overrun != was.buf_overrun))
                    events |= evbErr;
                d->lastCounts = now;
            }
        }
        if (events) {
            if (events & evbRxChar) {
                d->lastRxCount = waiting;
                d->lastRxGeneration = generation;
            }
            if (fired)
                *fired = events;
            return WaitResult::Fired;
        }

        // Nothing yet: sleep until the device, a stop or a mask change wakes
        // us. Line changes, unread data and a draining output queue are
        // sampled; nothing else wakes an idle port.
        int wait = -1;
        if (wantLines || wantCounts || (waiting > 0 && (mask & (evbRxChar | evbRx80Full))) ||
            ((mask & evbRxFlag) && kernelWaiting > 0))
            wait = kSampleMs;
        // A tty reports "readable" for as long as data waits: ask only
        // while it holds none. Then the count is sampled instead, with or
        // without a time-out: a read on another thread may have emptied it
        // since we looked, and nothing would wake us for the bytes that come
        // next.
        const short devEvents = (dataEvents && kernelWaiting == 0) ? POLLIN : 0;
        if (dataEvents && devEvents == 0)
            wait = kSampleMs;
        if (draining)
            wait = kDrainSampleMs;
        if (end >= 0) {
            const int64_t left = std::max<int64_t>(end - NowMs(), 0);
            wait = wait < 0 ? int(std::min<int64_t>(left, 1 << 30)) : int(std::min<int64_t>(left, wait));
        }
        pollfd fds[4] = {{d->fd, devEvents, 0},
                         {d->maskChanged.Fd(), POLLIN, 0},
                         {(mask & evbTxEmpty) ? d->written.Fd() : -1, POLLIN, 0},
                         {stop ? stop->Fd() : -1, POLLIN, 0}};
        const int n = poll(fds, 4, wait);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail(errno);
            return WaitResult::Failed;
        }
        if (stop && (fds[3].revents & POLLIN))
            return WaitResult::Stopped;
        if (fds[1].revents & POLLIN) {
            d->maskChanged.Reset();
            return WaitResult::Fired;
        }
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            // Data that arrived just before the hang-up is still delivered
            // first; after that the wait ends instead of waking for ever.
            const uint64_t readsNow = d->readGeneration.load();
            const int left = detail::Waiting(*d);
            const bool more = left > 0 && (mask & evbRxChar) &&
                              (left != d->lastRxCount || readsNow != d->lastRxGeneration);
            if (!more) {
                Fail(EIO, "The device has gone away (unplugged, or the link was dropped).");
                return WaitResult::Failed;
            }
        }
        if (n == 0 && end >= 0 && NowMs() >= end)
            return WaitResult::TimedOut;
    }
}

} // namespace platform::comm
