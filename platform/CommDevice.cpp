// The device calls: the table of open devices, open and close, queue sizes,
// time-outs, purge, status and error state, modem lines and escapes.
#include "platform/CommDevice.h"
#include "platform/CommDeviceInternal.h"
#include "platform/CommKernel.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <map>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::comm {

namespace {

thread_local int lastError = 0;
thread_local std::string lastDetail;

std::mutex devicesMutex;
std::map<Handle, std::shared_ptr<detail::Device>> devices;
Handle nextHandle = 1;

std::string GroupOf(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return std::string();
    if (const group* g = getgrgid(st.st_gid))
        return g->gr_name;
    return std::to_string(st.st_gid);
}

} // namespace

namespace detail {

bool Fail(int error, std::string detail)
{
    lastError = error;
    lastDetail = std::move(detail);
    return false;
}

void Succeed()
{
    lastError = 0;
    lastDetail.clear();
}

int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::shared_ptr<Device> Find(Handle h)
{
    std::lock_guard lock(devicesMutex);
    auto it = devices.find(h);
    if (it == devices.end()) {
        Fail(EBADF);
        return nullptr;
    }
    return it->second;
}

int Waiting(Device& d)
{
    int in = 0;
    if (Kernel().inQueue(d.fd, &in) != 0)
        return -1;
    std::lock_guard lock(d.rxMutex);
    return std::max(in, 0) + int(d.rxHeld.size());
}

ssize_t ReadReceived(Device& d, uint8_t* buffer, size_t want)
{
    std::lock_guard lock(d.rxMutex);
    const size_t held = std::min(want, d.rxHeld.size());
    std::copy_n(d.rxHeld.begin(), held, buffer);
    d.rxHeld.erase(d.rxHeld.begin(), d.rxHeld.begin() + std::ptrdiff_t(held));
    if (held == want)
        return ssize_t(held);
    const ssize_t n = ::read(d.fd, buffer + held, want - held);
    if (n < 0)
        return held ? ssize_t(held) : n;
    return ssize_t(held) + n;
}

bool HoldReceived(Device& d)
{
    size_t limit;
    char eventChar;
    {
        std::lock_guard lock(d.mutex);
        limit = std::max<size_t>(d.inQueueSize.load(), 4096);
        eventChar = d.eventChar;
    }
    std::lock_guard lock(d.rxMutex);
    int in = 0;
    if (Kernel().inQueue(d.fd, &in) != 0 || in <= 0 || d.rxHeld.size() >= limit)
        return false;
    uint8_t buffer[4096];
    const size_t want = std::min({size_t(in), sizeof buffer, limit - d.rxHeld.size()});
    const ssize_t n = ::read(d.fd, buffer, want);
    if (n <= 0)
        return false;
    d.rxHeld.insert(d.rxHeld.end(), buffer, buffer + n);
    return std::find(buffer, buffer + n, uint8_t(eventChar)) != buffer + n;
}

bool SetLine(int fd, int bit, bool on)
{
    if (Kernel().setLines(fd, on, bit) == 0 || NoSuchLines(errno))
        return true;
    return Fail(errno);
}

} // namespace detail

std::string DescribeOpenFailure(const std::string& path, int error)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return path + ": no such device. Check that it is plugged in and switched on, "
                      "and for a Bluetooth port that it is paired and bound.";
    case EACCES:
    case EPERM: {
        const std::string group = GroupOf(path);
        if (group.empty())
            return path + ": permission denied.";
        return path + ": permission denied. The device belongs to the group \"" + group +
               "\": the user must join that group (sudo usermod -aG " + group +
               " $USER) and log in again.";
    }
    case EBUSY:
    case EWOULDBLOCK:
        return path + " is in use by another program.";
    case EHOSTDOWN:
    case ECONNREFUSED:
    case EHOSTUNREACH:
    case ETIMEDOUT:
        return path + ": the Bluetooth device did not answer. Check that it is switched on and in range.";
    case ENOTTY:
        return path + " is not a serial device.";
    default:
        return path + ": " + std::strerror(error) + ".";
    }
}

int LastError() { return lastError; }
std::string LastErrorDetail() { return lastDetail; }

namespace {
std::string& DeviceRoot()
{
    static std::string root = "/dev";
    return root;
}
} // namespace

void SetDeviceRoot(const std::string& root) { DeviceRoot() = root; }

std::string DevicePath(const std::string& portName)
{
    if (!portName.empty() && portName[0] == '/')
        return portName;
    return DeviceRoot() + "/" + portName;
}

Handle Open(const std::string& portName)
{
    const std::string path = DevicePath(portName);
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        Fail(error, DescribeOpenFailure(path, error));
        return kInvalidHandle;
    }
    auto failWith = [&](int error) {
        ::close(fd);
        Fail(error, DescribeOpenFailure(path, error));
        return kInvalidHandle;
    };
    termios t {};
    if (tcgetattr(fd, &t) != 0)
        return failWith(errno);
    // TIOCEXCL keeps other users out, but not root; flock covers every program
    // that asks, root included.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        return failWith(errno == EWOULDBLOCK ? EBUSY : errno);
    if (ioctl(fd, TIOCEXCL) != 0 && !NoSuchLines(errno))
        return failWith(errno);
    detail::MakeRaw(t);
    if (tcsetattr(fd, TCSANOW, &t) != 0)
        return failWith(errno);

    auto device = std::make_shared<Device>(fd);
    int lines = 0;
    device->haveModem = Kernel().modemLines(fd, &lines) == 0;
    device->lastModem = lines;
    device->haveCounts = Kernel().counts(fd, &device->lastCounts) == 0;
    device->haveErrorCounts = device->haveCounts;
    device->errorCounts = device->lastCounts;
    std::lock_guard lock(devicesMutex);
    const Handle h = nextHandle++;
    devices[h] = std::move(device);
    detail::Succeed();
    return h;
}

bool Close(Handle h)
{
    std::shared_ptr<Device> device;
    {
        std::lock_guard lock(devicesMutex);
        auto it = devices.find(h);
        if (it == devices.end())
            return Fail(EBADF);
        device = std::move(it->second);
        devices.erase(it);
    }
    device->abort.Set(); // anything still waiting on it gives up
    flock(device->fd, LOCK_UN);
    return true; // the descriptor closes with its last user
}

bool SetTimeouts(Handle h, const Timeouts& t)
{
    auto d = Find(h);
    if (!d)
        return false;
    std::lock_guard lock(d->mutex);
    d->timeouts = t;
    return true;
}

bool SetQueueSizes(Handle h, uint32_t inSize, uint32_t)
{
    auto d = Find(h);
    if (!d)
        return false;
    std::lock_guard lock(d->mutex);
    d->inQueueSize = inSize ? inSize : 4096;
    return true;
}

bool Purge(Handle h, uint32_t flags)
{
    auto d = Find(h);
    if (!d)
        return false;
    if (flags & (purgeTxAbort | purgeRxAbort))
        d->abort.Set();
    int queue = -1;
    if ((flags & purgeTxClear) && (flags & purgeRxClear))
        queue = TCIOFLUSH;
    else if (flags & purgeTxClear)
        queue = TCOFLUSH;
    else if (flags & purgeRxClear)
        queue = TCIFLUSH;
    if (flags & purgeRxClear) {
        std::lock_guard lock(d->rxMutex);
        d->rxHeld.clear();
    }
    // An empty output queue has nothing to discard; on a pseudo-terminal a
    // flush would also take from the peer bytes it has not read yet.
    int queued = 0;
    if ((flags & purgeTxClear) && Kernel().outQueue(d->fd, &queued) == 0 && queued == 0)
        queue = (flags & purgeRxClear) ? TCIFLUSH : -1;
    const bool flushed = queue < 0 || Kernel().flush(d->fd, queue) == 0;
    // Discarded input counts as read, so that as many bytes arriving after it
    // as were last reported are news to an event wait. Counted once they are
    // gone: a wait that looked in between would take the old bytes for new
    // ones, and then the new ones for those it had reported.
    if (flags & purgeRxClear)
        d->readGeneration.fetch_add(1);
    if (!flushed)
        return Fail(errno);
    return true;
}

bool DrainOutput(Handle h, int constantMs, int perByteMs)
{
    auto d = Find(h);
    if (!d)
        return false;
    int64_t end = -1;
    for (;;) {
        int queued = 0;
        if (Kernel().outQueue(d->fd, &queued) != 0 || queued <= 0)
            return true; // no queue to ask (a pty) counts as sent
        if (end < 0)
            end = NowMs() + std::max(constantMs, 0) + int64_t(std::max(perByteMs, 0)) * queued;
        else if (NowMs() > end) // whole milliseconds: the full limit, never less
            return false;
        poll(nullptr, 0, 2); // a byte at 115200 baud takes 87 us: a short nap suffices
    }
}

bool ClearErrors(Handle h, uint32_t* errors, Status* status)
{
    auto d = Find(h);
    if (!d)
        return false;
    uint32_t bits = 0;
    if (d->haveErrorCounts) {
        serial_icounter_struct now {};
        if (Kernel().counts(d->fd, &now) == 0) {
            std::lock_guard lock(d->mutex);
            const auto& was = d->errorCounts;
            if (now.frame != was.frame)
                bits |= errFrame;
            if (now.parity != was.parity)
                bits |= errRxParity;
            if (now.overrun != was.overrun)
                bits |= errOverrun;
            if (now.brk != was.brk)
                bits |= errBreak;
            if (now.buf_overrun != was.buf_overrun)
                bits |= errRxOver;
            d->errorCounts = now;
        }
    }
    if (status) {
        int in = 0, out = 0;
        if ((in = detail::Waiting(*d)) < 0)
            return Fail(errno);
        if (Kernel().outQueue(d->fd, &out) != 0)
            out = 0;
        status->InQueue = uint32_t(std::max(in, 0));
        status->OutQueue = uint32_t(std::max(out, 0));
        status->Flags = d->xoffSent ? 0x10 : 0;
        if (d->haveModem) {
            termios t {};
            int lines = 0;
            if (tcgetattr(d->fd, &t) == 0 && (t.c_cflag & CRTSCTS) && Kernel().modemLines(d->fd, &lines) == 0 &&
                !(lines & TIOCM_CTS) && out > 0)
                status->Flags |= 0x01;
        }
    } else {
        // Still a check that the device is there.
        int in = 0;
        if (Kernel().inQueue(d->fd, &in) != 0)
            return Fail(errno);
    }
    if (errors)
        *errors = bits;
    return true;
}

bool GetModemStatus(Handle h, uint32_t* status)
{
    auto d = Find(h);
    if (!d)
        return false;
    int lines = 0;
    if (Kernel().modemLines(d->fd, &lines) != 0) {
        if (!NoSuchLines(errno))
            return Fail(errno);
        lines = 0;
    }
    uint32_t s = 0;
    if (lines & TIOCM_CTS)
        s |= msCts;
    if (lines & TIOCM_DSR)
        s |= msDsr;
    if (lines & TIOCM_RNG)
        s |= msRing;
    if (lines & TIOCM_CAR)
        s |= msRlsd;
    if (status)
        *status = s;
    return true;
}

bool Escape(Handle h, uint32_t func)
{
    auto d = Find(h);
    if (!d)
        return false;
    int result = 0;
    switch (func) {
    case escSetXoff:
        // As if Xoff had been received: hold our output.
        result = tcflow(d->fd, TCOOFF);
        break;
    case escSetXon:
        result = tcflow(d->fd, TCOON);
        break;
    case escSetRts:
        return detail::SetLine(d->fd, TIOCM_RTS, true);
    case escClrRts:
        return detail::SetLine(d->fd, TIOCM_RTS, false);
    case escSetDtr:
        return detail::SetLine(d->fd, TIOCM_DTR, true);
    case escClrDtr:
        return detail::SetLine(d->fd, TIOCM_DTR, false);
    case escSetBreak:
        result = Kernel().breakLine(d->fd, true);
        break;
    case escClrBreak:
        result = Kernel().breakLine(d->fd, false);
        break;
    default:
        return Fail(EINVAL);
    }
    if (result != 0 && !NoSuchLines(errno))
        return Fail(errno);
    return true;
}

bool TransmitChar(Handle h, char c)
{
    auto d = Find(h);
    if (!d)
        return false;
    // Our writes never queue in this layer, so "ahead of the queue" is now.
    for (;;) {
        const ssize_t n = ::write(d->fd, &c, 1);
        if (n == 1)
            return true;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p {d->fd, POLLOUT, 0};
            if (poll(&p, 1, 1000) <= 0)
                return Fail(ETIMEDOUT);
            if (p.revents & (POLLERR | POLLHUP | POLLNVAL))
                return Fail(EIO);
            continue;
        }
        return Fail(n < 0 ? errno : EIO);
    }
}

bool SetEventMask(Handle h, uint32_t mask)
{
    auto d = Find(h);
    if (!d)
        return false;
    d->eventMask = mask;
    d->maskChanged.Set();
    return true;
}
} // namespace platform::comm
