#pragma once
// The program as the benchmarks run it: against a simulated interface unit
// with one repeater, in real time, with a settings key of its own in a
// temporary folder and every dialog answered at once.
#include "sim/InterfaceUnit.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <chrono>
#include <memory>
#include <string>

class QSocketNotifier;
class TformMain;

namespace bench {

// CPU time (user and system) this process has used so far.
double CpuSeconds();

// Serves events until pred() holds or `seconds` have passed.
template <class Pred>
bool ServeUntil(Pred pred, double seconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!pred() && std::chrono::steady_clock::now() < end)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return pred();
}

class ProgramRun {
    // First: the settings move there before anything else is made.
    std::string dir_;

public:
    // Makes the folder (exits with 1 when it cannot) and the simulator,
    // served on the main thread; the repeater can be set up before Start().
    ProgramRun();
    // Closes the port, deletes the main window and removes the folder.
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // Stores the settings of a first run with the simulator's port, answers
    // the dialogs and shows the main window until it lists the repeater.
    TformMain* Start();
    // Selects the listed repeater and serves its polls for `settleSeconds`.
    void SelectRepeater(double settleSeconds);

    sim::InterfaceUnit unit;
    sim::Repeater& repeater;
    TformMain* form = nullptr;

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace bench
