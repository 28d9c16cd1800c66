#pragma once
// The few kernel calls of the serial device layer whose answers a
// pseudo-terminal cannot give as a real UART does: the output queue count
// (always 0 on a pty), the modem lines and the line error counts (ENOTTY on a
// pty), the queue flush (never fails on a live pty) and the break (a pty
// accepts it and does nothing); and the input count, so that a test can act
// at the very moment the device layer looks at it. Tests replace them to
// answer as a real port would; the program leaves them as they are.
#include <functional>

struct serial_icounter_struct;

namespace platform::comm {

struct KernelCalls {
    std::function<int(int fd, int* count)> outQueue; // ioctl TIOCOUTQ
    std::function<int(int fd, int* lines)> modemLines; // ioctl TIOCMGET
    std::function<int(int fd, int queue)> flush;       // tcflush
    std::function<int(int fd, bool on, int lines)> setLines;          // ioctl TIOCMBIS / TIOCMBIC
    std::function<int(int fd, serial_icounter_struct* counts)> counts; // ioctl TIOCGICOUNT
    std::function<int(int fd, bool on)> breakLine;                    // ioctl TIOCSBRK / TIOCCBRK
    std::function<int(int fd, int* count)> inQueue;                    // ioctl FIONREAD
};

// The calls in use. Replace them only while no port is open.
KernelCalls& Kernel();
// The calls as the kernel answers them.
KernelCalls RealKernel();

} // namespace platform::comm
