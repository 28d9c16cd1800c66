#pragma once
// SIGTERM, SIGINT and SIGHUP (a logout, a shutdown, Ctrl+C in the terminal)
// turned into a call on the user-interface thread, so that the program can
// close the way its close box does: the signal handler only writes the
// signal's number into a pipe, and a socket notifier on the pipe's other end
// makes the call from the event loop.
#include <QObject>
#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace platform {

class TerminationSignals : public QObject {
public:
    using Handler = std::function<void(int signal)>;

    // Takes over the three signals until destroyed; `handler` runs on the
    // thread that created this object, once per signal received. After the
    // first one the signals have their default action again, so a second
    // Ctrl+C ends a program that does not close.
    explicit TerminationSignals(Handler handler, QObject* parent = nullptr);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    static const std::vector<int>& Watched();

private:
    void Drain();

    Handler handler_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace platform
