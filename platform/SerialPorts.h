#pragma once
// The serial ports of this PC, from the kernel's list of tty devices: on-board
// UARTs that really exist, USB converters, CDC-ACM devices, Bluetooth serial
// (rfcomm) ports and the UARTs of single-board computers.
#include <string>
#include <vector>

namespace platform {

// Where the kernel's device tree is read: "/sys" unless a test points it at a
// recorded copy.
void SetSysfsRoot(const std::string& root);
const std::string& SysfsRoot();

// Fills names (unsorted) with the port names; false with errno-style *error
// when the list cannot be read at all.
bool ListSerialPorts(std::vector<std::string>& names, int* error);

} // namespace platform
