// What the port promises at its edges: closing or freeing it from inside its
// own handlers, bad arguments, an event thread that cannot start, a purge that
// fails at close, the events a pseudo-terminal can show (evRxFlag, evRx80Full)
// and the one it cannot (evTxEmpty, through the kernel seam).
#include "platform/CommKernel.h"
#include "platform/ExceptionDisplay.h"
#include "platform/SerialPorts.h"
#include "serial/PortCore.h"
#include "support/PortOnPty.h"

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <linux/serial.h>
#include <memory>
#include <system_error>
#include <sys/ioctl.h>
#include <termios.h>

#include <gtest/gtest.h>

namespace comm = platform::comm;

namespace {

// Puts the real kernel calls back however the test ends.
class KernelSeam {
public:
    KernelSeam() : saved_(comm::Kernel()) {}
    ~KernelSeam() { comm::Kernel() = saved_; }
    const comm::KernelCalls& Real() const { return saved_; }

private:
    comm::KernelCalls saved_;
};

int ThreadCount()
{
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/task"))
        ++n;
    return n;
}

class PortPromises : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetExceptionDisplayHook([this](const std::string& m) { shown.push_back(m); });
    }
    void TearDown() override { platform::SetExceptionDisplayHook({}); }

    void SetUpPort(TComPort& port, TComEvents events)
    {
        port.SetPort(pty.SlavePath());
        port.SetBaudRate(br115200);
        port.SetEvents(events);
    }

    // Reads everything that waits, as a receive handler does.
    static std::string ReadAll(TComPort& port)
    {
        std::string s;
        port.ReadStr(s, port.InputCount());
        return s;
    }

    Pty pty{Pty::Line::KernelDefaults};
    std::vector<std::string> shown;
};

// Handlers below touch only these once the port may be gone.
std::atomic<int> gHandlerCalls{0};
std::atomic<bool> gHandlerDone{false};

} // namespace

// ------------------------------------------------------------ closing from a handler

TEST_F(PortPromises, CloseOrFreeInsideAHandlerCompletesInEverySyncMethod)
{
    struct Case {
        TSyncMethod sync;
        bool free;
    };
    const Case cases[] = {{smThreadSync, false}, {smWindowSync, false}, {smNone, false},
                          {smThreadSync, true},  {smWindowSync, true},  {smNone, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "sync " << int(c.sync) << (c.free ? ", free" : ", close"));
        const int threadsBefore = ThreadCount();
        gHandlerCalls = 0;
        gHandlerDone = false;
        auto owned = std::make_unique<TComPort>();
        TComPort* port = owned.get();
        SetUpPort(*port, TComEvents{evRxChar});
        port->SetSyncMethod(c.sync);
        if (c.free) {
            port->OnRxChar = [&owned](QObject*, int32_t) {
                ++gHandlerCalls;
                owned.reset();
                gHandlerDone = true;
            };
        } else {
            port->OnRxChar = [port](QObject*, int32_t) {
                ++gHandlerCalls;
                port->Close();
                gHandlerDone = true;
            };
        }
        port->Open();
        pty.Write(std::string("x"));
        ASSERT_TRUE(ServeUntil([] { return gHandlerDone.load(); }));
        EXPECT_EQ(gHandlerCalls, 1);
        EXPECT_TRUE(ServeUntil([&] { return ThreadCount() <= threadsBefore; }))
            << "the event thread ends once the handler has returned";
        if (!c.free) {
            EXPECT_FALSE(port->Connected());
            EXPECT_FALSE(port->ThreadCreated());
            // And the port opens again and receives.
            std::atomic<int> got{0};
            port->OnRxChar = [&](QObject*, int32_t) { got += int(ReadAll(*port).size()); };
            port->Open();
            pty.Write(std::string("yz"));
            EXPECT_TRUE(ServeUntil([&] { return got == 2; }));
            port->Close();
        }
        EXPECT_TRUE(shown.empty());
    }
}

TEST_F(PortPromises, AListenerThatFreesThePortEndsTheBatch)
{
    gHandlerCalls = 0;
    gHandlerDone = false;
    auto owned = std::make_unique<TComPort>();
    SetUpPort(*owned, TComEvents{evRxChar});
    TComLink first, second;
    first.OnRxBuf = [&owned](QObject*, const void*, int32_t) {
        ++gHandlerCalls;
        owned.reset();
        gHandlerDone = true;
    };
    second.OnRxBuf = [](QObject*, const void*, int32_t) { ++gHandlerCalls; };
    owned->RegisterLink(&first);
    owned->RegisterLink(&second);
    owned->Open();
    pty.Write(std::string("x"));
    ASSERT_TRUE(ServeUntil([] { return gHandlerDone.load(); }));
    ASSERT_TRUE(ServePosted());
    EXPECT_EQ(gHandlerCalls, 1) << "nothing runs for a port that is gone";
}

// ------------------------------------------------------------ bad arguments

TEST_F(PortPromises, NullBuffersAreRefusedWithTheirCodes)
{
    TComPort port;
    SetUpPort(port, TComEvents());
    port.Open();
    pty.Write(std::string("abc"));
    ASSERT_TRUE(ServeUntil([&] { return port.InputCount() == 3; }));
    PAsync async = nullptr;
    InitAsync(async);
    struct Case {
        const char* what;
        std::function<void()> call;
        int code;
    };
    const Case cases[] = {
        {"Read", [&] { port.Read(nullptr, 3); }, 3},
        {"ReadAsync", [&] { port.ReadAsync(nullptr, 1, async); }, 3},
        {"Write", [&] { port.Write(nullptr, 3); }, 2},
        {"WriteAsync", [&] { port.WriteAsync(nullptr, 1, async); }, 2},
        {"Read of nothing", [&] { EXPECT_EQ(port.Read(nullptr, 0), 0); }, 0},
        {"Write of nothing", [&] { EXPECT_EQ(port.Write(nullptr, 0), 0); }, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CodeOf(c.call), c.code) << c.what;
    DoneAsync(async);
    EXPECT_EQ(ReadAll(port), "abc") << "the waiting bytes are untouched";
    EXPECT_TRUE(port.Connected());
}

TEST_F(PortPromises, AFailedWaitRaisesTheCodeOfItsOperation)
{
    // A read or write that cannot end by itself, cut by a purge.
    const std::pair<TOperationKind, int> cases[] = {{okRead, 3}, {okWrite, 2}};
    for (const auto& [kind, code] : cases) {
        SCOPED_TRACE(int(kind));
        TComPort port;
        SetUpPort(port, TComEvents());
        port.Timeouts()->SetReadInterval(0);
        port.Timeouts()->SetWriteTotalM(0);
        port.Timeouts()->SetWriteTotalC(0);
        port.Open();
        // More than the tty takes while the far end reads nothing.
        std::vector<uint8_t> buffer(256 * 1024, 'p');
        PAsync async = nullptr;
        InitAsync(async);
        if (kind == okRead)
            EXPECT_EQ(port.ReadAsync(buffer.data(), 8, async), 0);
        else
            EXPECT_LT(port.WriteAsync(buffer.data(), int32_t(buffer.size()), async), int32_t(buffer.size()));
        EXPECT_FALSE(port.IsAsyncCompleted(async));
        port.AbortAllAsync();
        EXPECT_EQ(CodeOf([&] { port.WaitForAsync(async); }), code);
        DoneAsync(async);
        port.Close();
    }
}

TEST_F(PortPromises, OneAndAHalfStopBitsOnlyWithFiveDataBits)
{
    // Refused at open: the port stays closed. (Five data bits with 1.5 stop
    // bits are taken: see the device tests.)
    for (TDataBits bits : {dbSix, dbSeven, dbEight}) {
        SCOPED_TRACE(int(bits));
        TComPort port;
        SetUpPort(port, TComEvents());
        port.SetDataBits(bits);
        port.SetStopBits(sbOne5StopBits);
        EXPECT_EQ(CodeOf([&] { port.Open(); }), 7);
        EXPECT_FALSE(port.Connected());
    }
    // Refused on an open port, which stays open.
    TComPort port;
    SetUpPort(port, TComEvents());
    port.Open();
    EXPECT_EQ(CodeOf([&] { port.SetStopBits(sbOne5StopBits); }), 7);
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(CodeOf([&] { port.SetStopBits(sbTwoStopBits); }), 0);
}

TEST_F(PortPromises, AnEventThreadThatCannotStartLeavesThePortClosed)
{
    struct RestoreStarter {
        ~RestoreStarter() { TComThread::SetStarter({}); }
    } restore;
    TComThread::SetStarter(
        [](std::function<void()>) -> std::thread { throw std::system_error(EAGAIN, std::generic_category()); });
    TComPort port;
    SetUpPort(port, TComEvents{evRxChar});
    int afterOpen = 0;
    port.OnAfterOpen = [&](QObject*) { ++afterOpen; };
    try {
        port.Open();
        FAIL() << "a port without its event thread must not pass as open";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 1);
        EXPECT_EQ(e.WinCode(), EAGAIN);
    }
    EXPECT_FALSE(port.Connected());
    EXPECT_FALSE(port.ThreadCreated());
    EXPECT_EQ(port.Handle(), comm::kInvalidHandle);
    EXPECT_EQ(afterOpen, 0);

    // The device was let go: another port can have it.
    TComThread::SetStarter({});
    TComPort other;
    SetUpPort(other, TComEvents{evRxChar});
    EXPECT_NO_THROW(other.Open());
}

// ------------------------------------------------------------ purge

TEST_F(PortPromises, PurgeFailureAtCloseKeepsThePortOpenUnlessTheDeviceIsGone)
{
    struct Case {
        int error;
        bool closes;
    };
    const Case cases[] = {{EIO, true}, {ENXIO, true}, {ENODEV, true}, {EPERM, false}, {EBUSY, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        KernelSeam seam;
        TComPort port;
        SetUpPort(port, TComEvents{evRxChar});
        port.Open();
        comm::Kernel().flush = [err = c.error](int, int) {
            errno = err;
            return -1;
        };
        const int code = CodeOf([&] { port.Close(); });
        EXPECT_EQ(code, c.closes ? 0 : 5);
        EXPECT_EQ(port.Connected(), !c.closes);
        EXPECT_EQ(port.ThreadCreated(), !c.closes) << "the thread goes only with a close that completes";
        comm::Kernel() = seam.Real();
        port.Close();
        EXPECT_FALSE(port.Connected());
    }
}

TEST_F(PortPromises, ClearBufferPurgesTheQueuesAskedFor)
{
    struct Case {
        bool input, output;
        int outQueued; // what the driver says it still has to send
        std::vector<int> flushed;
        size_t left; // of the three waiting bytes
    };
    const Case cases[] = {
        {true, false, 1, {TCIFLUSH}, 0},
        {false, true, 1, {TCOFLUSH}, 3},
        {true, true, 1, {TCIOFLUSH}, 0},
        {false, false, 1, {}, 3},
        // An empty output queue is not flushed: on a pty that would take
        // unread bytes from the peer.
        {false, true, 0, {}, 3},
        {true, true, 0, {TCIFLUSH}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "input " << c.input << ", output " << c.output << ", queued "
                                        << c.outQueued);
        KernelSeam seam;
        std::vector<int> flushed;
        comm::Kernel().flush = [&, real = seam.Real().flush](int fd, int queue) {
            flushed.push_back(queue);
            return real(fd, queue);
        };
        comm::Kernel().outQueue = [&](int, int* count) {
            *count = c.outQueued;
            return 0;
        };
        TComPort port;
        SetUpPort(port, TComEvents());
        port.Open();
        pty.Write(std::string("abc"));
        ASSERT_TRUE(ServeUntil([&] { return port.InputCount() == 3; }));
        flushed.clear();
        port.ClearBuffer(c.input, c.output);
        EXPECT_EQ(flushed, c.flushed);
        EXPECT_EQ(ReadAll(port).size(), c.left);
        comm::Kernel().outQueue = seam.Real().outQueue;
        port.Close();
    }
}
TEST_F(PortPromises, BytesAfterAnInputPurgeAreReported)
{
    // The handler reads nothing; the purged bytes are followed by as many.
    TComPort port;
    SetUpPort(port, TComEvents{evRxChar});
    std::vector<int32_t> reported;
    port.OnRxChar = [&](QObject*, int32_t n) { reported.push_back(n); };
    port.Open();
    pty.Write(std::string("abc"));
    ASSERT_TRUE(ServeUntil([&] { return !reported.empty() && reported.back() == 3; }));
    port.ClearBuffer(true, false);
    EXPECT_EQ(port.InputCount(), 0);
    const size_t before = reported.size();
    pty.Write(std::string("def"));
    EXPECT_TRUE(ServeUntil([&] { return reported.size() > before; }, 5000)) << "def was never reported";
    EXPECT_EQ(ReadAll(port), "def");
    port.Close();
}

TEST_F(PortPromises, CloseSendsWhatWasWrittenBeforeItDiscardsTheQueues)
{
    // A real UART drains; a peer holding the line gets the write's time limit
    // and then the rest is discarded, so a close never hangs.
    struct Case {
        bool drains;
        int limitMs; // the write's time limit; a UART that drains ends the wait at once
        std::vector<int> flushed;
    };
    const Case cases[] = {{true, 60000, {TCIFLUSH}}, {false, 30, {TCIOFLUSH}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.drains ? "drains" : "held");
        KernelSeam seam;
        std::atomic<int> queued{40};
        std::atomic<int> asked{0};
        std::vector<int> flushed;
        comm::Kernel().outQueue = [&](int, int* count) {
            ++asked;
            *count = queued;
            if (c.drains && queued > 0)
                queued -= 10; // the UART sends while the close waits
            return 0;
        };
        comm::Kernel().flush = [&, real = seam.Real().flush](int fd, int queue) {
            flushed.push_back(queue);
            return real(fd, queue);
        };
        TComPort port;
        SetUpPort(port, TComEvents());
        port.Timeouts()->SetWriteTotalM(0);
        port.Timeouts()->SetWriteTotalC(c.limitMs);
        port.Open();
        port.WriteStr("comms off");
        const auto start = std::chrono::steady_clock::now();
        port.Close();
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_FALSE(port.Connected());
        EXPECT_EQ(flushed, c.flushed);
        if (c.drains) {
            EXPECT_GE(asked, 5);
        } else {
            EXPECT_GE(waited, std::chrono::milliseconds(30)) << "the write's time limit";
            EXPECT_LT(waited, std::chrono::milliseconds(1000)) << "30 ms in all, not 30 ms per byte";
        }
    }
}

TEST_F(PortPromises, BytesWrittenJustBeforeCloseReachTheFarEnd)
{
    TComPort port;
    SetUpPort(port, TComEvents{evRxChar});
    for (int i = 0; i < 50; ++i) {
        port.Open();
        port.WriteStr("C0 A5 00");
        port.Close();
        EXPECT_EQ(pty.Read(8, 1000).size(), 8u) << "round " << i;
    }
}

// ------------------------------------------------------------ events

TEST_F(PortPromises, LinesAndLineErrorsOfARealUartReachTheirHandlers)
{
    // Through the seam, as a UART answers: the lines as the row sets them
    // after the open, and a line error or a break counted as soon as data
    // waits. A break is no line error (evError): it stays in the error state
    // for the next look, and what one look reported is cleared.
    enum class Counted { none, frame, parity, brk, overrun };
    struct Case {
        const char* what;
        TComEvents events;
        bool parityCheck, triggersOnRxChar;
        int lines;
        Counted error;
        std::vector<std::string> seen;
        TComSignals lineSignals;
        TSyncMethod sync;
    };
    const Case cases[] = {
        {"error and data in one batch", TComEvents{evRxChar, evError}, false, true, 0, Counted::frame,
         {"error 1", "rx 1"}, TComSignals(), smThreadSync},
        {"parity error while parity is not checked", TComEvents{evRxChar, evError}, false, true, 0, Counted::parity,
         {"rx 1"}, TComSignals(), smThreadSync},
        {"parity error while parity is checked", TComEvents{evRxChar, evError}, true, true, 0, Counted::parity,
         {"error 2", "rx 1"}, TComSignals(), smThreadSync},
        {"an overrun", TComEvents{evRxChar, evError}, false, true, 0, Counted::overrun, {"error 4", "rx 1"},
         TComSignals(), smThreadSync},
        {"a break, which is no framing error", TComEvents{evBreak, evError}, false, true, 0, Counted::brk,
         {"break"}, TComSignals(), smThreadSync},
        {"no trigger and no link: the port reads", TComEvents{evRxChar}, false, false, 0, Counted::none,
         {"rxbuf x"}, TComSignals(), smThreadSync},
        {"CTS rises", TComEvents{evCTS, evDSR, evRLSD}, false, true, TIOCM_CTS, Counted::none, {"cts on"},
         TComSignals{csCTS}, smThreadSync},
        {"the ring line alone", TComEvents{evRLSD}, false, true, TIOCM_RNG, Counted::none, {}, TComSignals{csRing},
         smThreadSync},
        // One window message per event: the carrier's runs the carrier's change.
        {"carrier rises, by window message", TComEvents{evDSR, evRLSD}, false, true, TIOCM_CAR, Counted::none,
         {"rlsd on"}, TComSignals{csRLSD}, smWindowSync},
        {"DSR rises, by window message", TComEvents{evDSR, evRLSD}, false, true, TIOCM_DSR, Counted::none,
         {"dsr on"}, TComSignals{csDSR}, smWindowSync},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KernelSeam seam;
        std::atomic<int> lines{0};
        comm::Kernel().modemLines = [&](int, int* value) {
            *value = lines;
            return 0;
        };
        comm::Kernel().counts = [&](int fd, serial_icounter_struct* counts) {
            *counts = {};
            int waiting = 0;
            ::ioctl(fd, FIONREAD, &waiting);
            if (waiting > 0 && c.error != Counted::none)
                ++(c.error == Counted::frame    ? counts->frame
                   : c.error == Counted::parity ? counts->parity
                   : c.error == Counted::brk    ? counts->brk
                                                : counts->overrun);
            return 0;
        };
        TComPort port;
        SetUpPort(port, c.events);
        port.SetSyncMethod(c.sync);
        port.Parity()->SetCheck(c.parityCheck);
        port.SetTriggersOnRxChar(c.triggersOnRxChar);
        std::vector<std::string> seen;
        // Handlers leave the data waiting: it is reported once.
        port.OnError = [&](QObject*, TComErrors e) { seen.push_back("error " + std::to_string(e.ToBits())); };
        port.OnRxChar = [&](QObject*, int32_t n) { seen.push_back("rx " + std::to_string(n)); };
        port.OnRxBuf = [&](QObject*, const void* b, int32_t n) {
            seen.push_back("rxbuf " + std::string(static_cast<const char*>(b), size_t(n)));
        };
        port.OnBreak = [&](QObject*) { seen.push_back("break"); };
        port.OnCTSChange = [&](QObject*, bool on) { seen.push_back(std::string("cts ") + (on ? "on" : "off")); };
        port.OnDSRChange = [&](QObject*, bool on) { seen.push_back(std::string("dsr ") + (on ? "on" : "off")); };
        port.OnRLSDChange = [&](QObject*, bool on) { seen.push_back(std::string("rlsd ") + (on ? "on" : "off")); };
        port.Open();
        seen.clear(); // the lines as the open found them
        lines = c.lines;
        if (c.lines == 0)
            pty.Write(std::string("x"));
        // The data or the line change comes last in a row's batch: once it is
        // seen, the batch is over.
        EXPECT_TRUE(ServeUntil([&] { return seen == c.seen; }, 5000))
            << testing::PrintToString(seen);
        EXPECT_EQ(port.Signals(), c.lineSignals);
        EXPECT_EQ(port.LastErrors(), c.error == Counted::brk ? TComErrors{ceBreak} : TComErrors());
        EXPECT_TRUE(port.LastErrors().Empty()) << "reported again";
        port.Close();
    }
}

TEST_F(PortPromises, BreakAndTheInputCountOfARealUart)
{
    // A pty accepts a break and does nothing, has no modem lines, and its
    // input count does not fail: the seam answers as a UART would, and then
    // as one that refuses.
    struct Case {
        const char* what;
        std::function<void(TComPort&)> call;
        std::string asked; // of the kernel
        int code;          // when the kernel refuses
    };
    const Case cases[] = {
        {"SetBreak(true)", [](TComPort& p) { p.SetBreak(true); }, "break on", 12},
        {"SetBreak(false)", [](TComPort& p) { p.SetBreak(false); }, "break off", 12},
        {"SetRTS(true)", [](TComPort& p) { p.SetRTS(true); }, "rts on", 12},
        {"SetRTS(false)", [](TComPort& p) { p.SetRTS(false); }, "rts off", 12},
        {"SetDTR(true)", [](TComPort& p) { p.SetDTR(true); }, "dtr on", 12},
        {"SetDTR(false)", [](TComPort& p) { p.SetDTR(false); }, "dtr off", 12},
        {"InputCount", [](TComPort& p) { EXPECT_EQ(p.InputCount(), 7); }, "input count", 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KernelSeam seam;
        std::vector<std::string> asked;
        int error = 0;
        auto answer = [&](const std::string& what) {
            asked.push_back(what);
            errno = error;
            return error ? -1 : 0;
        };
        comm::Kernel().breakLine = [&](int, bool on) { return answer(on ? "break on" : "break off"); };
        comm::Kernel().setLines = [&](int, bool on, int lines) {
            const std::string line = lines == TIOCM_RTS ? "rts" : lines == TIOCM_DTR ? "dtr" : "?";
            return answer(line + (on ? " on" : " off"));
        };
        comm::Kernel().inQueue = [&](int, int* count) {
            *count = 7;
            return answer("input count");
        };
        TComPort port;
        SetUpPort(port, TComEvents());
        port.Open();
        asked.clear();
        EXPECT_EQ(CodeOf([&] { c.call(port); }), 0);
        EXPECT_EQ(asked, std::vector<std::string>{c.asked});
        error = EIO;
        EXPECT_EQ(CodeOf([&] { c.call(port); }), c.code);
        error = 0;
        port.Close();
    }
}

TEST_F(PortPromises, TxEmptyWaitsForTheOutputQueueWithoutSpinning)
{
    KernelSeam seam;
    std::atomic<int> queued{100}, samples{0};
    comm::Kernel().outQueue = [&](int, int* count) {
        ++samples;
        *count = queued;
        return 0;
    };
    TComPort port;
    SetUpPort(port, TComEvents{evTxEmpty});
    int txEmpty = 0;
    std::vector<bool> tx;
    TComLink link;
    link.OnTx = [&](QObject*, bool on) { tx.push_back(on); };
    port.RegisterLink(&link);
    port.OnTxEmpty = [&](QObject*) { ++txEmpty; };
    port.Open();
    port.WriteStr("hello");
    ServeFor(300);
    EXPECT_EQ(txEmpty, 0) << "bytes are still queued";
    EXPECT_LT(samples, 100) << "the queue is sampled now and then, not in a loop";
    queued = 0;
    ASSERT_TRUE(ServeUntil([&] { return txEmpty == 1; }));
    EXPECT_EQ(tx, (std::vector<bool>{true, false}));
    const int after = samples;
    ServeFor(200);
    EXPECT_EQ(samples, after) << "nothing queued: no sampling";
    port.Close();
    port.UnRegisterLink(&link);
}

TEST_F(PortPromises, Rx80FullAloneFiresAtEightyPercentOfTheInputSize)
{
    TComPort port;
    SetUpPort(port, TComEvents{evRx80Full});
    port.Buffer()->SetInputSize(100);
    int full = 0;
    port.OnRx80Full = [&](QObject*) { ++full; };
    port.Open();
    pty.Write(std::string(50, 'a'));
    ServeFor(100);
    EXPECT_EQ(full, 0);
    pty.Write(std::string(30, 'b'));
    ASSERT_TRUE(ServeUntil([&] { return full == 1; }));
    ServeFor(60);
    EXPECT_EQ(full, 1) << "once while the queue stays full";
    EXPECT_EQ(ReadAll(port).size(), 80u);
    ServeFor(60);
    pty.Write(std::string(90, 'c'));
    EXPECT_TRUE(ServeUntil([&] { return full == 2; })) << "again once the queue was emptied";
    port.Close();
}

TEST_F(PortPromises, EventCharRaisesRxFlagAndTheDataStaysInOrder)
{
    struct Case {
        TComEvents events;
        char eventChar;
        bool setWhileOpen; // the character reaches the open device
    };
    const Case cases[] = {{TComEvents{evRxFlag}, '\r', false},
                          {TComEvents{evRxChar, evRxFlag}, '\r', false},
                          {TComEvents{evRxFlag}, '#', true}};
    for (const Case& c : cases) {
        const TComEvents events = c.events;
        SCOPED_TRACE(testing::Message() << events.ToBits() << " " << c.eventChar);
        TComPort port;
        SetUpPort(port, events);
        if (!c.setWhileOpen)
            port.SetEventChar(c.eventChar);
        int flags = 0, linkFlags = 0;
        std::string received;
        port.OnRxFlag = [&](QObject*) {
            ++flags;
            received += ReadAll(port);
        };
        port.OnRxChar = [&](QObject*, int32_t) { received += ReadAll(port); };
        TComLink link;
        link.OnRxFlag = [&](QObject*) { ++linkFlags; };
        port.RegisterLink(&link);
        port.Open();
        if (c.setWhileOpen)
            port.SetEventChar(c.eventChar);
        pty.Write(std::string("abc"));
        if (events.Contains(evRxChar))
            ASSERT_TRUE(ServeUntil([&] { return received == "abc"; }));
        else
            ServeFor(60);
        EXPECT_EQ(flags, 0);
        pty.Write(std::string("de") + c.eventChar + "f");
        ASSERT_TRUE(ServeUntil([&] { return flags == 1; }, 5000));
        EXPECT_EQ(linkFlags, 1);
        ASSERT_TRUE(ServeUntil([&] { return received == std::string("abcde") + c.eventChar + "f"; })) << received;
        pty.Write(std::string(1, c.eventChar));
        ASSERT_TRUE(ServeUntil([&] { return flags == 2; }));
        port.Close();
        port.UnRegisterLink(&link);
    }
}

TEST_F(PortPromises, DiscardNullReadsTheBytesBehindTheZeros)
{
    struct Case {
        std::string sent;
        int32_t asked;
        std::string got;
    };
    const Case cases[] = {
        {std::string("\0\0\0abc", 6), 3, "abc"},
        {std::string("a\0b\0c", 5), 5, "abc"},
        {std::string("\0\0", 2), 2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.got);
        TComPort port;
        SetUpPort(port, TComEvents());
        port.SetDiscardNull(true);
        port.Open();
        pty.Write(c.sent);
        ASSERT_TRUE(ServeUntil([&] { return port.InputCount() == int32_t(c.sent.size()); }));
        std::string s;
        EXPECT_EQ(port.ReadStr(s, c.asked), int32_t(c.got.size()));
        EXPECT_EQ(s, c.got);
        port.Close();
    }
}

TEST_F(PortPromises, AReceiveThatReadsNothingCallsNoRxBuf)
{
    TComPort port;
    SetUpPort(port, TComEvents{evRxChar});
    port.SetDiscardNull(true);
    std::vector<std::string> portBuf, linkBuf;
    int rxOn = 0;
    port.OnRxBuf = [&](QObject*, const void* b, int32_t n) { portBuf.emplace_back(static_cast<const char*>(b), n); };
    TComLink link;
    link.OnRxBuf = [&](QObject*, const void* b, int32_t n) { linkBuf.emplace_back(static_cast<const char*>(b), n); };
    link.OnRx = [&](QObject*, bool on) { rxOn += on; };
    port.RegisterLink(&link);
    port.Open();
    pty.Write(std::string("\0\0", 2));
    ASSERT_TRUE(ServeUntil([&] { return rxOn == 1; }));
    ASSERT_TRUE(ServePosted());
    EXPECT_TRUE(portBuf.empty());
    EXPECT_TRUE(linkBuf.empty());
    pty.Write(std::string("a"));
    ASSERT_TRUE(ServeUntil([&] { return linkBuf.size() == 1; }));
    EXPECT_EQ(linkBuf[0], "a");
    EXPECT_EQ(portBuf, (std::vector<std::string>{"a"}));
    port.Close();
    port.UnRegisterLink(&link);
}

// ------------------------------------------------------------ batched settings on a device

TEST_F(PortPromises, EndUpdateAppliesTheBatchToTheOpenDevice)
{
    TComPort port;
    SetUpPort(port, TComEvents());
    port.Open();
    auto readBack = [&](const std::string& sent) {
        pty.Write(sent);
        EXPECT_TRUE(ServeUntil([&] { return port.InputCount() == int32_t(sent.size()); }));
        return ReadAll(port);
    };
    port.BeginUpdate();
    port.SetDiscardNull(true);
    EXPECT_EQ(readBack(std::string("\0a", 2)), std::string("\0a", 2)) << "nothing applied inside the batch";
    port.EndUpdate();
    EXPECT_EQ(readBack(std::string("\0b", 2)), "b") << "the outermost EndUpdate applies it";
    port.Close();
}

// ------------------------------------------------------------ character form

TEST(PortTexts, CharacterFormNumbersWithinThirtyTwoBits)
{
    const std::pair<const char*, int> cases[] = {
        {"#-1", 255},          {"#65", 65},           {"#300", 44},         {"#2147483647", 255},
        {"#-2147483648", 0},   {"#2147483648", 0},    {"#4294967361", 0},   {"#-4294967295", 0},
        {"#99999999999999999999", 0},
    };
    for (const auto& [text, code] : cases)
        EXPECT_EQ(uint8_t(StrToChar(text)), code) << text;
}

TEST(PortList, AReadErrorPartWayRaisesCode23AndKeepsTheList)
{
    struct RestoreReader {
        ~RestoreReader() { platform::SetDirectoryReader({}); }
    } restore;
    platform::SetDirectoryReader([](const std::string&, std::vector<std::string>& names, int* error) {
        names = {"ttyUSB0"};
        *error = EIO;
        return false;
    });
    std::vector<std::string> ports{"kept"};
    try {
        EnumComPorts(ports);
        FAIL() << "a partial list must not pass as the list";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 23);
        EXPECT_EQ(e.WinCode(), EIO);
    }
    EXPECT_EQ(ports, std::vector<std::string>{"kept"});
}
