// The tool reads against a simulator that answers at once, in real time:
//   Read All of the debug counters and logs (119 requests), and a read of the
//   logger database (255 entries by default), each as a ratio to the floor the
//   protocol sets (one 20 ms receive tick per reply, 0.25 s between database
//   entries) and as our own time per reply above that floor.
//   tools_bench [entries]
#include "ProgramRun.h"
#include "app/Main.h"
#include "tools/Readdebuglogs.h"
#include "tools/Rftest.h"

#include <QApplication>
#include <QTreeWidget>
#include <chrono>
#include <cstdio>
#include <algorithm>
#include <cstdlib>

namespace {

using bench::ServeUntil;

double Since(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void Report(const char* what, int replies, double wall, double floor)
{
    std::printf("%s: %.3f s; floor %.3f s; ratio %.3f; overhead %.2f ms per reply (%d replies)\n", what, wall, floor,
                wall / floor, (wall - floor) * 1000.0 / replies, replies);
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const int entries = argc > 1 ? std::clamp(std::atoi(argv[1]), 1, 255) : 255;

    bench::ProgramRun run;
    std::vector<sim::LoggerEntry> loggers(static_cast<size_t>(entries));
    for (int i = 0; i < entries; ++i) {
        loggers[size_t(i)].serial = uint32_t(1000 + i);
        loggers[size_t(i)].patrolTime = uint32_t(1700000000 + i);
        loggers[size_t(i)].flags = uint8_t(i);
    }
    run.repeater.SetLoggers(loggers);
    TformMain* form = run.Start();
    run.SelectRepeater(0.5);

    form->menuViewLogsClick();
    auto t0 = std::chrono::steady_clock::now();
    formDebugLogs->btnReadAllClick();
    ServeUntil([&] { return form->opState == osIdle; }, 120);
    Report("Read All (7 counters, 7 logs of 16)", 119, Since(t0), 119 * 0.020);
    std::printf("  status: %s; relays sent: %zu\n", form->StatusText().c_str(), run.unit.RelaysWithCommand(0xC8).size() +
                                                                                  run.unit.RelaysWithCommand(0xEE).size());

    ServeUntil([] { return false; }, 0.5);
    t0 = std::chrono::steady_clock::now();
    StartReadDatabase(form);
    ServeUntil([&] { return form->opState == osIdle; }, 600);
    const double wall = Since(t0);
    // The count and each entry cost one receive tick; a pause comes between entries.
    Report("logger database read", entries + 1, wall, (entries + 1) * 0.020 + (entries - 1) * 0.25);
    std::printf("  status: %s; rows: %d\n", form->StatusText().c_str(), form->viewDatabase->topLevelItemCount());

    return 0;
}
