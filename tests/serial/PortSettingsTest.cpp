// The port's settings on a closed port: defaults, setter rules, the control
// block built from them, batched updates and the library's error texts.
#include "serial/PortCore.h"

#include <gtest/gtest.h>

namespace comm = platform::comm;

namespace {

// Records the apply calls instead of touching a device, as if it were open.
class RecordingPort : public TComPort {
public:
    std::vector<std::string> calls;
    void ApplyBuffer() override { calls.push_back("buffer"); }
    void ApplyDCB() override { calls.push_back("dcb"); }
    void ApplyTimeouts() override { calls.push_back("timeouts"); }
    void Batch() { SetupComPort(); }
};

} // namespace

TEST(PortSettings, DefaultsMatchTheLibrary)
{
    TComPort port;
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.Port(), "COM1");
    EXPECT_EQ(port.BaudRate(), br9600);
    EXPECT_EQ(port.CustomBaudRate(), 9600);
    EXPECT_EQ(port.StopBits(), sbOneStopBit);
    EXPECT_EQ(port.DataBits(), dbEight);
    EXPECT_FALSE(port.DiscardNull());
    EXPECT_EQ(port.EventChar(), 0);
    EXPECT_EQ(port.Events().ToBits(), 0x03FF);
    EXPECT_EQ(port.SyncMethod(), smThreadSync);
    EXPECT_EQ(port.StoredProps(), TStoredProps{spBasic});
    EXPECT_TRUE(port.TriggersOnRxChar());
    EXPECT_EQ(port.EventThreadPriority(), tpNormal);
    EXPECT_EQ(port.Handle(), comm::kInvalidHandle);

    EXPECT_EQ(port.Timeouts()->ReadInterval(), -1);
    EXPECT_EQ(port.Timeouts()->ReadTotalMultiplier(), 0);
    EXPECT_EQ(port.Timeouts()->ReadTotalConstant(), 0);
    EXPECT_EQ(port.Timeouts()->WriteTotalMultiplier(), 100);
    EXPECT_EQ(port.Timeouts()->WriteTotalConstant(), 1000);
    EXPECT_EQ(port.Buffer()->InputSize(), 1024);
    EXPECT_EQ(port.Buffer()->OutputSize(), 1024);
    EXPECT_EQ(port.Parity()->Bits(), prNone);
    EXPECT_FALSE(port.Parity()->Check());
    EXPECT_EQ(port.FlowControl()->XonChar(), 17);
    EXPECT_EQ(port.FlowControl()->XoffChar(), 19);
    EXPECT_EQ(port.FlowControl()->ControlDTR(), dtrDisable);
    EXPECT_EQ(port.FlowControl()->ControlRTS(), rtsDisable);
    EXPECT_EQ(port.FlowControl()->FlowControl(), fcNone);
    EXPECT_EQ(port.Timeouts()->ComPort(), &port);
    EXPECT_EQ(port.Buffer()->ComPort(), &port);
}

TEST(PortSettings, ControlBlockOfTheDefaultsAndTheSystemsPort)
{
    TComPort port;
    comm::DeviceControlBlock dcb = port.BuildDCB();
    EXPECT_EQ(dcb.DCBlength, 28u);
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.Flags, 0x0001u);
    EXPECT_EQ(dcb.XonLim, 256);
    EXPECT_EQ(dcb.XoffLim, 256);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, 0);
    EXPECT_EQ(dcb.StopBits, 0);
    EXPECT_EQ(dcb.XonChar, 17);
    EXPECT_EQ(dcb.XoffChar, 19);
    EXPECT_EQ(dcb.ErrorChar, 0);
    EXPECT_EQ(dcb.EvtChar, 0);

    port.SetBaudRate(br115200);
    EXPECT_EQ(port.BuildDCB().BaudRate, 115200u);
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(250000);
    EXPECT_EQ(port.BuildDCB().BaudRate, 250000u);
    const int32_t rates[] = {110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200,
                             128000, 256000};
    for (int i = br110; i <= br256000; ++i) {
        port.SetBaudRate(TBaudRate(i));
        EXPECT_EQ(port.BuildDCB().BaudRate, uint32_t(rates[i - 1]));
    }
}

TEST(PortSettings, EveryFlagOfTheControlBlock)
{
    TComPort port;
    auto flags = [&] { return port.BuildDCB().Flags; };
    port.Parity()->SetCheck(true);
    EXPECT_EQ(flags(), 0x0003u);
    port.Parity()->SetReplace(true);
    port.Parity()->SetReplaceChar('?');
    EXPECT_EQ(flags(), 0x0403u);
    EXPECT_EQ(port.BuildDCB().ErrorChar, '?');
    port.Parity()->SetCheck(false); // replacement needs checking
    EXPECT_EQ(flags(), 0x0001u);
    EXPECT_EQ(port.BuildDCB().ErrorChar, 0);

    TComFlowControl& f = *port.FlowControl();
    f.SetOutCTSFlow(true);
    EXPECT_EQ(flags(), 0x0005u);
    f.SetOutCTSFlow(false);
    f.SetOutDSRFlow(true);
    EXPECT_EQ(flags(), 0x0009u);
    f.SetOutDSRFlow(false);
    f.SetControlDTR(dtrEnable);
    EXPECT_EQ(flags(), 0x0011u);
    f.SetControlDTR(dtrHandshake);
    EXPECT_EQ(flags(), 0x0021u);
    f.SetControlDTR(dtrDisable);
    f.SetDSRSensitivity(true);
    EXPECT_EQ(flags(), 0x0041u);
    f.SetDSRSensitivity(false);
    f.SetTxContinueOnXoff(true);
    EXPECT_EQ(flags(), 0x0081u);
    f.SetTxContinueOnXoff(false);
    f.SetXonXoffOut(true);
    EXPECT_EQ(flags(), 0x0101u);
    f.SetXonXoffIn(true);
    EXPECT_EQ(flags(), 0x0301u);
    f.SetXonXoffOut(false);
    f.SetXonXoffIn(false);
    port.SetDiscardNull(true);
    EXPECT_EQ(flags(), 0x0801u);
    port.SetDiscardNull(false);
    const uint32_t rts[] = {0x0000, 0x1000, 0x2000, 0x3000};
    for (int r = rtsDisable; r <= rtsToggle; ++r) {
        f.SetControlRTS(TRTSFlowControl(r));
        EXPECT_EQ(flags(), 0x0001u | rts[r]);
    }
    EXPECT_EQ(flags() & 0x4000u, 0u) << "abort on error is never set";

    port.SetDataBits(dbFive);
    port.SetStopBits(sbOne5StopBits);
    port.Parity()->SetBits(prSpace);
    port.SetEventChar('\n');
    f.SetXonChar('A');
    f.SetXoffChar('B');
    const comm::DeviceControlBlock dcb = port.BuildDCB();
    EXPECT_EQ(dcb.ByteSize, 5);
    EXPECT_EQ(dcb.StopBits, 1);
    EXPECT_EQ(dcb.Parity, 4);
    EXPECT_EQ(dcb.EvtChar, '\n');
    EXPECT_EQ(dcb.XonChar, 'A');
    EXPECT_EQ(dcb.XoffChar, 'B');
}

TEST(PortSettings, OddBufferSizesBecomeEven)
{
    TComPort port;
    port.Buffer()->SetInputSize(1023);
    EXPECT_EQ(port.Buffer()->InputSize(), 1022);
    EXPECT_EQ(port.BuildDCB().XonLim, 255);
    EXPECT_EQ(port.BuildDCB().XoffLim, 255);
    port.Buffer()->SetOutputSize(1);
    EXPECT_EQ(port.Buffer()->OutputSize(), 0);
    port.Buffer()->SetInputSize(-3);
    EXPECT_EQ(port.Buffer()->InputSize(), -3);
}

TEST(PortSettings, FlowControlSummary)
{
    TComFlowControl f;
    EXPECT_EQ(f.GetFlowControl(), fcNone);
    f.SetFlowControl(fcHardware);
    EXPECT_EQ(f.ControlRTS(), rtsHandshake);
    EXPECT_TRUE(f.OutCTSFlow());
    EXPECT_EQ(f.GetFlowControl(), fcHardware);
    f.SetFlowControl(fcSoftware);
    EXPECT_EQ(f.ControlRTS(), rtsDisable);
    EXPECT_FALSE(f.OutCTSFlow());
    EXPECT_TRUE(f.XonXoffIn());
    EXPECT_TRUE(f.XonXoffOut());
    EXPECT_EQ(f.GetFlowControl(), fcSoftware);
    f.SetXonXoffIn(false);
    EXPECT_EQ(f.GetFlowControl(), fcCustom);
    f.SetFlowControl(fcCustom); // touches no switch
    EXPECT_FALSE(f.XonXoffIn());
    EXPECT_TRUE(f.XonXoffOut());
    f.SetFlowControl(fcNone);
    EXPECT_EQ(f.GetFlowControl(), fcNone);
    // DTR, DSR flow and the other switches do not take part.
    f.SetControlDTR(dtrHandshake);
    f.SetOutDSRFlow(true);
    EXPECT_EQ(f.GetFlowControl(), fcNone);
    f.SetControlRTS(rtsEnable);
    EXPECT_EQ(f.GetFlowControl(), fcCustom);
    // CTS flow with both Xon/Xoff switches is neither hardware nor software.
    f.SetFlowControl(fcSoftware);
    f.SetOutCTSFlow(true);
    EXPECT_EQ(f.GetFlowControl(), fcCustom);
    // Hardware needs both Xon/Xoff switches off, the output one too.
    for (const bool out : {true, false}) {
        f.SetFlowControl(fcHardware);
        (out ? f.SetXonXoffOut(true) : f.SetXonXoffIn(true));
        EXPECT_EQ(f.GetFlowControl(), fcCustom) << (out ? "output" : "input");
    }
}

TEST(PortSettings, SettersApplyOnlyChangedValuesExceptWholeObjects)
{
    RecordingPort port;
    port.SetBaudRate(br9600); // unchanged
    port.Parity()->SetBits(prNone);
    port.Buffer()->SetInputSize(1024);
    EXPECT_TRUE(port.calls.empty());

    port.SetBaudRate(br115200);
    port.Timeouts()->SetReadInterval(5);
    port.Buffer()->SetOutputSize(2048);
    port.FlowControl()->SetXonChar(1);
    port.FlowControl()->SetFlowControl(fcCustom); // re-applies without a change
    EXPECT_EQ(port.calls, (std::vector<std::string>{"dcb", "timeouts", "buffer", "dcb", "dcb"}));
    port.calls.clear();
    port.SetCustomBaudRate(250000);
    port.SetStopBits(sbTwoStopBits);
    port.SetDataBits(dbSeven);
    port.SetDiscardNull(true);
    port.SetEventChar('#');
    EXPECT_EQ(port.calls, std::vector<std::string>(5, "dcb"));

    port.calls.clear();
    TComParity parity;
    parity.SetBits(prEven);
    port.SetParity(parity);
    port.SetParity(parity); // whole objects are applied without comparing
    TComTimeouts timeouts;
    port.SetTimeouts(timeouts);
    TComBuffer buffer;
    port.SetBuffer(buffer);
    TComFlowControl flow;
    port.SetFlowControl(flow);
    EXPECT_EQ(port.calls, (std::vector<std::string>{"dcb", "dcb", "timeouts", "buffer", "dcb"}));
    EXPECT_EQ(port.Parity()->Bits(), prEven);
    EXPECT_EQ(port.Parity()->ComPort(), &port) << "copying keeps the back pointer";
}

TEST(PortSettings, AssignCopiesWithoutApplying)
{
    TComPort port;
    TComTimeouts t;
    t.SetReadInterval(7);
    t.SetWriteTotalC(9);
    t.AssignTo(*port.Timeouts());
    EXPECT_EQ(port.Timeouts()->ReadInterval(), 7);
    EXPECT_EQ(port.Timeouts()->WriteTotalConstant(), 9);
    EXPECT_EQ(port.Timeouts()->ComPort(), &port);

    // Every field of the flow control, none left at its default.
    TComFlowControl f;
    f.SetOutCTSFlow(true);
    f.SetOutDSRFlow(true);
    f.SetControlDTR(dtrHandshake);
    f.SetControlRTS(rtsToggle);
    f.SetXonXoffOut(true);
    f.SetXonXoffIn(true);
    f.SetDSRSensitivity(true);
    f.SetTxContinueOnXoff(true);
    f.SetXonChar('A');
    f.SetXoffChar('B');
    f.AssignTo(*port.FlowControl());
    const TComFlowControl& got = *port.FlowControl();
    EXPECT_TRUE(got.OutCTSFlow());
    EXPECT_TRUE(got.OutDSRFlow());
    EXPECT_EQ(got.ControlDTR(), dtrHandshake);
    EXPECT_EQ(got.ControlRTS(), rtsToggle);
    EXPECT_TRUE(got.XonXoffOut());
    EXPECT_TRUE(got.XonXoffIn());
    EXPECT_TRUE(got.DSRSensitivity());
    EXPECT_TRUE(got.TxContinueOnXoff());
    EXPECT_EQ(got.XonChar(), 'A');
    EXPECT_EQ(got.XoffChar(), 'B');
    EXPECT_EQ(got.ComPort(), &port);

    TComParity p;
    p.SetBits(prMark);
    p.SetCheck(true);
    p.SetReplace(true);
    p.SetReplaceChar('?');
    p.AssignTo(*port.Parity());
    EXPECT_EQ(port.Parity()->Bits(), prMark);
    EXPECT_TRUE(port.Parity()->Check());
    EXPECT_TRUE(port.Parity()->Replace());
    EXPECT_EQ(port.Parity()->ReplaceChar(), '?');

    TComBuffer b;
    b.SetInputSize(100);
    b.SetOutputSize(200);
    b.AssignTo(*port.Buffer());
    EXPECT_EQ(port.Buffer()->InputSize(), 100);
    EXPECT_EQ(port.Buffer()->OutputSize(), 200);
}

TEST(PortSettings, BatchedUpdatesApplyOnceInOrder)
{
    TComPort port;
    port.BeginUpdate();
    port.BeginUpdate();
    port.SetBaudRate(br57600);
    port.EndUpdate();
    port.SetDataBits(dbSeven);
    port.EndUpdate(); // a closed port: nothing to apply, and no error
    port.EndUpdate(); // unbalanced: ignored
    EXPECT_EQ(port.BaudRate(), br57600);

    RecordingPort rec;
    rec.Batch();
    EXPECT_EQ(rec.calls, (std::vector<std::string>{"buffer", "dcb", "timeouts"}));
}

TEST(PortSettings, SyncMethodAndTriggersRules)
{
    TComPort port;
    port.SetSyncMethod(smWindowSync); // closed: free
    EXPECT_EQ(port.SyncMethod(), smWindowSync);
    port.SetEventThreadPriority(tpHigher);
    EXPECT_EQ(port.EventThreadPriority(), tpHigher);

    // A link that does not take received data leaves the switch alone.
    TComLink watcher;
    watcher.OnRx = [](QObject*, bool) {};
    watcher.OnTxBuf = [](QObject*, const void*, int32_t) {};
    port.RegisterLink(&watcher);
    EXPECT_TRUE(port.TriggersOnRxChar());
    EXPECT_NO_THROW(port.SetTriggersOnRxChar(true));

    TComLink link;
    link.OnRxBuf = [](QObject*, const void*, int32_t) {};
    port.RegisterLink(&link);
    EXPECT_FALSE(port.TriggersOnRxChar()) << "a link that takes the data overrides the switch";
    try {
        port.SetTriggersOnRxChar(true);
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 22);
        EXPECT_STREQ(e.what(), "A component is linked to OnRxBuf event");
    }
    for (const bool on : {true, false})
        EXPECT_THROW(port.SetTriggersOnRxChar(on), EComPort) << on;
    EXPECT_THROW(port.RegisterLink(&link), EComPort);
    port.UnRegisterLink(&link);
    EXPECT_TRUE(port.TriggersOnRxChar());
    try {
        port.UnRegisterLink(&link);
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 18);
    }
    port.UnRegisterLink(&watcher);
}

TEST(PortSettings, ErrorTexts)
{
    const char* expected[] = {"Unable to open com port",
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
                              "Registry error"};
    for (int code = 1; code <= 23; ++code) {
        EComPort plain(code);
        EXPECT_EQ(plain.what(), std::string(expected[code - 1]));
        EXPECT_EQ(plain.WinCode(), -1);
        EComPort withCode(code, 5);
        EXPECT_EQ(withCode.what(), std::string(expected[code - 1]) + " (win error code: 5)");
        EXPECT_EQ(withCode.Code(), code);
        EXPECT_EQ(withCode.WinCode(), 5);
    }
}

TEST(PortSettings, EventMaskMapping)
{
    EXPECT_EQ(EventsToMask(TComEvents{evRxChar}), 0x0001u);
    EXPECT_EQ(EventsToMask(TComEvents{evRxFlag}), 0x0002u);
    EXPECT_EQ(EventsToMask(TComEvents{evTxEmpty}), 0x0004u);
    EXPECT_EQ(EventsToMask(TComEvents{evCTS}), 0x0008u);
    EXPECT_EQ(EventsToMask(TComEvents{evDSR}), 0x0010u);
    EXPECT_EQ(EventsToMask(TComEvents{evRLSD}), 0x0020u);
    EXPECT_EQ(EventsToMask(TComEvents{evBreak}), 0x0040u);
    EXPECT_EQ(EventsToMask(TComEvents{evError}), 0x0080u);
    EXPECT_EQ(EventsToMask(TComEvents{evRing}), 0x0100u);
    EXPECT_EQ(EventsToMask(TComEvents{evRx80Full}), 0x0400u);
    EXPECT_EQ(EventsToMask(kAllComEvents), 0x05FFu);
    EXPECT_EQ(MaskToEvents(0x05FF), kAllComEvents);
    EXPECT_EQ(MaskToEvents(0x0200 | 0x0800), TComEvents()) << "other bits are ignored";
}

TEST(PortSettings, TextForms)
{
    EXPECT_EQ(StrToBaudRate("115200"), br115200);
    EXPECT_EQ(StrToBaudRate("custom"), brCustom);
    EXPECT_EQ(StrToBaudRate(""), br9600);
    EXPECT_EQ(StrToBaudRate("115201"), br9600);
    EXPECT_EQ(StrToParity("even"), prEven);
    EXPECT_EQ(StrToParity("x"), prNone);
    EXPECT_EQ(StrToStopBits("1.5"), sbOne5StopBits);
    EXPECT_EQ(StrToStopBits("3"), sbOneStopBit);
    EXPECT_EQ(StrToDataBits("7"), dbSeven);
    EXPECT_EQ(StrToDataBits(""), dbEight);
    EXPECT_EQ(StrToFlowControl("hardware"), fcHardware);
    EXPECT_EQ(StrToFlowControl("?"), fcCustom);
    EXPECT_EQ(StrToDTR("HANDSHAKE"), dtrHandshake);
    EXPECT_EQ(StrToDTR("?"), dtrDisable);
    EXPECT_EQ(StrToRTS("toggle"), rtsToggle);
    EXPECT_EQ(StrToRTS("?"), rtsDisable);
    for (int i = brCustom; i <= br256000; ++i)
        EXPECT_EQ(StrToBaudRate(BaudRateToStr(TBaudRate(i))), TBaudRate(i));
    EXPECT_EQ(ParityToStr(prMark), "Mark");
    EXPECT_EQ(FlowControlToStr(fcNone), "None");

    EXPECT_EQ(BoolToYesNo(true), "Yes");
    EXPECT_EQ(BoolToYesNo(false), "No");
    EXPECT_TRUE(YesNoToBool("yEs"));
    EXPECT_FALSE(YesNoToBool("Y"));
    EXPECT_FALSE(YesNoToBool(""));

    EXPECT_EQ(CharToStr(0), "#0");
    EXPECT_EQ(CharToStr(17), "#17");
    EXPECT_EQ(CharToStr(' '), "#32");
    EXPECT_EQ(CharToStr('!'), "!");
    EXPECT_EQ(CharToStr(127), std::string(1, char(127)));
    EXPECT_EQ(CharToStr(char(200)), "#200");
    EXPECT_EQ(StrToChar(""), 0);
    EXPECT_EQ(StrToChar("A"), 'A');
    EXPECT_EQ(StrToChar("AB"), 'A');
    EXPECT_EQ(StrToChar("#"), '#');
    EXPECT_EQ(StrToChar("#17"), 17);
    EXPECT_EQ(uint8_t(StrToChar("#200")), 200);
    EXPECT_EQ(StrToChar("#300"), char(300 & 0xFF));
    EXPECT_EQ(StrToChar("#x"), 0);
}
