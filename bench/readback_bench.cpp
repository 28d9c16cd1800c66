// The configuration read-back against a simulated repeater that answers at
// once, in real time: wall time of a whole read against the floor the
// protocol sets (one 20 ms receive tick per reply; the read has no pauses),
// and the CPU time the program spends per reply.
//   readback_bench [reads] [show-seconds]
// With show-seconds the windows stay on screen that long after the reads,
// the last report in view (run it with QT_QPA_PLATFORM=xcb to look at them).
#include "ProgramRun.h"
#include "app/Main.h"
#include "platform/Clock.h"
#include "link/Responses.h"
#include "link/Serial.h"
#include "tools/Readconfig.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

// Runs the event loop (sleeping while nothing is due) until pred() holds.
template <class Pred>
bool ServeUntil(Pred pred, double seconds)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (pred())
            loop.quit();
    });
    check.start(2);
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    if (!pred())
        loop.exec();
    return pred();
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const int reads = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const double showSeconds = argc > 2 ? std::atof(argv[2]) : 0;

    bench::ProgramRun run;
    sim::Repeater& repeater = run.repeater;
    TformMain* form = run.Start();
    run.SelectRepeater(0.5);
    form->menuReadConfigClick();
    TformReadConfig* window = formReadConfig;
    // For comparison: the same second with the program idle and polling the
    // signal strength.
    const double idle0 = bench::CpuSeconds();
    ServeUntil([] { return false; }, 1.0);
    const double idleCpu = bench::CpuSeconds() - idle0;

    constexpr int kReplies = 27;
    const double floor = kReplies * 0.020;
    double wallSum = 0, cpuSum = 0, best = 1e9;
    for (int r = 0; r < reads; ++r) {
        window->btnClearClick();
        const double cpu0 = bench::CpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        window->btnReadClick();
        ServeUntil([&] { return form->opState == osIdle; }, 60);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double cpu = bench::CpuSeconds() - cpu0;
        wallSum += wall;
        cpuSum += cpu;
        best = std::min(best, wall);
        if (window->boxResults->count() != kReplies + 6)
            std::fprintf(stderr, "read %d: %d lines, status %s\n", r, window->boxResults->count(),
                         form->StatusText().c_str());
    }
    const double wall = wallSum / reads;
    std::printf("read-back of %d items, %d reads: mean %.3f s (best %.3f s); floor %.3f s; ratio %.3f\n", kReplies,
                reads, wall, best, floor, wall / floor);
    std::printf("overhead above the floor: %.2f ms per reply; CPU time: %.2f ms per reply\n",
                (wall - floor) * 1000.0 / kReplies, cpuSum * 1000.0 / reads / kReplies);
    std::printf("CPU time idle: %.1f ms per second; during the read: %.1f ms per second\n", idleCpu * 1000.0,
                cpuSum * 1000.0 / wallSum);
    std::printf("status: %s\n", form->StatusText().c_str());

    if (showSeconds > 0) {
        window->move(form->x() + 80, form->y() + 60);
        window->raise();
        ServeUntil([] { return false; }, showSeconds);
    }

    // The reply step alone: each entry's reply handed to the handler as the
    // receive tick does (formatter, report line, the next request written).
    std::vector<TMsgRecord> replies;
    for (const TReadConfigItem& item : window->items) {
        const bool clock = item.itemCode == 0xFF;
        const std::vector<uint8_t> args = clock ? std::vector<uint8_t>{} : std::vector<uint8_t>{item.itemCode};
        const auto response = repeater.Handle(clock ? 0xD2 : 0xC8, args, platform::MonotonicMs());
        TMsgRecord m;
        m.data[m.length++] = 0xA8;
        for (uint8_t b : response.replies.at(0).message)
            m.data[m.length++] = b;
        replies.push_back(m);
    }
    constexpr int kRounds = 10;
    double stepSeconds = 0;
    for (int r = 0; r < kRounds; ++r) {
        window->btnClearClick();
        form->opState = osReadConfig;
        window->itemIndex = 0;
        for (const TMsgRecord& m : replies) {
            const auto t0 = std::chrono::steady_clock::now();
            ProcessRxMessage(form, &m);
            stepSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        }
        ServeUntil([] { return false; }, 0.1); // let the simulator take the requests
    }
    std::printf("reply step alone: %.3f ms per reply (%d replies)\n", stepSeconds * 1000.0 / (kRounds * kReplies),
                kRounds * kReplies);

    return 0;
}
