// The mapping of the device control block onto termios, both ways.
#include "platform/CommDevice.h"
#include "platform/CommDeviceInternal.h"

#include <cerrno>
#include <sys/ioctl.h>
#include <termios.h>

namespace platform::comm {

namespace {

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

} // namespace

void detail::MakeRaw(termios& t)
{
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
}

bool SetState(Handle h, const DeviceControlBlock& dcb)
{
    auto d = Find(h);
    if (!d)
        return false;
    termios t {};
    if (tcgetattr(d->fd, &t) != 0)
        return Fail(errno);
    detail::MakeRaw(t);
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
    // One and a half stop bits exist only for 5-bit characters; anything
    // else would silently become 2.
    if (dcb.StopBits > 2 || (dcb.StopBits == 1 && dcb.ByteSize != 5))
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
    if (speed == B0 && !detail::SetOtherBaudRate(d->fd, dcb.BaudRate))
        return Fail(errno);
    // Linux raises DTR and RTS at open: a port set to keep them low must drop them.
    const uint32_t dtr = dcb.Flags & dcbDtrControlMask;
    if (!detail::SetLine(d->fd, TIOCM_DTR, dtr != 0))
        return false;
    if (rts != dcbRtsControlHandshake && !detail::SetLine(d->fd, TIOCM_RTS, rts != 0))
        return false;
    std::lock_guard lock(d->mutex);
    d->discardNull = (dcb.Flags & dcbNull) != 0;
    d->eventChar = dcb.EvtChar;
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

} // namespace platform::comm
