// Reads a port's rates back through termios2. The kernel's header clashes with
// glibc's <termios.h>, so this stays apart from the tests that use termios.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cstdint>
#include <sys/ioctl.h>

// The output rate in baud; 0 when the device cannot tell.
uint32_t ReadBackOtherBaud(int fd)
{
    struct termios2 t {};
    return ioctl(fd, TCGETS2, &t) == 0 ? t.c_ospeed : 0;
}

// The input rate in baud; 0 when the device cannot tell.
uint32_t ReadBackInputBaud(int fd)
{
    struct termios2 t {};
    return ioctl(fd, TCGETS2, &t) == 0 ? t.c_ispeed : 0;
}
