// Tests of the serial device calls (platform/CommDevice.h) on a pseudo-terminal:
// the test holds the master end, the code under test opens the slave by path.
#include "platform/CommDevice.h"
#include "platform/CommKernel.h"
#include "support/CommBaudCheck.h"
#include "support/Pty.h"
#include "support/TempDir.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <utility>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace comm = platform::comm;
using comm::WaitResult;

namespace {
thread_local termios lastSet {};
thread_local int setCount = 0;
} // namespace

// Records what the code under test hands the kernel, then passes it on: a
// pseudo-terminal keeps only part of it (it reads back as 8 bits without
// parity whatever was set).
extern "C" int tcsetattr(int fd, int action, const termios* t) noexcept
{
    using Real = int (*)(int, int, const termios*);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "tcsetattr"));
    if (t) {
        lastSet = *t;
        ++setCount;
    }
    return real(fd, action, t);
}

namespace {
// While set on a thread, a read there that would find nothing (a raw tty
// answers 0) fails instead, as on a device that goes away under it.
thread_local bool readsFailWhenEmpty = false;
} // namespace

extern "C" ssize_t read(int fd, void* buffer, size_t count)
{
    using Real = ssize_t (*)(int, void*, size_t);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "read"));
    const ssize_t n = real(fd, buffer, count);
    if (readsFailWhenEmpty && count > 0 && (n == 0 || (n < 0 && errno == EAGAIN))) {
        errno = EIO;
        return -1;
    }
    return n;
}

namespace {

int64_t RealMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t ThreadCpuMs()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

class CommDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        h_ = comm::Open(pty_.SlavePath());
        ASSERT_NE(h_, comm::kInvalidHandle) << comm::LastErrorDetail();
        // A second look at the same tty, without the lock, to see what the
        // device really holds.
        peek_ = ::open(pty_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(peek_, 0);
    }
    void TearDown() override
    {
        if (h_ != comm::kInvalidHandle)
            comm::Close(h_);
        if (peek_ >= 0)
            ::close(peek_);
    }

    termios Attributes() const
    {
        termios t {};
        EXPECT_EQ(tcgetattr(peek_, &t), 0);
        return t;
    }

    int Waiting() const
    {
        int n = -1;
        ioctl(peek_, FIONREAD, &n);
        return n;
    }

    // Bytes the master wrote cross to the slave asynchronously: wait until
    // at least n of them are there (an upper bound only).
    void AwaitInput(int n)
    {
        const int64_t end = RealMs() + 5000;
        while (Waiting() < n && RealMs() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_GE(Waiting(), n);
    }

    void ReadAtOnce() { ASSERT_TRUE(comm::SetTimeouts(h_, {comm::kNoLimit, 0, 0, 0, 0})); }

    std::string ReadNow(uint32_t count)
    {
        std::string buf(count, '\0');
        uint32_t done = 99999;
        comm::Overlapped ov;
        EXPECT_TRUE(comm::Read(h_, buf.data(), count, &done, &ov)) << comm::LastError();
        EXPECT_TRUE(ov.event.IsSet());
        buf.resize(std::min(done, count));
        return buf;
    }

    Pty pty_{Pty::Line::KernelDefaults};
    comm::Handle h_ = comm::kInvalidHandle;
    int peek_ = -1;
};

// ------------------------------------------------------------ open

TEST_F(CommDevice, SecondOpenIsRefusedUntilTheFirstCloses)
{
    EXPECT_EQ(comm::LastError(), 0);
    EXPECT_EQ(comm::Open(pty_.SlavePath()), comm::kInvalidHandle);
    EXPECT_EQ(comm::LastError(), EBUSY);
    EXPECT_NE(comm::LastErrorDetail().find(pty_.SlavePath()), std::string::npos);
    EXPECT_NE(comm::LastErrorDetail().find("in use by another program"), std::string::npos);

    ASSERT_TRUE(comm::Close(h_));
    EXPECT_FALSE(comm::Close(h_));
    EXPECT_EQ(comm::LastError(), EBADF);
    h_ = comm::Open(pty_.SlavePath());
    EXPECT_NE(h_, comm::kInvalidHandle) << comm::LastErrorDetail();
}

TEST(CommDeviceOpen, FailuresSayWhatAndWhere)
{
    EXPECT_EQ(comm::Open("ttyNoSuchPort97"), comm::kInvalidHandle);
    EXPECT_EQ(comm::LastError(), ENOENT);
    EXPECT_NE(comm::LastErrorDetail().find("/dev/ttyNoSuchPort97"), std::string::npos) << comm::LastErrorDetail();

    TempDir dir;
    std::ofstream(dir.File("plain")) << "not a tty";
    EXPECT_EQ(comm::Open(dir.File("plain")), comm::kInvalidHandle);
    EXPECT_EQ(comm::LastError(), ENOTTY);
    EXPECT_NE(comm::LastErrorDetail().find(dir.File("plain")), std::string::npos) << comm::LastErrorDetail();
    EXPECT_NE(comm::LastErrorDetail().find("not a serial device"), std::string::npos);
}

TEST(CommDeviceOpen, PermissionDeniedNamesTheOwningGroup)
{
    TempDir dir;
    const std::string node = dir.File("ttyUSB9");
    std::ofstream(node) << "";
    const group* dialout = getgrnam("dialout");
    const gid_t gid = dialout ? dialout->gr_gid : 20;
    ASSERT_EQ(chown(node.c_str(), uid_t(-1), gid), 0) << std::strerror(errno);
    const group* owner = getgrgid(gid);
    ASSERT_NE(owner, nullptr);
    const std::string name = owner->gr_name;

    const std::string text = comm::DescribeOpenFailure(node, EACCES);
    EXPECT_NE(text.find(node), std::string::npos) << text;
    EXPECT_NE(text.find("\"" + name + "\""), std::string::npos) << text;
    EXPECT_NE(text.find("usermod -aG " + name), std::string::npos) << text;
}

// ------------------------------------------------------------ line settings

TEST_F(CommDevice, SetStateMapsTheControlBlockOntoTermios)
{
    struct Case {
        uint8_t byteSize, parity, stopBits;
        uint32_t flags;
        tcflag_t csize, parityBits;
        bool cstopb, crtscts, ixon, ixoff, dtr;
    };
    const Case cases[] = {
        {8, 0, 0, 0, CS8, 0, false, false, false, false, false},
        {7, 1, 0, 0, CS7, PARENB | PARODD, false, false, false, false, false},
        {6, 2, 2, comm::dcbOutxCtsFlow, CS6, PARENB, true, true, false, false, false},
        {5, 3, 1, comm::dcbRtsControlHandshake, CS5, PARENB | PARODD | CMSPAR, true, true, false, false, false},
        {8, 4, 0, comm::dcbOutX, CS8, PARENB | CMSPAR, false, false, true, false, false},
        {8, 0, 2, comm::dcbInX | comm::dcbDtrControlEnable, CS8, 0, true, false, false, true, true},
    };
    // The DTR line as a UART would be told to set it.
    struct RestoreKernel {
        comm::KernelCalls saved = comm::Kernel();
        ~RestoreKernel() { comm::Kernel() = saved; }
    } restore;
    int dtr = -1;
    comm::Kernel().setLines = [&](int, bool on, int lines) {
        if (lines & TIOCM_DTR)
            dtr = on;
        return 0;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.byteSize) << " bits, parity " << int(c.parity) << ", stop "
                                        << int(c.stopBits) << ", flags " << c.flags);
        comm::DeviceControlBlock dcb;
        dcb.BaudRate = 115200;
        dcb.ByteSize = c.byteSize;
        dcb.Parity = c.parity;
        dcb.StopBits = c.stopBits;
        dcb.Flags = comm::dcbBinary | c.flags;
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
        const int calls = setCount;
        ASSERT_TRUE(comm::SetState(h_, dcb)) << comm::LastError();
        ASSERT_GT(setCount, calls);
        EXPECT_EQ(lastSet.c_cflag & CSIZE, c.csize);
        EXPECT_EQ(lastSet.c_cflag & (PARENB | PARODD | CMSPAR), c.parityBits);
        EXPECT_TRUE(lastSet.c_cflag & CREAD);
        EXPECT_TRUE(lastSet.c_cflag & CLOCAL);

        const termios t = Attributes();
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.cstopb);
        EXPECT_EQ((t.c_cflag & CRTSCTS) != 0, c.crtscts);
        EXPECT_EQ((t.c_iflag & IXON) != 0, c.ixon);
        EXPECT_EQ((t.c_iflag & IXOFF) != 0, c.ixoff);
        EXPECT_EQ(dtr, int(c.dtr));
        EXPECT_FALSE(t.c_lflag & (ICANON | ECHO));
        EXPECT_FALSE(t.c_iflag & ICRNL);
        EXPECT_FALSE(t.c_oflag & OPOST);
        EXPECT_EQ(t.c_cc[VMIN], 0);
        EXPECT_EQ(t.c_cc[VTIME], 0);
        EXPECT_EQ(t.c_cc[VSTART], 0x11);
        EXPECT_EQ(t.c_cc[VSTOP], 0x13);
        EXPECT_EQ(cfgetospeed(&t), speed_t(B115200));

        comm::DeviceControlBlock back;
        ASSERT_TRUE(comm::GetState(h_, back));
        if (c.byteSize != 5) { // a pty reads back 8 bits, so its 1.5 stop bits read as 2
            EXPECT_EQ(back.StopBits, c.stopBits);
        }
        EXPECT_EQ((back.Flags & comm::dcbOutxCtsFlow) != 0, c.crtscts);
        EXPECT_EQ(back.XoffChar, 0x13);
    }
}

TEST_F(CommDevice, RatesWithoutAConstantGoThroughTermios2)
{
    comm::DeviceControlBlock dcb;
    dcb.ByteSize = 8;
    for (uint32_t rate : {256000u, 14400u, 115200u}) {
        SCOPED_TRACE(rate);
        dcb.BaudRate = rate;
        ASSERT_TRUE(comm::SetState(h_, dcb)) << comm::LastError();
        EXPECT_EQ(ReadBackOtherBaud(peek_), rate);
    }
    const termios t = Attributes();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B115200));
    // Rates with a constant of their own take it.
    for (auto [rate, speed] : {std::pair {50u, speed_t(B50)}, {9600u, B9600}, {460800u, B460800},
                               {921600u, B921600}, {1000000u, B1000000}}) {
        SCOPED_TRACE(rate);
        dcb.BaudRate = rate;
        ASSERT_TRUE(comm::SetState(h_, dcb)) << comm::LastError();
        const termios u = Attributes();
        EXPECT_EQ(cfgetospeed(&u), speed);
    }
}

TEST_F(CommDevice, StandardRateAfterAnOtherRateSetsBothDirections)
{
    comm::DeviceControlBlock dcb;
    dcb.ByteSize = 8;
    dcb.BaudRate = 256000;
    ASSERT_TRUE(comm::SetState(h_, dcb));
    dcb.BaudRate = 115200;
    ASSERT_TRUE(comm::SetState(h_, dcb));
    EXPECT_EQ(ReadBackOtherBaud(peek_), 115200u);
    EXPECT_EQ(ReadBackInputBaud(peek_), 115200u);
}

TEST_F(CommDevice, InvalidControlBlockIsRefusedAndChangesNothing)
{
    comm::DeviceControlBlock good;
    good.BaudRate = 115200;
    good.ByteSize = 8;
    good.StopBits = 2;
    ASSERT_TRUE(comm::SetState(h_, good));
    const int calls = setCount;

    comm::DeviceControlBlock bad = good;
    for (uint8_t size : {0, 4, 9}) {
        bad.ByteSize = size;
        EXPECT_FALSE(comm::SetState(h_, bad));
        EXPECT_EQ(comm::LastError(), EINVAL);
    }
    bad = good;
    bad.Parity = 5;
    EXPECT_FALSE(comm::SetState(h_, bad));
    EXPECT_EQ(comm::LastError(), EINVAL);
    bad = good;
    bad.StopBits = 3;
    EXPECT_FALSE(comm::SetState(h_, bad));
    EXPECT_EQ(comm::LastError(), EINVAL);

    EXPECT_EQ(setCount, calls); // nothing reached the device
    EXPECT_TRUE(Attributes().c_cflag & CSTOPB);
}

TEST_F(CommDevice, ModemCallsSucceedOnADeviceWithoutLines)
{
    uint32_t status = 0xFFFF;
    EXPECT_TRUE(comm::GetModemStatus(h_, &status));
    EXPECT_EQ(status, 0u);
    for (uint32_t func : {comm::escSetDtr, comm::escClrDtr, comm::escSetRts, comm::escClrRts, comm::escSetBreak,
                          comm::escClrBreak}) {
        EXPECT_TRUE(comm::Escape(h_, func)) << func << ": " << comm::LastError();
    }
    EXPECT_FALSE(comm::Escape(h_, 77));
    EXPECT_EQ(comm::LastError(), EINVAL);
}

// ------------------------------------------------------------ read and write

TEST_F(CommDevice, ImmediateReadReturnsWhatWaitsAndNoMore)
{
    ReadAtOnce();
    EXPECT_EQ(ReadNow(16), "");
    pty_.Write("hello");
    AwaitInput(5);
    EXPECT_EQ(ReadNow(3), "hel");
    EXPECT_EQ(ReadNow(100), "lo");
    EXPECT_EQ(ReadNow(100), "");
}

TEST_F(CommDevice, ReadWithATotalTimeoutWaitsForLaterBytes)
{
    ASSERT_TRUE(comm::SetTimeouts(h_, {0, 0, 20000, 0, 0}));
    std::string buf(4, '\0');
    uint32_t done = 99;
    comm::Overlapped ov;
    ASSERT_FALSE(comm::Read(h_, buf.data(), 4, &done, &ov));
    ASSERT_EQ(comm::LastError(), comm::kErrorIoPending);
    EXPECT_EQ(done, 0u);
    EXPECT_FALSE(ov.event.IsSet());
    uint32_t transferred = 99;
    EXPECT_FALSE(comm::GetResult(h_, &ov, &transferred, false));
    EXPECT_EQ(comm::LastError(), comm::kErrorIoIncomplete);

    std::thread writer([&] {
        pty_.Write("WX");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        pty_.Write("YZ");
    });
    EXPECT_TRUE(comm::GetResult(h_, &ov, &transferred, true)) << comm::LastError();
    writer.join();
    EXPECT_EQ(transferred, 4u);
    EXPECT_EQ(buf, "WXYZ");
    EXPECT_TRUE(ov.event.IsSet());
}

TEST_F(CommDevice, TheReadIntervalStartsAtTheFirstByte)
{
    // Bytes that come after the interval but within the total are read: the
    // interval counts between bytes, not from the start of the read. With
    // both the interval and the multiplier all ones, a read ends as soon as
    // anything came, long before its total.
    const comm::Timeouts rows[] = {{50, 0, 500, 0, 0}, {comm::kNoLimit, comm::kNoLimit, 60000, 0, 0}};
    for (const comm::Timeouts& t : rows) {
        SCOPED_TRACE(t.ReadIntervalTimeout);
        ASSERT_TRUE(comm::SetTimeouts(h_, t));
        std::string buf(10, '\0');
        comm::Overlapped ov;
        ASSERT_FALSE(comm::Read(h_, buf.data(), 10, nullptr, &ov));
        ASSERT_EQ(comm::LastError(), comm::kErrorIoPending);
        std::thread writer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            pty_.Write("ab");
        });
        uint32_t transferred = 99;
        const int64_t end = RealMs() + 5000;
        bool ended = false;
        while (!(ended = comm::GetResult(h_, &ov, &transferred, false)) && RealMs() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        writer.join();
        ASSERT_TRUE(ended) << comm::LastError();
        EXPECT_EQ(transferred, 2u);
        EXPECT_EQ(buf.substr(0, transferred), "ab");
        ASSERT_TRUE(comm::Purge(h_, comm::purgeRxAbort | comm::purgeRxClear));
    }
}

TEST_F(CommDevice, CloseEndsAPendingRead)
{
    ASSERT_TRUE(comm::SetTimeouts(h_, {0, 0, 0, 0, 0}));
    char buf[8];
    comm::Overlapped ov;
    ASSERT_FALSE(comm::Read(h_, buf, sizeof buf, nullptr, &ov));
    ASSERT_EQ(comm::LastError(), comm::kErrorIoPending);
    const comm::Handle h = h_;
    h_ = comm::kInvalidHandle;
    std::thread closer([h] { comm::Close(h); });
    uint32_t transferred = 0;
    EXPECT_FALSE(comm::GetResult(h, &ov, &transferred, true));
    EXPECT_EQ(comm::LastError(), comm::kErrorOperationAborted);
    closer.join();
    // The lock went with the handle, though the descriptor lived on meanwhile.
    h_ = comm::Open(pty_.SlavePath());
    EXPECT_NE(h_, comm::kInvalidHandle) << comm::LastErrorDetail();
}

TEST_F(CommDevice, WriteDeliversEveryByte)
{
    std::vector<uint8_t> data(40000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 7 + i / 251);
    std::vector<uint8_t> received;
    std::thread reader([&] { received = pty_.Read(data.size(), 20000); });
    uint32_t done = 0;
    comm::Overlapped ov;
    if (!comm::Write(h_, data.data(), uint32_t(data.size()), &done, &ov)) {
        ASSERT_EQ(comm::LastError(), comm::kErrorIoPending);
        ASSERT_TRUE(comm::GetResult(h_, &ov, &done, true)) << comm::LastError();
    }
    reader.join();
    EXPECT_EQ(done, data.size());
    EXPECT_EQ(received, data);
}

TEST_F(CommDevice, WriteThatCannotFinishEndsByItsTimeout)
{
    ASSERT_TRUE(comm::SetTimeouts(h_, {0, 0, 0, 0, 300}));
    std::vector<uint8_t> data(70000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i % 253);
    uint32_t done = 0;
    comm::Overlapped ov;
    ASSERT_FALSE(comm::Write(h_, data.data(), uint32_t(data.size()), &done, &ov)); // the master never reads
    ASSERT_EQ(comm::LastError(), comm::kErrorIoPending);
    uint32_t transferred = 0;
    EXPECT_FALSE(comm::GetResult(h_, &ov, &transferred, false));
    EXPECT_EQ(comm::LastError(), comm::kErrorIoIncomplete);
    ASSERT_TRUE(comm::GetResult(h_, &ov, &transferred, true)) << comm::LastError();
    EXPECT_GT(transferred, 0u);
    EXPECT_LT(transferred, data.size());
    // What it reports as written is exactly what arrived.
    const std::vector<uint8_t> received = pty_.Read(transferred, 5000);
    EXPECT_EQ(received, std::vector<uint8_t>(data.begin(), data.begin() + transferred));
}

TEST_F(CommDevice, InputPurgeAlsoDropsTheBytesHeldForTheEventCharacter)
{
    ReadAtOnce();
    comm::DeviceControlBlock dcb;
    dcb.BaudRate = 115200;
    dcb.ByteSize = 8;
    dcb.EvtChar = '#';
    ASSERT_TRUE(comm::SetState(h_, dcb));
    ASSERT_TRUE(comm::SetEventMask(h_, comm::evbRxFlag));
    pty_.Write("abc");
    AwaitInput(3);
    uint32_t fired = 0;
    // The wait takes the bytes in to look for the character.
    EXPECT_EQ(comm::WaitEvent(h_, nullptr, 30, &fired), WaitResult::TimedOut);
    comm::Status status;
    ASSERT_TRUE(comm::ClearErrors(h_, nullptr, &status));
    ASSERT_EQ(status.InQueue, 3u);
    ASSERT_EQ(Waiting(), 0) << "held by the layer, not by the tty";
    // The held bytes are read even when the device fails behind them.
    readsFailWhenEmpty = true;
    EXPECT_EQ(ReadNow(32), "abc");
    readsFailWhenEmpty = false;
    pty_.Write("def");
    AwaitInput(3);
    EXPECT_EQ(comm::WaitEvent(h_, nullptr, 30, &fired), WaitResult::TimedOut);
    ASSERT_EQ(Waiting(), 0);
    ASSERT_TRUE(comm::Purge(h_, comm::purgeRxClear));
    ASSERT_TRUE(comm::ClearErrors(h_, nullptr, &status));
    EXPECT_EQ(status.InQueue, 0u);
    EXPECT_EQ(ReadNow(32), "");
}

TEST_F(CommDevice, PurgeDiscardsWaitingInput)
{
    ReadAtOnce();
    pty_.Write("stale bytes");
    AwaitInput(11);
    ASSERT_TRUE(comm::Purge(h_, comm::purgeRxClear | comm::purgeTxClear));
    EXPECT_EQ(Waiting(), 0);
    comm::Status status;
    ASSERT_TRUE(comm::ClearErrors(h_, nullptr, &status));
    EXPECT_EQ(status.InQueue, 0u);
    EXPECT_EQ(ReadNow(32), "");
}

// ------------------------------------------------------------ event wait

TEST_F(CommDevice, ReceivedDataFiresOnceUntilMoreArrives)
{
    ReadAtOnce();
    ASSERT_TRUE(comm::SetEventMask(h_, comm::evbRxChar));
    uint32_t fired = 0;
    pty_.Write("ab");
    AwaitInput(2);
    ASSERT_EQ(comm::WaitEvent(h_, nullptr, 5000, &fired), WaitResult::Fired);
    EXPECT_EQ(fired, uint32_t(comm::evbRxChar));
    // Nothing new: the same unread bytes are not reported again.
    EXPECT_EQ(comm::WaitEvent(h_, nullptr, 60, &fired), WaitResult::TimedOut);

    pty_.Write("c");
    AwaitInput(3);
    ASSERT_EQ(comm::WaitEvent(h_, nullptr, 5000, &fired), WaitResult::Fired);
    EXPECT_EQ(fired, uint32_t(comm::evbRxChar));

    // Read it all, then as many bytes as were waiting before arrive again.
    EXPECT_EQ(ReadNow(10), "abc");
    pty_.Write("xyz");
    AwaitInput(3);
    ASSERT_EQ(comm::WaitEvent(h_, nullptr, 5000, &fired), WaitResult::Fired);
    EXPECT_EQ(fired, uint32_t(comm::evbRxChar));
}

TEST_F(CommDevice, WaitEndsOnStopAndOnAMaskChange)
{
    uint32_t fired = 99;
    EXPECT_EQ(comm::WaitEvent(h_, nullptr, 10, &fired), WaitResult::Failed); // no mask: nothing to wait for
    ASSERT_TRUE(comm::SetEventMask(h_, comm::evbRxChar));

    platform::Event stop(true);
    EXPECT_EQ(comm::WaitEvent(h_, &stop, -1, &fired), WaitResult::Stopped);

    std::atomic<bool> ended{false};
    WaitResult result = WaitResult::TimedOut;
    std::thread waiter([&] {
        result = comm::WaitEvent(h_, nullptr, 20000, &fired);
        ended = true;
    });
    // The wait clears a change made before it began: repeat until it is woken.
    const int64_t end = RealMs() + 10000;
    while (!ended && RealMs() < end) {
        comm::SetEventMask(h_, comm::evbRxChar);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    waiter.join();
    EXPECT_EQ(result, WaitResult::Fired);
    EXPECT_EQ(fired, 0u);
}

TEST_F(CommDevice, HangUpEndsTheWaitPromptly)
{
    ASSERT_TRUE(comm::SetEventMask(h_, comm::evbRxChar | comm::evbTxEmpty));
    ::close(peek_);
    peek_ = -1;
    pty_.HangUp();
    const int64_t start = RealMs();
    uint32_t fired = 0;
    EXPECT_EQ(comm::WaitEvent(h_, nullptr, 10000, &fired), WaitResult::Failed);
    EXPECT_LT(RealMs() - start, 1000);
    EXPECT_FALSE(comm::LastErrorDetail().empty());

    const char byte = 'x';
    uint32_t done = 0;
    comm::Overlapped ov;
    EXPECT_FALSE(comm::Write(h_, &byte, 1, &done, &ov));
    EXPECT_EQ(comm::LastError(), EIO);
}

TEST_F(CommDevice, HangUpEndsAPendingRead)
{
    ASSERT_TRUE(comm::SetTimeouts(h_, {0, 0, 3000, 0, 0}));
    ::close(peek_);
    peek_ = -1;
    char buf[8];
    comm::Overlapped ov;
    ASSERT_FALSE(comm::Read(h_, buf, sizeof buf, nullptr, &ov));
    ASSERT_EQ(comm::LastError(), comm::kErrorIoPending);
    pty_.HangUp();
    const int64_t start = RealMs();
    const int64_t cpuStart = ThreadCpuMs();
    uint32_t transferred = 0;
    EXPECT_FALSE(comm::GetResult(h_, &ov, &transferred, true)); // the device has gone: the read fails
    EXPECT_LT(RealMs() - start, 1000);
    EXPECT_LT(ThreadCpuMs() - cpuStart, 500); // and does not spin meanwhile
    EXPECT_EQ(transferred, 0u);
}

TEST_F(CommDevice, AReadCutByAHangUpKeepsTheBytesItGot)
{
    // The device goes away after the read took some bytes: it hangs up
    // (reads then find nothing, poll says so), or a read fails outright.
    for (const bool readFails : {true, false}) {
        SCOPED_TRACE(readFails ? "the next read fails" : "hang-up");
        ASSERT_TRUE(comm::SetTimeouts(h_, {0, 0, 10000, 0, 0}));
        char buf[8] = {};
        comm::Overlapped ov;
        ASSERT_FALSE(comm::Read(h_, buf, sizeof buf, nullptr, &ov));
        ASSERT_EQ(comm::LastError(), comm::kErrorIoPending);
        pty_.Write("ab");
        AwaitInput(2);
        uint32_t transferred = 99;
        readsFailWhenEmpty = readFails;
        if (!readFails) {
            // A look without waiting takes them in; the read goes on for the rest.
            EXPECT_FALSE(comm::GetResult(h_, &ov, &transferred, false));
            EXPECT_EQ(comm::LastError(), comm::kErrorIoIncomplete);
            ::close(peek_);
            peek_ = -1;
            pty_.HangUp();
        }
        const int64_t start = RealMs();
        EXPECT_TRUE(comm::GetResult(h_, &ov, &transferred, true)) << comm::LastError();
        readsFailWhenEmpty = false;
        EXPECT_LT(RealMs() - start, 5000) << "the device's end ends the read, not its time-out";
        EXPECT_EQ(transferred, 2u);
        EXPECT_EQ(std::string(buf, 2), "ab");
    }
}

} // namespace

TEST_F(CommDevice, WaitForReceivedDataSleepsAfterAWrite)
{
    // A finished write concerns only a wait for evTxEmpty: a wait for received
    // data alone must not wake every few milliseconds for it.
    ASSERT_TRUE(comm::SetEventMask(h_, comm::evbRxChar));
    const char byte = 'x';
    uint32_t done = 0;
    comm::Overlapped ov;
    if (!comm::Write(h_, &byte, 1, &done, &ov)) {
        ASSERT_TRUE(comm::GetResult(h_, &ov, &done, true));
    }
    long switches = -1;
    std::thread waiter([&] {
        auto count = [] {
            std::ifstream status("/proc/thread-self/status");
            std::string key;
            long value = 0, sum = 0;
            while (status >> key)
                // Sleeps only: a busy machine preempts the thread as well.
                if (key == "voluntary_ctxt_switches:" && status >> value)
                    sum += value;
            return sum;
        };
        const long before = count();
        uint32_t fired = 0;
        comm::WaitEvent(h_, nullptr, 400, &fired);
        switches = count() - before;
    });
    waiter.join();
    EXPECT_LT(switches, 6) << "the wait woke " << switches << " times in 400 ms";
}
