#pragma once
// A tty's rates read back through termios2 (CommBaudCheck.cpp: the kernel's
// header clashes with glibc's <termios.h>). On a pseudo-terminal the master's
// descriptor answers for the slave.
#include <cstdint>

// The output rate in baud; 0 when the device cannot tell.
uint32_t ReadBackOtherBaud(int fd);
// The input rate in baud; 0 when the device cannot tell.
uint32_t ReadBackInputBaud(int fd);
