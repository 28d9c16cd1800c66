#include "platform/CommDevice.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <map>
#include <memory>
#include <mutex>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace platform::comm {

// Rates without a B-constant go through termios2 (CommBaud.cpp: its kernel
// headers clash with <termios.h>).
bool SetOtherBaudRate(int fd, uint32_t rate);

namespace {

thread_local int lastError = 0;
thread_local std::string lastDetail;

bool Fail(int error, std::string detail = std::string())
{
    lastError = error;
    lastDetail = std::move(detail);
    return false;
}

int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// A device without modem lines (a pseudo-terminal, some Bluetooth ports)
// answers the line calls with one of these.
bool NoSuchLines(int error) { return error == ENOTTY || error == EINVAL; }

struct Device {
    explicit Device(int f) : fd(f) {}
    ~Device() { ::close(fd); }
    int fd;
    std::mutex mutex; // guards the settings below
    Timeouts timeouts;
    uint32_t inQueueSize = 4096;
    bool discardNull = false;
    std::atomic<uint32_t> eventMask{0};
    Event maskChanged;
    Event abort; // purge of outstanding operations
    std::atomic<uint64_t> readGeneration{0};
    std::atomic<bool> txPending{false};
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

std::mutex devicesMutex;
std::map<Handle, std::shared_ptr<Device>> devices;
Handle nextHandle = 1;

std::shared_ptr<Device> Find(Handle h)
{
    std::lock_guard lock(devicesMutex);
    auto it = devices.find(h);
    if (it == devices.end()) {
        lastError = EBADF;
        lastDetail.clear();
        return nullptr;
    }
    return it->second;
}

std::string GroupOf(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return std::string();
    if (const group* g = getgrgid(st.st_gid))
        return g->gr_name;
    return std::to_string(st.st_gid);
}

void MakeRaw(termios& t)
{
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
}

speed_t StandardSpeed(uint32_t rate)
{
    switch (rate) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    default: return B0;
    }
}

bool SetLine(int fd, int bit, bool on)
{
    if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bit) == 0 || NoSuchLines(errno))
        return true;
    return Fail(errno);
}

} // namespace

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

std::string DevicePath(const std::string& portName)
{
    if (!portName.empty() && portName[0] == '/')
        return portName;
    return "/dev/" + portName;
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
    MakeRaw(t);
    if (tcsetattr(fd, TCSANOW, &t) != 0)
        return failWith(errno);

    auto device = std::make_shared<Device>(fd);
    int lines = 0;
    device->haveModem = ioctl(fd, TIOCMGET, &lines) == 0;
    device->lastModem = lines;
    device->haveCounts = ioctl(fd, TIOCGICOUNT, &device->lastCounts) == 0;
    device->haveErrorCounts = device->haveCounts;
    device->errorCounts = device->lastCounts;
    std::lock_guard lock(devicesMutex);
    const Handle h = nextHandle++;
    devices[h] = std::move(device);
    lastError = 0;
    lastDetail.clear();
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

bool SetState(Handle h, const DeviceControlBlock& dcb)
{
    auto d = Find(h);
    if (!d)
        return false;
    termios t {};
    if (tcgetattr(d->fd, &t) != 0)
        return Fail(errno);
    MakeRaw(t);
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    switch (dcb.ByteSize) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    case 8: t.c_cflag |= CS8; break;
    default: return Fail(EINVAL);
    }
    switch (dcb.Parity) {
    case 0: break;
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 4: t.c_cflag |= PARENB | CMSPAR; break;
    default: return Fail(EINVAL);
    }
    if (dcb.StopBits > 2)
        return Fail(EINVAL);
    if (dcb.StopBits != 0)
        t.c_cflag |= CSTOPB;
    t.c_iflag &= ~tcflag_t(INPCK | IGNPAR);
    if (dcb.Flags & dcbParity)
        t.c_iflag |= INPCK;
    const bool ctsFlow = (dcb.Flags & dcbOutxCtsFlow) != 0;
    const uint32_t rts = dcb.Flags & dcbRtsControlMask;
    if (ctsFlow || rts == dcbRtsControlHandshake)
        t.c_cflag |= CRTSCTS;
    if (dcb.Flags & dcbOutX)
        t.c_iflag |= IXON;
    if (dcb.Flags & dcbInX)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = cc_t(dcb.XonChar);
    t.c_cc[VSTOP] = cc_t(dcb.XoffChar);
    const speed_t speed = StandardSpeed(dcb.BaudRate);
    if (dcb.BaudRate == 0)
        return Fail(EINVAL);
    // glibc refuses a termios whose speed bits say "other rate": give it a
    // placeholder, then set the real rate through termios2.
    cfsetspeed(&t, speed != B0 ? speed : B38400);
#ifdef CIBAUD
    // An earlier "other rate" left its mark on the input rate too; 0 there
    // means "as the output".
    t.c_cflag &= ~tcflag_t(CIBAUD);
#endif
    if (tcsetattr(d->fd, TCSANOW, &t) != 0)
        return Fail(errno);
    if (speed == B0 && !SetOtherBaudRate(d->fd, dcb.BaudRate))
        return Fail(errno);
    // Linux raises DTR and RTS at open: a port set to keep them low must drop them.
    const uint32_t dtr = dcb.Flags & dcbDtrControlMask;
    if (!SetLine(d->fd, TIOCM_DTR, dtr != 0))
        return false;
    if (rts != dcbRtsControlHandshake && !SetLine(d->fd, TIOCM_RTS, rts != 0))
        return false;
    std::lock_guard lock(d->mutex);
    d->discardNull = (dcb.Flags & dcbNull) != 0;
    return true;
}

bool GetState(Handle h, DeviceControlBlock& dcb)
{
    auto d = Find(h);
    if (!d)
        return false;
    termios t {};
    if (tcgetattr(d->fd, &t) != 0)
        return Fail(errno);
    dcb = DeviceControlBlock();
    switch (t.c_cflag & CSIZE) {
    case CS5: dcb.ByteSize = 5; break;
    case CS6: dcb.ByteSize = 6; break;
    case CS7: dcb.ByteSize = 7; break;
    default: dcb.ByteSize = 8; break;
    }
    if (t.c_cflag & PARENB) {
        const bool odd = t.c_cflag & PARODD;
        dcb.Parity = (t.c_cflag & CMSPAR) ? (odd ? 3 : 4) : (odd ? 1 : 2);
    }
    dcb.StopBits = (t.c_cflag & CSTOPB) ? 2 : 0;
    dcb.Flags = dcbBinary;
    if (t.c_cflag & CRTSCTS)
        dcb.Flags |= dcbOutxCtsFlow | dcbRtsControlHandshake;
    if (t.c_iflag & IXON)
        dcb.Flags |= dcbOutX;
    if (t.c_iflag & IXOFF)
        dcb.Flags |= dcbInX;
    dcb.XonChar = char(t.c_cc[VSTART]);
    dcb.XoffChar = char(t.c_cc[VSTOP]);
    return true;
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
    if (queue >= 0 && tcflush(d->fd, queue) != 0)
        return Fail(errno);
    return true;
}

bool ClearErrors(Handle h, uint32_t* errors, Status* status)
{
    auto d = Find(h);
    if (!d)
        return false;
    uint32_t bits = 0;
    if (d->haveErrorCounts) {
        serial_icounter_struct now {};
        if (ioctl(d->fd, TIOCGICOUNT, &now) == 0) {
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
        if (ioctl(d->fd, FIONREAD, &in) != 0)
            return Fail(errno);
        if (ioctl(d->fd, TIOCOUTQ, &out) != 0)
            out = 0;
        status->InQueue = uint32_t(std::max(in, 0));
        status->OutQueue = uint32_t(std::max(out, 0));
        status->Flags = d->xoffSent ? 0x10 : 0;
        if (d->haveModem) {
            termios t {};
            int lines = 0;
            if (tcgetattr(d->fd, &t) == 0 && (t.c_cflag & CRTSCTS) && ioctl(d->fd, TIOCMGET, &lines) == 0 &&
                !(lines & TIOCM_CTS) && out > 0)
                status->Flags |= 0x01;
        }
    } else {
        // Still a check that the device is there.
        int in = 0;
        if (ioctl(d->fd, FIONREAD, &in) != 0)
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
    if (ioctl(d->fd, TIOCMGET, &lines) != 0) {
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
        return SetLine(d->fd, TIOCM_RTS, true);
    case escClrRts:
        return SetLine(d->fd, TIOCM_RTS, false);
    case escSetDtr:
        return SetLine(d->fd, TIOCM_DTR, true);
    case escClrDtr:
        return SetLine(d->fd, TIOCM_DTR, false);
    case escSetBreak:
        result = ioctl(d->fd, TIOCSBRK);
        break;
    case escClrBreak:
        result = ioctl(d->fd, TIOCCBRK);
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

// ---------------------------------------------------------------- operations

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
            n = ::read(d.fd, op.readBuffer + op.done, op.count - op.done);
            if (n > 0) {
                d.readGeneration.fetch_add(1);
                bool discard;
                {
                    std::lock_guard lock(d.mutex);
                    discard = d.discardNull;
                }
                if (discard) {
                    uint8_t* start = op.readBuffer + op.done;
                    n = std::remove(start, start + n, uint8_t(0)) - start;
                }
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

bool Start(Handle h, Overlapped* ov, uint8_t* readBuffer, const uint8_t* writeBuffer, uint32_t count, uint32_t* done)
{
    if (done)
        *done = 0;
    auto d = Find(h);
    if (!d)
        return false;
    if (!ov)
        return Fail(EINVAL);
    delete ov->op;
    ov->op = new Overlapped::Op();
    Overlapped::Op& op = *ov->op;
    const bool write = writeBuffer != nullptr || readBuffer == nullptr;
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
    if (write && count > 0)
        d->txPending = true;
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
    static uint8_t none;
    return Start(h, ov, buffer ? static_cast<uint8_t*>(buffer) : &none, nullptr, count, done);
}

bool Write(Handle h, const void* buffer, uint32_t count, uint32_t* done, Overlapped* ov)
{
    return Start(h, ov, nullptr, static_cast<const uint8_t*>(buffer), count, done);
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

// ---------------------------------------------------------------- event wait

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
    for (;;) {
        uint32_t events = 0;
        int waiting = 0;
        if (ioctl(d->fd, FIONREAD, &waiting) != 0)
            waiting = 0;
        const uint64_t generation = d->readGeneration.load();
        // Received data counts once: until it is read or more arrives it is
        // not reported again (otherwise a wait would fire for ever).
        const bool fresh = waiting > 0 && (waiting != d->lastRxCount || generation != d->lastRxGeneration);
        if (waiting == 0)
            d->rx80Reported = false;
        if ((mask & evbRxChar) && fresh)
            events |= evbRxChar;
        if ((mask & evbRx80Full) && !d->rx80Reported && uint64_t(waiting) * 10 >= uint64_t(d->inQueueSize) * 8) {
            events |= evbRx80Full;
            d->rx80Reported = true;
        }
        if ((mask & evbTxEmpty) && d->txPending) {
            int out = 0;
            if (ioctl(d->fd, TIOCOUTQ, &out) != 0 || out == 0) {
                events |= evbTxEmpty;
                d->txPending = false;
            }
        }
        if (wantLines) {
            int lines = 0;
            if (ioctl(d->fd, TIOCMGET, &lines) == 0) {
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
            if (ioctl(d->fd, TIOCGICOUNT, &now) == 0) {
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
        // us. Line changes and stale data are sampled.
        // A finished write matters only to a wait for evTxEmpty: without it
        // the thread would wake every 20 ms for as long as the port is open.
        const bool sample = wantLines || wantCounts || (waiting > 0 && !fresh) || ((mask & evbTxEmpty) && d->txPending);
        int wait = sample ? 20 : -1;
        if (end >= 0) {
            const int64_t left = std::max<int64_t>(end - NowMs(), 0);
            wait = wait < 0 ? int(std::min<int64_t>(left, 1 << 30)) : int(std::min<int64_t>(left, wait));
        }
        short devEvents = 0;
        if ((mask & (evbRxChar | evbRx80Full)) && waiting == 0)
            devEvents |= POLLIN;
        if ((mask & evbTxEmpty) && d->txPending)
            devEvents |= POLLOUT;
        pollfd fds[3] = {{d->fd, devEvents, 0}, {d->maskChanged.Fd(), POLLIN, 0}, {stop ? stop->Fd() : -1, POLLIN, 0}};
        const int n = poll(fds, stop ? 3 : 2, wait);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail(errno);
            return WaitResult::Failed;
        }
        if (stop && (fds[2].revents & POLLIN))
            return WaitResult::Stopped;
        if (fds[1].revents & POLLIN) {
            d->maskChanged.Reset();
            return WaitResult::Fired;
        }
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            // Data that arrived just before the hang-up is still delivered
            // first; after that the wait ends instead of waking for ever.
            int left = 0;
            const bool more = ioctl(d->fd, FIONREAD, &left) == 0 && left > 0 && (mask & evbRxChar) &&
                              (left != d->lastRxCount || d->readGeneration.load() != d->lastRxGeneration);
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
