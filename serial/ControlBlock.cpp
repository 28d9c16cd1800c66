// The device control block and time-outs a port's settings stand for.
#include "serial/ControlBlock.h"
#include "serial/ComTexts.h"

namespace comm = platform::comm;

comm::DeviceControlBlock MakeControlBlock(const TLineSettings& line, const TComParity& parity,
                                         const TComFlowControl& flowControl, const TComBuffer& buffer)
{
    comm::DeviceControlBlock dcb;
    dcb.DCBlength = 28;
    dcb.BaudRate = uint32_t(line.BaudRate == brCustom ? line.CustomBaudRate : BaudRateValue(line.BaudRate));
    uint32_t flags = comm::dcbBinary;
    if (parity.Check())
        flags |= comm::dcbParity;
    if (flowControl.OutCTSFlow())
        flags |= comm::dcbOutxCtsFlow;
    if (flowControl.OutDSRFlow())
        flags |= comm::dcbOutxDsrFlow;
    static const uint32_t dtrBits[] = {0x0000, 0x0010, 0x0020};
    flags |= dtrBits[flowControl.ControlDTR()];
    if (flowControl.DSRSensitivity())
        flags |= comm::dcbDsrSensitivity;
    if (flowControl.TxContinueOnXoff())
        flags |= comm::dcbTxContinueOnXoff;
    if (flowControl.XonXoffOut())
        flags |= comm::dcbOutX;
    if (flowControl.XonXoffIn())
        flags |= comm::dcbInX;
    if (parity.Check() && parity.Replace())
        flags |= comm::dcbErrorChar;
    if (line.DiscardNull)
        flags |= comm::dcbNull;
    static const uint32_t rtsBits[] = {0x0000, 0x1000, 0x2000, 0x3000};
    flags |= rtsBits[flowControl.ControlRTS()];
    dcb.Flags = flags;
    dcb.XonLim = uint16_t(buffer.InputSize() / 4);
    dcb.XoffLim = dcb.XonLim;
    dcb.ByteSize = uint8_t(5 + line.DataBits);
    dcb.Parity = uint8_t(parity.Bits());
    dcb.StopBits = uint8_t(line.StopBits);
    dcb.XonChar = flowControl.XonChar();
    dcb.XoffChar = flowControl.XoffChar();
    if (parity.Check() && parity.Replace())
        dcb.ErrorChar = parity.ReplaceChar();
    dcb.EvtChar = line.EventChar;
    return dcb;
}

comm::Timeouts MakeTimeouts(const TComTimeouts& timeouts)
{
    comm::Timeouts t;
    t.ReadIntervalTimeout = uint32_t(timeouts.ReadInterval());
    t.ReadTotalTimeoutMultiplier = uint32_t(timeouts.ReadTotalMultiplier());
    t.ReadTotalTimeoutConstant = uint32_t(timeouts.ReadTotalConstant());
    t.WriteTotalTimeoutMultiplier = uint32_t(timeouts.WriteTotalMultiplier());
    t.WriteTotalTimeoutConstant = uint32_t(timeouts.WriteTotalConstant());
    return t;
}
