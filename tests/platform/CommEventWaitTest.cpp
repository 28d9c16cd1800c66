// The event wait sleeps until something happens: no periodic wake-ups on an
// idle port or after a write, the output queue sampled only while it drains
// (through the kernel seam, since a pty's queue is always empty); bytes that
// come after a read or a purge on another thread are heard, however the two
// interleave (the seam puts the read exactly between the wait's looks); and
// the refusals of the device calls (null buffers, 1.5 stop bits).
#include "platform/CommDevice.h"
#include "platform/CommKernel.h"
#include "support/Pty.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <thread>

#include <gtest/gtest.h>

namespace comm = platform::comm;
using comm::WaitResult;

namespace {

long VoluntarySwitches()
{
    rusage u {};
    getrusage(RUSAGE_THREAD, &u);
    return u.ru_nvcsw;
}

class CommEventWait : public ::testing::Test {
protected:
    void SetUp() override
    {
        h_ = comm::Open(pty_.SlavePath());
        ASSERT_NE(h_, comm::kInvalidHandle) << comm::LastErrorDetail();
        ASSERT_TRUE(comm::SetTimeouts(h_, {comm::kNoLimit, 0, 0, 100, 1000}));
    }
    void TearDown() override
    {
        comm::Kernel() = saved_;
        comm::Close(h_);
    }

    void WriteNow(const std::string& s)
    {
        comm::Overlapped ov;
        uint32_t done = 0;
        ASSERT_TRUE(comm::Write(h_, s.data(), uint32_t(s.size()), &done, &ov) ||
                    comm::LastError() == comm::kErrorIoPending);
        ASSERT_TRUE(comm::GetResult(h_, &ov, &done, true));
        ASSERT_EQ(done, s.size());
    }

    // What waits, read at once (the fixture's read time-outs never wait).
    std::string ReadAll()
    {
        std::string s(64, '\0');
        comm::Overlapped ov;
        uint32_t done = 0;
        EXPECT_TRUE(comm::Read(h_, s.data(), uint32_t(s.size()), &done, &ov)) << comm::LastError();
        s.resize(done);
        return s;
    }

    void AwaitWaiting(uint32_t n)
    {
        comm::Status status;
        for (int i = 0; i < 5000 && comm::ClearErrors(h_, nullptr, &status) && status.InQueue < n; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(status.InQueue, n);
    }

    // The wait runs on a thread of its own, as the event thread's does; one
    // that nothing wakes is stopped after 10 s and reports Stopped.
    WaitResult WaitOnAThread(int timeoutMs, uint32_t* fired)
    {
        platform::Event stop, done;
        WaitResult result = WaitResult::Failed;
        std::thread waiter([&] {
            onWaiter = true;
            result = comm::WaitEvent(h_, &stop, timeoutMs, fired);
            done.Set();
        });
        if (!done.Wait(10000))
            stop.Set();
        waiter.join();
        return result;
    }

    static thread_local bool onWaiter;
    comm::KernelCalls saved_ = comm::Kernel();
    Pty pty_;
    comm::Handle h_ = comm::kInvalidHandle;
};

thread_local bool CommEventWait::onWaiter = false;

} // namespace

TEST_F(CommEventWait, AnIdlePortSleepsThroughTheWholeWait)
{
    // Before and after a write; with the events the program asks for and with
    // a mask whose other members a pty cannot raise.
    struct Case {
        const char* what;
        uint32_t mask;
        bool write;
    };
    const Case cases[] = {
        {"receive only", comm::evbRxChar, false},
        {"receive only, after a write", comm::evbRxChar, true},
        {"receive and flag, after a write", comm::evbRxChar | comm::evbRxFlag | comm::evbRx80Full, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(comm::SetEventMask(h_, c.mask));
        if (c.write) {
            WriteNow("ping");
            pty_.Read(4);
        }
        const long before = VoluntarySwitches();
        uint32_t fired = 0;
        EXPECT_EQ(comm::WaitEvent(h_, nullptr, 300, &fired), WaitResult::TimedOut);
        EXPECT_LE(VoluntarySwitches() - before, 3) << "woken up without cause";
    }
}

TEST_F(CommEventWait, TxEmptySamplesTheOutputQueueOnlyWhileItDrains)
{
    std::atomic<int> queued{0}, samples{0};
    comm::Kernel().outQueue = [&](int, int* count) {
        ++samples;
        *count = queued;
        return 0;
    };
    ASSERT_TRUE(comm::SetEventMask(h_, comm::evbTxEmpty));
    uint32_t fired = 0;
    EXPECT_EQ(comm::WaitEvent(h_, nullptr, 50, &fired), WaitResult::TimedOut) << "nothing was written";
    EXPECT_EQ(samples, 0);

    queued = 500; // what a UART at 9600 baud still holds half a second on
    WriteNow("0123456789");
    const long before = VoluntarySwitches();
    EXPECT_EQ(comm::WaitEvent(h_, nullptr, 300, &fired), WaitResult::TimedOut);
    EXPECT_GT(samples, 3);
    EXPECT_LT(samples, 100) << "sampled on a timer, not in a loop";
    EXPECT_LT(VoluntarySwitches() - before, 100);

    queued = 0;
    EXPECT_EQ(comm::WaitEvent(h_, nullptr, 2000, &fired), WaitResult::Fired);
    EXPECT_EQ(fired, comm::evbTxEmpty);
    const int after = samples;
    EXPECT_EQ(comm::WaitEvent(h_, nullptr, 100, &fired), WaitResult::TimedOut) << "reported once";
    EXPECT_EQ(samples, after);
}

TEST_F(CommEventWait, ModemLinesOfARealUartAreReported)
{
    // A pty has no lines; the seam answers as a UART whose CTS rises.
    std::atomic<int> lines{0};
    comm::Kernel().modemLines = [&](int, int* value) {
        *value = lines;
        return 0;
    };
    comm::Close(h_);
    h_ = comm::Open(pty_.SlavePath()); // lines are looked for at open
    ASSERT_NE(h_, comm::kInvalidHandle);
    ASSERT_TRUE(comm::SetEventMask(h_, comm::evbCts | comm::evbDsr));
    uint32_t fired = 0;
    EXPECT_EQ(comm::WaitEvent(h_, nullptr, 60, &fired), WaitResult::TimedOut);
    lines = TIOCM_CTS;
    EXPECT_EQ(comm::WaitEvent(h_, nullptr, 2000, &fired), WaitResult::Fired);
    EXPECT_EQ(fired, comm::evbCts);
    uint32_t status = 0;
    ASSERT_TRUE(comm::GetModemStatus(h_, &status));
    EXPECT_EQ(status, comm::msCts);
    // A ring is reported as it ends, not as it starts; the ring line is no carrier.
    ASSERT_TRUE(comm::SetEventMask(h_, comm::evbRing | comm::evbRlsd));
    lines = TIOCM_CTS | TIOCM_RNG;
    EXPECT_EQ(comm::WaitEvent(h_, nullptr, 60, &fired), WaitResult::TimedOut);
    ASSERT_TRUE(comm::GetModemStatus(h_, &status));
    EXPECT_EQ(status, comm::msCts | comm::msRing);
    lines = TIOCM_CTS;
    EXPECT_EQ(comm::WaitEvent(h_, nullptr, 2000, &fired), WaitResult::Fired);
    EXPECT_EQ(fired, comm::evbRing);
}

TEST_F(CommEventWait, BytesAfterAReadBetweenTheWaitsLooksAreHeard)
{
    // Each turn of the wait looks at the input count twice. "abc" waits; the
    // seam lets another thread read it right after one look of the first
    // turn, and "def" arrives once the next look has answered.
    struct Case {
        const char* what;
        int look;      // of the first turn, after which "abc" is read
        int timeoutMs; // of the wait
        int waits;     // until "def" is reported: the second look still saw "abc"
    };
    const Case cases[] = {
        {"after the first look, a wait without time-out", 1, -1, 1},
        {"after the first look, a wait with a time-out", 1, 3000, 1},
        {"after the second look", 2, 3000, 2},
    };
    ASSERT_TRUE(comm::SetEventMask(h_, comm::evbRxChar));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        pty_.Write(std::string("abc"));
        AwaitWaiting(3);
        std::atomic<int> looks{0};
        comm::Kernel().inQueue = [&, real = saved_.inQueue](int fd, int* count) {
            const int result = real(fd, count);
            const int look = onWaiter ? ++looks : 0;
            if (look == c.look)
                std::thread([&] { EXPECT_EQ(ReadAll(), "abc"); }).join();
            if (look == c.look + 1)
                pty_.Write(std::string("def"));
            return result;
        };
        for (int i = 0; i < c.waits; ++i) {
            uint32_t fired = 0;
            EXPECT_EQ(WaitOnAThread(c.timeoutMs, &fired), WaitResult::Fired) << "wait " << i;
            EXPECT_EQ(fired, comm::evbRxChar);
        }
        comm::Kernel().inQueue = saved_.inQueue;
        AwaitWaiting(3);
        EXPECT_EQ(ReadAll(), "def");
    }
}

TEST_F(CommEventWait, BytesAfterAnInputPurgeAreHeard)
{
    // "abc" is reported and purged; "def", as many bytes, comes next. A look
    // of the wait may fall within the purge.
    ASSERT_TRUE(comm::SetEventMask(h_, comm::evbRxChar));
    pty_.Write(std::string("abc"));
    AwaitWaiting(3);
    uint32_t fired = 0;
    ASSERT_EQ(WaitOnAThread(3000, &fired), WaitResult::Fired);
    comm::Kernel().flush = [&, real = saved_.flush](int fd, int queue) {
        uint32_t during = 0;
        EXPECT_EQ(WaitOnAThread(0, &during), WaitResult::TimedOut) << "abc was reported before";
        return real(fd, queue);
    };
    ASSERT_TRUE(comm::Purge(h_, comm::purgeRxClear));
    comm::Kernel().flush = saved_.flush;
    AwaitWaiting(0);
    pty_.Write(std::string("def"));
    AwaitWaiting(3);
    EXPECT_EQ(WaitOnAThread(3000, &fired), WaitResult::Fired);
    EXPECT_EQ(fired, comm::evbRxChar);
}

TEST_F(CommEventWait, NullBuffersFailWithoutTouchingMemory)
{
    struct Case {
        const char* what;
        bool write;
        uint32_t count;
        bool ok;
    };
    const Case cases[] = {
        {"read", false, 4, false}, {"write", true, 4, false}, {"empty read", false, 0, true}, {"empty write", true, 0, true}};
    pty_.Write(std::string("data"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        comm::Overlapped ov;
        uint32_t done = 99;
        const bool ok = c.write ? comm::Write(h_, nullptr, c.count, &done, &ov)
                                : comm::Read(h_, nullptr, c.count, &done, &ov);
        EXPECT_EQ(ok, c.ok);
        if (!c.ok) {
            EXPECT_EQ(comm::LastError(), EFAULT);
        }
        EXPECT_EQ(done, 0u);
    }
}

TEST_F(CommEventWait, OneAndAHalfStopBitsNeedFiveDataBits)
{
    for (uint8_t bits : {6, 7, 8}) {
        comm::DeviceControlBlock dcb;
        dcb.BaudRate = 9600;
        dcb.ByteSize = bits;
        dcb.StopBits = 1;
        dcb.Flags = comm::dcbBinary;
        EXPECT_FALSE(comm::SetState(h_, dcb)) << int(bits);
        EXPECT_EQ(comm::LastError(), EINVAL);
    }
}
