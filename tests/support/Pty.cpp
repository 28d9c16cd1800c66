#include "support/Pty.h"

#include <QCoreApplication>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <thread>
#include <unistd.h>

Pty::Pty(Line line)
{
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    slavePath_ = name;
    // The master's settings are the slave's: making one raw makes both.
    if (line == Line::Raw) {
        termios t {};
        tcgetattr(master_, &t);
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

Pty::~Pty()
{
    HangUp();
    if (slave_ >= 0)
        close(slave_);
}

void Pty::Write(const std::vector<uint8_t>& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += size_t(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p {master_, POLLOUT, 0};
            poll(&p, 1, 100);
        } else {
            throw std::runtime_error("pty master write failed");
        }
    }
}

void Pty::Write(const std::string& bytes) { Write(std::vector<uint8_t>(bytes.begin(), bytes.end())); }

std::vector<uint8_t> Pty::Read(size_t atLeast, int timeoutMs)
{
    std::vector<uint8_t> out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        uint8_t buf[4096];
        const ssize_t n = read(master_, buf, sizeof buf);
        if (n > 0) {
            out.insert(out.end(), buf, buf + n);
            continue;
        }
        if (out.size() >= atLeast || std::chrono::steady_clock::now() >= end)
            return out;
        pollfd p {master_, POLLIN, 0};
        poll(&p, 1, 10);
    }
}

void Pty::HangUp()
{
    if (master_ >= 0)
        close(master_);
    master_ = -1;
    // The test's own slave descriptor would keep nothing alive that matters,
    // but let it go too so the device can vanish.
    if (slave_ >= 0)
        close(slave_);
    slave_ = -1;
}

bool ServeUntilImpl(const std::function<bool()>& pred, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= end)
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void ServeFor(int ms)
{
    ServeUntilImpl([] { return false; }, ms);
}

bool ServePosted()
{
    auto ran = std::make_shared<bool>(false);
    QMetaObject::invokeMethod(QCoreApplication::instance(), [ran] { *ran = true; }, Qt::QueuedConnection);
    return ServeUntil([ran] { return *ran; });
}
