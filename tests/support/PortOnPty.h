#pragma once
// A port on the slave side of a pseudo-terminal, for the tests that run on a
// real device: 115200 baud without flow control, and every message the
// exception display would show kept in `shown`; and the code of a port error.
// The pty starts at the kernel's line settings, cooked as a real UART comes
// up: the port has to make it raw itself.
#include "platform/ExceptionDisplay.h"
#include "serial/ComPort.h"
#include "support/Pty.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

// The code of the port error f raises; 0 when it raises none.
template <class F>
int CodeOf(F f)
{
    try {
        f();
    } catch (const EComPort& e) {
        return e.Code();
    }
    return 0;
}

class PortOnPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetExceptionDisplayHook([this](const std::string& m) { shown.push_back(m); });
        port.SetPort(pty.SlavePath());
        port.SetBaudRate(br115200);
        port.FlowControl()->SetFlowControl(fcNone);
    }
    void TearDown() override { platform::SetExceptionDisplayHook({}); }

    Pty pty{Pty::Line::KernelDefaults};
    TComPort port;
    std::vector<std::string> shown;
};
