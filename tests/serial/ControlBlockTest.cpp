// The control block and time-outs built from settings objects alone, with no
// port and no device behind them.
#include "serial/ControlBlock.h"

#include <gtest/gtest.h>

namespace comm = platform::comm;

TEST(ControlBlock, LineSettingsAndSwitchesWithoutAPort)
{
    struct Case {
        TLineSettings line;
        TFlowControl flow;
        bool check, replace;
        uint32_t rate, flags;
        uint8_t byteSize, stopBits;
    };
    const Case cases[] = {
        {{br115200, 9600, dbEight, sbOneStopBit, false, 0}, fcNone, false, false, 115200, 0x0001, 8, 0},
        {{brCustom, 31250, dbSeven, sbTwoStopBits, true, '\r'}, fcHardware, true, false, 31250, 0x0001 | 0x0002 | 0x0004 | 0x2000 | 0x0800, 7, 2},
        {{br9600, 9600, dbFive, sbOne5StopBits, false, 0}, fcSoftware, true, true, 9600, 0x0001 | 0x0002 | 0x0100 | 0x0200 | 0x0400, 5, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        TComParity parity;
        parity.SetCheck(c.check);
        parity.SetReplace(c.replace);
        parity.SetReplaceChar('?');
        TComFlowControl flow;
        flow.SetFlowControl(c.flow);
        TComBuffer buffer;
        buffer.SetInputSize(1023);
        const comm::DeviceControlBlock dcb = MakeControlBlock(c.line, parity, flow, buffer);
        EXPECT_EQ(dcb.DCBlength, 28u);
        EXPECT_EQ(dcb.BaudRate, c.rate);
        EXPECT_EQ(dcb.Flags, c.flags);
        EXPECT_EQ(dcb.ByteSize, c.byteSize);
        EXPECT_EQ(dcb.StopBits, c.stopBits);
        EXPECT_EQ(dcb.XonLim, 255) << "a quarter of the (even) input size";
        EXPECT_EQ(dcb.XoffLim, 255);
        EXPECT_EQ(dcb.ErrorChar, c.check && c.replace ? '?' : 0);
        EXPECT_EQ(dcb.EvtChar, c.line.EventChar);
        EXPECT_EQ(dcb.XonChar, 17);
        EXPECT_EQ(dcb.XoffChar, 19);
    }
}

TEST(ControlBlock, TimeoutsPassMinusOneAsNoLimit)
{
    TComTimeouts t;
    t.SetReadTotalM(3);
    const comm::Timeouts out = MakeTimeouts(t);
    EXPECT_EQ(out.ReadIntervalTimeout, comm::kNoLimit);
    EXPECT_EQ(out.ReadTotalTimeoutMultiplier, 3u);
    EXPECT_EQ(out.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(out.WriteTotalTimeoutMultiplier, 100u);
    EXPECT_EQ(out.WriteTotalTimeoutConstant, 1000u);
}
