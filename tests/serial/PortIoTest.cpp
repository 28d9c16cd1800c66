// The port on a real tty (the slave of a pseudo-terminal): opening, raw I/O,
// receive events on the user-interface thread, failures and hang-up.
#include "platform/ExceptionDisplay.h"
#include "serial/PortCore.h"
#include "support/CommBaudCheck.h"
#include "support/PortOnPty.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <termios.h>

namespace {

// The system's own port settings.
void SetUpLikeTheSystem(TComPort& port, const std::string& path)
{
    port.SetPort(path);
    port.SetBaudRate(br115200);
    port.SetDataBits(dbEight);
    port.SetStopBits(sbOneStopBit);
    port.Parity()->SetBits(prNone);
    port.FlowControl()->SetFlowControl(fcNone);
    port.SetEvents(TComEvents{evRxChar});
}

class PortIo : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetExceptionDisplayHook([this](const std::string& m) { shown.push_back(m); });
    }
    void TearDown() override { platform::SetExceptionDisplayHook({}); }

    // Reads what OnRxChar reports, as the system's receive handler does.
    void CollectReceived(TComPort& port)
    {
        port.OnRxChar = [this, &port](QObject* sender, int32_t count) {
            EXPECT_EQ(sender, &port);
            EXPECT_EQ(QThread::currentThread(), qApp->thread());
            counts.push_back(count);
            std::vector<uint8_t> buf(static_cast<size_t>(count));
            const int32_t n = port.Read(buf.data(), count);
            received.insert(received.end(), buf.begin(), buf.begin() + n);
        };
    }

    // Cooked, as a UART comes up: the port must make it raw.
    Pty pty{Pty::Line::KernelDefaults};
    std::vector<std::string> shown;
    std::vector<int32_t> counts;
    std::vector<uint8_t> received;
};

std::vector<uint8_t> AllByteValues()
{
    std::vector<uint8_t> v(256);
    for (int i = 0; i < 256; ++i)
        v[size_t(i)] = uint8_t(i);
    return v;
}

double CpuSeconds()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

} // namespace

TEST_F(PortIo, EveryByteValueCrossesBothWaysUnaltered)
{
    TComPort port;
    SetUpLikeTheSystem(port, pty.SlavePath());
    CollectReceived(port);
    port.Open();
    ASSERT_TRUE(port.Connected());
    EXPECT_TRUE(port.ThreadCreated());

    const std::vector<uint8_t> all = AllByteValues();
    pty.Write(all);
    ASSERT_TRUE(ServeUntil([&] { return received.size() >= all.size(); }));
    EXPECT_EQ(received, all) << "the device must be in full raw mode";
    for (int32_t c : counts)
        EXPECT_GT(c, 0);

    const std::string text(all.begin(), all.end());
    EXPECT_EQ(port.WriteStr(text), 256);
    EXPECT_EQ(pty.Read(256), all);
    // Nothing was echoed back to us: what comes next is the far end's own.
    pty.Write(std::string("!"));
    ASSERT_TRUE(ServeUntil([&] { return received.size() > all.size(); }));
    EXPECT_EQ(received.size(), all.size() + 1);
    EXPECT_EQ(received.back(), '!');
    port.Close();
    EXPECT_FALSE(port.Connected());
    EXPECT_FALSE(port.ThreadCreated());
}

TEST_F(PortIo, ATtyAtTheKernelsSettingsIsMadeRawByThePort)
{
    // As the kernel leaves it: CR would become LF, a line would be held back
    // until its end, and every byte would be echoed to the far end.
    termios t {};
    ASSERT_EQ(tcgetattr(pty.MasterFd(), &t), 0);
    ASSERT_TRUE((t.c_iflag & ICRNL) && (t.c_lflag & ECHO) && (t.c_lflag & ICANON));
    TComPort port;
    SetUpLikeTheSystem(port, pty.SlavePath());
    CollectReceived(port);
    port.Open();
    const std::vector<uint8_t> frame = {0x24, 0x0D, 0x0A, 0x5A};
    pty.Write(frame);
    EXPECT_TRUE(ServeUntil([&] { return received.size() >= frame.size(); }, 5000)) << received.size();
    EXPECT_EQ(received, frame);
    // An echo leaves as the bytes arrive, so it would come before this.
    port.WriteStr("!");
    EXPECT_EQ(pty.Read(1), std::vector<uint8_t>{'!'}) << "nothing is echoed to the far end";
}

TEST_F(PortIo, ReadReturnsAtOnceWithWhatWaits)
{
    TComPort port;
    SetUpLikeTheSystem(port, pty.SlavePath());
    port.SetEvents(TComEvents());
    port.Open();
    EXPECT_FALSE(port.ThreadCreated()) << "no events: no thread";
    uint8_t buf[64] = {};
    EXPECT_EQ(port.Read(buf, 64), 0);
    pty.Write(std::string("abc"));
    ASSERT_TRUE(ServeUntil([&] { return port.InputCount() == 3; }));
    EXPECT_EQ(port.Read(buf, 64), 3) << "more than waiting returns only what waits";
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 3), "abc");

    std::string s = "untouched";
    EXPECT_EQ(port.ReadStr(s, 0), 0);
    EXPECT_TRUE(s.empty());
    pty.Write(std::string("xy"));
    ASSERT_TRUE(ServeUntil([&] { return port.InputCount() == 2; }));
    EXPECT_EQ(port.ReadStr(s, 10), 2);
    EXPECT_EQ(s, "xy");
}

TEST_F(PortIo, OpenAndCloseRunTheirNotificationsInOrder)
{
    TComPort port;
    SetUpLikeTheSystem(port, pty.SlavePath());
    std::vector<std::string> seen;
    TComLink link;
    link.OnConn = [&](QObject*, bool on) { seen.push_back(on ? "link conn on" : "link conn off"); };
    link.OnCTSChange = [&](QObject*, bool on) { seen.push_back(std::string("link cts ") + (on ? "on" : "off")); };
    link.OnTx = [&](QObject*, bool on) { seen.push_back(std::string("link tx ") + (on ? "on" : "off")); };
    link.OnTxBuf = [&](QObject*, const void*, int32_t n) { seen.push_back("link txbuf " + std::to_string(n)); };
    port.RegisterLink(&link);
    // Open is set before the settings are applied and cleared before the
    // close is reported.
    auto state = [&] { return port.Connected() ? " (open)" : " (closed)"; };
    port.OnBeforeOpen = [&](QObject*) { seen.push_back(std::string("before open") + state()); };
    port.OnAfterOpen = [&](QObject*) { seen.push_back(std::string("after open") + state()); };
    port.OnCTSChange = [&](QObject*, bool on) { seen.push_back(std::string("cts ") + (on ? "on" : "off")); };
    port.OnDSRChange = [&](QObject*, bool) { seen.push_back("dsr"); };
    port.OnRLSDChange = [&](QObject*, bool) { seen.push_back("rlsd"); };
    port.OnBeforeClose = [&](QObject*) { seen.push_back(std::string("before close") + state()); };
    port.OnAfterClose = [&](QObject*) { seen.push_back(std::string("after close") + state()); };
    port.Open();
    port.Open(); // already open: nothing
    EXPECT_EQ(port.WriteStr(""), 0) << "an empty text touches neither device nor links";
    port.WriteStr("ab");
    port.Close();
    port.Close(); // already closed: nothing
    const std::vector<std::string> expected = {
        "before open (closed)", "link conn on", "after open (open)", "link cts off", "cts off", "dsr", "rlsd", // no lines
        "link tx on", "link txbuf 2", // the write
        "link cts off", "cts off", "dsr", "rlsd", "before close (open)", "link conn off", "after close (closed)"};
    EXPECT_EQ(seen, expected);
    port.UnRegisterLink(&link);
}

TEST_F(PortIo, LinesAndEscapesOnADeviceWithoutModemLines)
{
    TComPort port;
    SetUpLikeTheSystem(port, pty.SlavePath());
    port.Open();
    EXPECT_TRUE(port.Signals().Empty());
    EXPECT_NO_THROW(port.SetDTR(true));
    EXPECT_NO_THROW(port.SetRTS(false));
    EXPECT_NO_THROW(port.ClearBuffer(true, true));
    EXPECT_TRUE(port.LastErrors().Empty());
    EXPECT_EQ(port.OutputCount(), 0);
    port.TransmitChar('Z');
    EXPECT_EQ(pty.Read(1), std::vector<uint8_t>{'Z'});
    // Xoff holds the output; a write then ends by its time-out, whose part
    // per byte counts as well as its fixed part.
    port.Timeouts()->SetWriteTotalC(10);
    port.Timeouts()->SetWriteTotalM(20);
    port.SetXonXoff(false);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CodeOf([&] { port.WriteStr("held!"); }), 2) << "the output was not held";
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100)) << "10 ms + 5 x 20 ms";
    port.SetXonXoff(true);
    EXPECT_EQ(port.WriteStr("go"), 2);
    EXPECT_EQ(pty.Read(2), (std::vector<uint8_t>{'g', 'o'}));
    // Settings change on the open device at once.
    EXPECT_NO_THROW(port.SetBaudRate(br256000));
    EXPECT_EQ(ReadBackOtherBaud(pty.MasterFd()), 256000u);
    EXPECT_NO_THROW(port.SetBaudRate(br14400));
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(250000);
    EXPECT_EQ(ReadBackOtherBaud(pty.MasterFd()), 250000u) << "the custom rate reaches the device";
    EXPECT_NO_THROW(port.Parity()->SetBits(prEven));
    EXPECT_EQ(CodeOf([&] { port.SetSyncMethod(smNone); }), 14);
    EXPECT_EQ(port.SyncMethod(), smThreadSync);
    EXPECT_EQ(CodeOf([&] { port.SetEventThreadPriority(tpHighest); }), 14);
    EXPECT_EQ(port.EventThreadPriority(), tpNormal);
}

TEST_F(PortIo, OperationsOnAClosedPortRaiseTheirCodes)
{
    TComPort port;
    EXPECT_EQ(CodeOf([&] { port.InputCount(); }), 10);
    EXPECT_EQ(CodeOf([&] { port.Signals(); }), 11);
    EXPECT_EQ(CodeOf([&] { port.SetDTR(true); }), 12);
    EXPECT_EQ(CodeOf([&] { port.TransmitChar('a'); }), 13);
    EXPECT_EQ(CodeOf([&] { port.ClearBuffer(true, false); }), 5);
    EXPECT_EQ(CodeOf([&] { port.WriteStr("x"); }), 2);
    uint8_t b;
    EXPECT_EQ(CodeOf([&] { port.Read(&b, 1); }), 3);
    PAsync none = nullptr;
    EXPECT_EQ(CodeOf([&] { port.WaitForAsync(none); }), 4);
    EXPECT_EQ(CodeOf([&] { port.WriteAsync(&b, 1, none); }), 4);
}

TEST_F(PortIo, OpenFailuresSayWhatIsWrong)
{
    TComPort port;
    port.SetPort("/dev/kvt-no-such-device");
    try {
        port.Open();
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 1);
        EXPECT_EQ(e.WinCode(), ENOENT);
        const std::string m = e.what();
        EXPECT_EQ(m.rfind("Unable to open com port (win error code: 2)", 0), 0u) << m;
        EXPECT_NE(m.find("/dev/kvt-no-such-device"), std::string::npos) << m;
    }
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.Handle(), platform::comm::kInvalidHandle);

    // A bare name is looked for under /dev.
    port.SetPort("kvtNoSuchPort7");
    try {
        port.Open();
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_NE(std::string(e.what()).find("/dev/kvtNoSuchPort7"), std::string::npos);
    }

    TComPort first, second;
    first.SetPort(pty.SlavePath());
    second.SetPort(pty.SlavePath());
    first.Open();
    try {
        second.Open();
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 1);
        EXPECT_NE(std::string(e.what()).find("in use by another program"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(second.Connected());
    first.Close();
    EXPECT_NO_THROW(second.Open()) << "free again once the first closed";

    TempDir dir;
    std::ofstream(dir.File("plain")) << "not a tty";
    TComPort plain;
    plain.SetPort(dir.File("plain"));
    try {
        plain.Open();
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_NE(std::string(e.what()).find("is not a serial device"), std::string::npos) << e.what();
    }
}

TEST_F(PortIo, LoadedOpensAPortStoredAsConnected)
{
    struct Case {
        std::string path;
        bool opens;
    };
    const Case cases[] = {{pty.SlavePath(), true}, {"/dev/kvt-no-such-device", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        shown.clear();
        TComPort port;
        port.BeginLoading();
        SetUpLikeTheSystem(port, c.path);
        port.SetConnected(true); // while loading: only stored
        EXPECT_EQ(port.Handle(), platform::comm::kInvalidHandle);
        CollectReceived(port);
        port.Loaded();
        EXPECT_EQ(port.Connected(), c.opens);
        EXPECT_EQ(port.ThreadCreated(), c.opens);
        if (c.opens) {
            EXPECT_TRUE(shown.empty());
            pty.Write(std::string("up"));
            EXPECT_TRUE(ServeUntil([&] { return received.size() == 2; }, 5000));
            port.Close();
        } else {
            // A failed open is shown and goes no further.
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_EQ(shown[0].rfind("Unable to open com port", 0), 0u) << shown[0];
        }
    }
}

TEST_F(PortIo, HandlerThatClosesThePortDoesNotDeadlock)
{
    TComPort port;
    SetUpLikeTheSystem(port, pty.SlavePath());
    int calls = 0;
    port.OnRxChar = [&](QObject*, int32_t) {
        ++calls;
        port.Close();
    };
    port.Open();
    pty.Write(std::string("x"));
    ASSERT_TRUE(ServeUntil([&] { return !port.Connected(); }));
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(port.ThreadCreated());
    // And it opens again and works.
    CollectReceived(port);
    port.Open();
    pty.Write(std::string("y"));
    ASSERT_TRUE(ServeUntil([&] { return !received.empty(); }));
    EXPECT_EQ(received.back(), 'y');
}

TEST_F(PortIo, CloseWhileAHandOverIsPendingDoesNotDeadlock)
{
    TComPort port;
    SetUpLikeTheSystem(port, pty.SlavePath());
    int calls = 0;
    port.OnRxChar = [&](QObject*, int32_t) { ++calls; };
    port.Open();
    pty.Write(std::string("x"));
    // The event thread now waits for us to serve its hand-over; we close instead.
    ServeFor(0);
    QThread::msleep(50);
    port.Close();
    EXPECT_FALSE(port.Connected());
    ServeFor(50);
    EXPECT_LE(calls, 1);
}

TEST_F(PortIo, HandlerExceptionIsShownAndEndsTheEvents)
{
    TComPort port;
    SetUpLikeTheSystem(port, pty.SlavePath());
    int calls = 0;
    port.OnRxChar = [&](QObject*, int32_t n) {
        ++calls;
        std::vector<uint8_t> b(static_cast<size_t>(n));
        port.Read(b.data(), n);
        throw EComPort(2, 5);
    };
    port.Open();
    pty.Write(std::string("a"));
    ASSERT_TRUE(ServeUntil([&] { return !shown.empty(); }));
    EXPECT_EQ(shown[0], "WriteFile function failed (win error code: 5)");
    pty.Write(std::string("b"));
    ServeFor(100);
    EXPECT_EQ(calls, 1) << "no further events until the port is reopened";
    port.Close();
    CollectReceived(port);
    port.Open();
    pty.Write(std::string("c"));
    ASSERT_TRUE(ServeUntil([&] { return !received.empty(); }));
}

TEST_F(PortIo, HangUpEndsTheEventThreadWithoutSpinning)
{
    auto pty2 = std::make_unique<Pty>();
    TComPort port;
    SetUpLikeTheSystem(port, pty2->SlavePath());
    CollectReceived(port);
    port.Open();
    pty2->Write(std::string("last"));
    ASSERT_TRUE(ServeUntil([&] { return received.size() == 4; }));
    pty2->HangUp();
    ServeFor(100);
    const double before = CpuSeconds();
    ServeFor(500);
    const double used = CpuSeconds() - before;
    EXPECT_LT(used, 0.25) << "the event wait must end on a hang-up, not spin";
    EXPECT_NO_THROW(port.Close());
    EXPECT_FALSE(port.Connected());

    // A new device (the link comes back) opens and works.
    port.SetPort(pty.SlavePath());
    port.Open();
    pty.Write(std::string("again"));
    ASSERT_TRUE(ServeUntil([&] { return received.size() == 9; }));
    port.Close();
}

TEST_F(PortIo, WindowAndUnsynchronisedDispatch)
{
    for (TSyncMethod method : {smWindowSync, smNone}) {
        TComPort port;
        SetUpLikeTheSystem(port, pty.SlavePath());
        port.SetSyncMethod(method);
        std::atomic<int> total{0};
        std::atomic<bool> onUiThread{false};
        port.OnRxChar = [&](QObject*, int32_t n) {
            onUiThread = QThread::currentThread() == qApp->thread();
            std::vector<uint8_t> b(static_cast<size_t>(n));
            total += port.Read(b.data(), n);
        };
        port.Open();
        pty.Write(std::string("12345"));
        ASSERT_TRUE(ServeUntil([&] { return total == 5; })) << int(method);
        EXPECT_EQ(onUiThread.load(), method == smWindowSync);
        port.Close();
    }
}

TEST_F(PortIo, LinkThatTakesTheDataGetsItInsteadOfOnRxChar)
{
    TComPort port;
    SetUpLikeTheSystem(port, pty.SlavePath());
    int rxChar = 0;
    port.OnRxChar = [&](QObject*, int32_t) { ++rxChar; };
    std::string portBuf, link1, link2;
    port.OnRxBuf = [&](QObject*, const void* b, int32_t n) { portBuf.append(static_cast<const char*>(b), size_t(n)); };
    TComLink a, b;
    a.OnRxBuf = [&](QObject*, const void* buf, int32_t n) { link1.append(static_cast<const char*>(buf), size_t(n)); };
    b.OnRxBuf = [&](QObject*, const void* buf, int32_t n) { link2.append(static_cast<const char*>(buf), size_t(n)); };
    std::vector<bool> rxSignal;
    b.OnRx = [&](QObject*, bool on) { rxSignal.push_back(on); };
    port.RegisterLink(&a);
    port.RegisterLink(&b);
    port.Open();
    pty.Write(std::string("hello"));
    ASSERT_TRUE(ServeUntil([&] { return link2.size() == 5; }));
    EXPECT_EQ(portBuf, "hello");
    EXPECT_EQ(link1, "hello");
    EXPECT_EQ(rxChar, 0);
    ASSERT_FALSE(rxSignal.empty());
    EXPECT_TRUE(rxSignal.front());
    port.Close();
    port.UnRegisterLink(&a);
    port.UnRegisterLink(&b);
}

TEST_F(PortIo, WaitForEventWithoutTheThread)
{
    TComPort port;
    SetUpLikeTheSystem(port, pty.SlavePath());
    port.Open();
    TComEvents events{evRxChar};
    try {
        port.WaitForEvent(events, nullptr, 10);
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 20);
    }
    port.Close();

    port.SetEvents(TComEvents());
    port.Open();
    events = TComEvents{evRxChar};
    port.WaitForEvent(events, nullptr, 30);
    EXPECT_TRUE(events.Empty()) << "a time-out reports no event";
    pty.Write(std::string("q"));
    events = TComEvents{evRxChar};
    port.WaitForEvent(events, nullptr, 2000);
    EXPECT_EQ(events, TComEvents{evRxChar});
    platform::Event stop(true);
    events = TComEvents{evRxChar, evCTS};
    uint8_t b;
    port.Read(&b, 1);
    port.WaitForEvent(events, &stop, 2000);
    EXPECT_TRUE(events.Empty()) << "a stop reports no event";
    uint32_t fired = 0;
    EXPECT_EQ(platform::comm::WaitEvent(port.Handle(), nullptr, 0, &fired), platform::comm::WaitResult::Failed)
        << "the device's event mask is set back to none";
}

TEST_F(PortIo, AsynchronousWriteSendsItsOwnCopy)
{
    TComPort port;
    SetUpLikeTheSystem(port, pty.SlavePath());
    port.Open();
    PAsync async = nullptr;
    InitAsync(async);
    std::string data = "original";
    port.WriteAsync(data.data(), int32_t(data.size()), async);
    data.assign(data.size(), 'X');
    EXPECT_EQ(port.WaitForAsync(async), 8);
    EXPECT_TRUE(port.IsAsyncCompleted(async));
    DoneAsync(async);
    EXPECT_EQ(async, nullptr);
    const std::vector<uint8_t> got = pty.Read(8);
    EXPECT_EQ(std::string(got.begin(), got.end()), "original");
}

TEST_F(PortIo, BlockingWriteThatTimesOutShortRaises)
{
    TComPort port;
    SetUpLikeTheSystem(port, pty.SlavePath());
    port.Timeouts()->SetWriteTotalM(0);
    port.Timeouts()->SetWriteTotalC(200);
    port.Open();
    // The far end reads nothing: the tty fills up and the write cannot end.
    const std::string big(256 * 1024, 'w');
    try {
        port.WriteStr(big);
        FAIL() << "a short write must not pass as sent";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 2);
    }
    port.Close();
}
