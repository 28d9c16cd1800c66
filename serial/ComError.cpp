// The library's exception and its messages.
#include "serial/ComError.h"
#include "serial/PortInternal.h"

#include "platform/CommDevice.h"

#include <cerrno>

namespace comm = platform::comm;

namespace {

const char* const kComErrorMessages[23] = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
};

std::string WithWinCode(int32_t code, int32_t winCode)
{
    return ComErrorMessage(code) + " (win error code: " + std::to_string(winCode) + ")";
}

} // namespace

namespace serial_detail {

[[noreturn]] void RaiseLastError(int32_t code)
{
    const int error = comm::LastError();
    const std::string detail = comm::LastErrorDetail();
    if (!detail.empty())
        throw EComPort(code, error, detail);
    throw EComPort(code, error);
}

// A device that has gone away (unplugged, link dropped) fails with these.
bool DeviceGone(int32_t winCode) { return winCode == EIO || winCode == ENXIO || winCode == ENODEV; }

} // namespace serial_detail

std::string ComErrorMessage(int32_t code)
{
    if (code < 1 || code > 23)
        return std::string();
    return kComErrorMessages[code - 1];
}

EComPort::EComPort(int32_t code) : Exception(ComErrorMessage(code)), code_(code), winCode_(-1) {}

EComPort::EComPort(int32_t code, int32_t winCode)
    : Exception(WithWinCode(code, winCode)), code_(code), winCode_(winCode)
{
}

EComPort::EComPort(int32_t code, int32_t winCode, const std::string& detail)
    : Exception(WithWinCode(code, winCode) + "\n" + detail), code_(code), winCode_(winCode)
{
}

