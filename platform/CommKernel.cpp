#include "platform/CommKernel.h"

#include <linux/serial.h>
#include <sys/ioctl.h>
#include <termios.h>

namespace platform::comm {

KernelCalls RealKernel()
{
    return {[](int fd, int* count) { return ioctl(fd, TIOCOUTQ, count); },
            [](int fd, int* lines) { return ioctl(fd, TIOCMGET, lines); },
            [](int fd, int queue) { return tcflush(fd, queue); },
            [](int fd, bool on, int lines) { return ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &lines); },
            [](int fd, serial_icounter_struct* counts) { return ioctl(fd, TIOCGICOUNT, counts); },
            [](int fd, bool on) { return ioctl(fd, on ? TIOCSBRK : TIOCCBRK); },
            [](int fd, int* count) { return ioctl(fd, FIONREAD, count); }};
}

KernelCalls& Kernel()
{
    static KernelCalls calls = RealKernel();
    return calls;
}

} // namespace platform::comm
