#include "platform/TerminationSignals.h"

#include "platform/Exception.h"
#include "platform/ExceptionDisplay.h"

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

// One watcher at a time: the handler can reach only globals.
int gWriteEnd = -1;
int gReadEnd = -1;
std::array<struct sigaction, 3> gPrevious {};

extern "C" void OnTerminationSignal(int signal)
{
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // A full pipe loses only a repeat of a signal already waiting.
    [[maybe_unused]] const ssize_t n = ::write(gWriteEnd, &number, 1);
    errno = saved;
}

} // namespace

const std::vector<int>& TerminationSignals::Watched()
{
    static const std::vector<int> watched = {SIGTERM, SIGINT, SIGHUP};
    return watched;
}

TerminationSignals::TerminationSignals(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler))
{
    if (gWriteEnd >= 0)
        throw Exception("Termination signals are already being watched");
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        throw Exception(std::string("Cannot watch termination signals: ") + std::strerror(errno));
    gReadEnd = ends[0];
    gWriteEnd = ends[1];
    notifier_ = new QSocketNotifier(gReadEnd, QSocketNotifier::Read, this);
    QObject::connect(notifier_, &QSocketNotifier::activated, this, [this] { Drain(); });

    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (std::size_t i = 0; i < Watched().size(); ++i)
        ::sigaction(Watched()[i], &action, &gPrevious[i]);
}

TerminationSignals::~TerminationSignals()
{
    for (std::size_t i = 0; i < Watched().size(); ++i)
        ::sigaction(Watched()[i], &gPrevious[i], nullptr);
    delete notifier_;
    ::close(gReadEnd);
    ::close(gWriteEnd);
    gReadEnd = gWriteEnd = -1;
}

void TerminationSignals::Drain()
{
    unsigned char numbers[16];
    for (;;) {
        const ssize_t n = ::read(gReadEnd, numbers, sizeof numbers);
        if (n <= 0)
            return;
        for (ssize_t i = 0; i < n; ++i)
            if (handler_)
                Guarded([&] { handler_(numbers[i]); });
    }
}

} // namespace platform
