// The whole program against the simulator, in real time:
//   resident memory after start-up, CPU time connected to an idle unit,
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
#include <fstream>
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

    double cpu0 = CpuSeconds();
    ServeFor(idleSeconds);
    std::printf("connected, idle: %.3f s CPU over %.0f s (%.3f%%)\n", CpuSeconds() - cpu0, idleSeconds,
                100.0 * (CpuSeconds() - cpu0) / idleSeconds);

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
    // The protocol's own floor: a 0.25 s pause before each item and at least
    // one 20 ms receive tick for each reply (the calibration report included).
    const double floor = items * 0.25 + (items + 1) * 0.020;
    std::printf("full configuration of %d entries: %.3f s; floor %.3f s; ratio %.3f; overhead %.2f ms per item\n",
                items, wall, floor, wall / floor, (wall - floor) * 1000.0 / items);
    std::printf("status: %s\n", form->StatusText().c_str());

    form->portVigilator->Close();
    delete form;
    std::system((std::string("rm -rf ") + dir).c_str());
    return 0;
}
