#pragma once
// Helpers the port's source files share.
#include <cstdint>
#include <string>

namespace serial_detail {

// Raises EComPort with the code, the device layer's last error and its text.
[[noreturn]] void RaiseLastError(int32_t code);

// A device that has gone away (unplugged, link dropped) fails with these.
bool DeviceGone(int32_t winCode);

// ASCII letters upper-cased, others unchanged.
std::string Upper(std::string s);

} // namespace serial_detail
