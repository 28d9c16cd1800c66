// Rates that have no B-constant (14400, 56000, 128000, 256000, any other)
// need termios2 with BOTHER. The kernel's definitions clash with glibc's
// <termios.h>, so this lives in a translation unit of its own.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cstdint>
#include <sys/ioctl.h>

namespace platform::comm::detail {

bool SetOtherBaudRate(int fd, uint32_t rate)
{
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    t.c_cflag &= ~tcflag_t(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = rate;
    t.c_ospeed = rate;
    return ioctl(fd, TCSETS2, &t) == 0;
}

} // namespace platform::comm::detail
