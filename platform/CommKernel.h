#pragma once
// The few kernel calls of the serial device layer whose answers a
// pseudo-terminal cannot give as a real UART does: the output queue count
// (always 0 on a pty), the modem lines and the line error counts (ENOTTY on a
// pty) and the queue flush (never fails on a live pty). Tests replace them to
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
};

// The calls in use. Replace them only while no port is open.
KernelCalls& Kernel();
// The calls as the kernel answers them.
KernelCalls RealKernel();

} // namespace platform::comm
