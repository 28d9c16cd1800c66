#pragma once
// The serial ports of this PC, from the kernel's list of tty devices: on-board
// UARTs that really exist, USB converters, CDC-ACM devices, Bluetooth serial
// (rfcomm) ports and the UARTs of single-board computers.
#include <functional>
#include <string>
#include <vector>

namespace platform {

// Where the kernel's device tree is read: "/sys" unless a test points it at a
// recorded copy.
void SetSysfsRoot(const std::string& root);
const std::string& SysfsRoot();

// Reads the entry names of a folder; false with errno-style *error when the
// folder cannot be read, also part-way through. Tests make it fail.
using DirectoryReader = std::function<bool(const std::string& dir, std::vector<std::string>& names, int* error)>;
void SetDirectoryReader(DirectoryReader reader); // empty: the file system's
DirectoryReader RealDirectoryReader();

// Fills names (unsorted) with the port names; false with errno-style *error
// when the list cannot be read, at all or part-way (names is then empty).
bool ListSerialPorts(std::vector<std::string>& names, int* error);

} // namespace platform
