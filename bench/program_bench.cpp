// The whole program against the simulator, in real time:
//   resident memory after start-up, CPU time connected to an idle unit and
//   the wake-ups per second of each thread meanwhile (the simulator runs on
//   the main thread, so its wake-ups count there),
//   the wall time of a full configuration against a repeater that answers at
//   once (and the floor the protocol sets), CPU time while a repeater is
//   selected and polled for its signal strength.
//   program_bench [idle-seconds] [poll-seconds]
#include "app/Main.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/ExceptionDisplay.h"
#include "platform/Modal.h"
#include "platform/Registry.h"
#include "StartUpSettings.h"
#include "sim/InterfaceUnit.h"

#include <QApplication>
#include <QDialog>
#include <QListWidget>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

double CpuSeconds()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long ResidentKb()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key)
        if (key == "VmRSS:" && status >> value)
            return value;
    return 0;
}

// Context switches (voluntary and not) of each thread of this process, by
// thread id, with the thread's name: each voluntary one is a sleep and the
// wake-up that ends it.
struct ThreadSwitches {
    std::string name;
    long switches = 0;
};

std::map<int, ThreadSwitches> Switches()
{
    std::map<int, ThreadSwitches> threads;
    DIR* dir = opendir("/proc/self/task");
    if (!dir)
        return threads;
    while (dirent* entry = readdir(dir)) {
        const int tid = std::atoi(entry->d_name);
        if (tid <= 0)
            continue;
        const std::string base = std::string("/proc/self/task/") + entry->d_name;
        ThreadSwitches t;
        std::ifstream comm(base + "/comm");
        std::getline(comm, t.name);
        std::ifstream status(base + "/status");
        std::string line;
        while (std::getline(status, line)) {
            std::istringstream fields(line);
            std::string key;
            long value = 0;
            if (fields >> key >> value && (key == "voluntary_ctxt_switches:" || key == "nonvoluntary_ctxt_switches:"))
                t.switches += value;
        }
        threads[tid] = t;
    }
    closedir(dir);
    return threads;
}

void PrintWakeUps(const std::map<int, ThreadSwitches>& before, const std::map<int, ThreadSwitches>& after,
                  double seconds, int mainTid)
{
    for (const auto& [tid, t] : after) {
        const auto was = before.find(tid);
        const long n = t.switches - (was == before.end() ? 0 : was->second.switches);
        std::printf("  thread %d (%s%s): %.2f wake-ups/s\n", tid, t.name.c_str(), tid == mainTid ? ", main" : "",
                    double(n) / seconds);
    }
}

void ServeFor(double seconds)
{
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

template <class Pred>
bool ServeUntil(Pred pred, double seconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!pred() && std::chrono::steady_clock::now() < end)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return pred();
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const double idleSeconds = argc > 1 ? std::atof(argv[1]) : 60;
    const double pollSeconds = argc > 2 ? std::atof(argv[2]) : 30;

    char dir[] = "/tmp/kvt-bench-XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    platform::SetRegistryFile(std::string(dir) + "/registry.txt");
    sim::InterfaceUnit unit;
    unit.AddRepeater(0x123456);
    auto pump = [&] { unit.Pump(platform::MonotonicMs()); };
    QSocketNotifier notifier(unit.MasterFd(), QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, pump);
    StoreStartUpSettings(std::string(dir) + "/registry.txt");
    {
        TRegistry reg;
        reg.OpenKey("\\Software\\Drosen\\KVT Config Tool\\portVigilator", true);
        reg.WriteString("Port", unit.SlavePath());
        reg.WriteString("BaudRate", "115200");
        reg.CloseKey();
    }
    platform::SetModalHook([](QDialog&) { return 0; });
    platform::SetMessageDlgHook([](const std::string& text, platform::MsgDlgType, uint32_t) {
        std::fprintf(stderr, "dialog: %s\n", text.c_str());
        return int(platform::mrOk);
    });
    platform::SetBeepHook([](uint32_t) {});

    auto* form = new TformMain();
    formMain = form;
    form->show();
    ServeUntil([&] { return form->boxRepeaters->count() == 1; }, 10);
    std::printf("resident memory after start-up: %ld kB\n", ResidentKb());

    ServeFor(1); // the first discovery cycle settles
    const auto switches0 = Switches();
    double cpu0 = CpuSeconds();
    ServeFor(idleSeconds);
    const double idleCpu = CpuSeconds() - cpu0;
    const auto switches1 = Switches();
    std::printf("connected, idle: %.3f s CPU over %.0f s (%.3f%% of one core)\n", idleCpu, idleSeconds,
                100.0 * idleCpu / idleSeconds);
    PrintWakeUps(switches0, switches1, idleSeconds, int(getpid()));

    // Select the repeater and let the signal-strength poll run.
    form->boxRepeaters->setCurrentRow(0);
    form->boxRepeatersClick();
    cpu0 = CpuSeconds();
    ServeFor(pollSeconds);
    std::printf("repeater selected and polled: %.3f s CPU over %.0f s (%.3f%%)\n", CpuSeconds() - cpu0, pollSeconds,
                100.0 * (CpuSeconds() - cpu0) / pollSeconds);

    // A full configuration.
    form->adminOptions = 1 | 2;
    form->distOptions = 1;
    form->ShowConfigurationTab(true);
    form->ShowEngineeringTab(true);
    form->editSerialNum->setText("9247");
    form->editEcuNum->setText("BEEF");
    int items = 0;
    for (auto& item : form->configItems) {
        item.box->setChecked(!item.box->isHidden());
        items += item.box->isChecked();
    }
    const auto t0 = std::chrono::steady_clock::now();
    form->btnConfigClick();
    ServeUntil([&] { return form->opState == osIdle; }, 120);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    // The protocol's own floor: a 0.25 s pause before each item. (A reply
    // that wakes the sleeping receive service is taken at once, not at its
    // next 20 ms tick.)
    const double floor = items * 0.25;
    std::printf("full configuration of %d entries: %.3f s; floor %.3f s; ratio %.3f; overhead %.2f ms per item\n",
                items, wall, floor, wall / floor, (wall - floor) * 1000.0 / items);
    std::printf("status: %s\n", form->StatusText().c_str());

    form->portVigilator->Close();
    delete form;
    std::system((std::string("rm -rf ") + dir).c_str());
    return 0;
}
