#pragma once
// The device control block and the time-outs built from a port's settings,
// without a device or a port.
#include "platform/CommDevice.h"
#include "serial/ComSettings.h"

// The line settings the port holds itself.
struct TLineSettings {
    TBaudRate BaudRate = br9600;
    int32_t CustomBaudRate = 9600;
    TDataBits DataBits = dbEight;
    TStopBits StopBits = sbOneStopBit;
    bool DiscardNull = false;
    char EventChar = 0;
};

platform::comm::DeviceControlBlock MakeControlBlock(const TLineSettings& line, const TComParity& parity,
                                                    const TComFlowControl& flowControl, const TComBuffer& buffer);
// -1 passes as the all-ones value ("no limit").
platform::comm::Timeouts MakeTimeouts(const TComTimeouts& timeouts);
