// The message log at length: LogFrame appends up to 200,000 lines (the log
// is never trimmed; about a day of traffic) with the window shown. Prints the
// cost of an append at several lengths, in a burst and as one receive tick
// (append and the event loop's pass: painting the rows in sight), and the
// memory the lines take. Both costs should not grow with the lines.
//   msglog_bench [lines]
#include "link/Serial.h"
#include "tools/LogListView.h"
#include "tools/Msglog.h"

#include <QApplication>
#include <QCheckBox>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

long ResidentKb()
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

// The traffic of a quiet day: keep-alives, signal-strength polls and their
// replies, now and then a longer record.
TMsgRecord Traffic(int i)
{
    static const std::vector<std::vector<uint8_t>> kinds = {
        {0xC0, 0x7A, 0xCC, 0x12, 0x34, 0x56, 0x00},
        {0x7B, 0xCD, 0x12, 0x34, 0x56, 0x00, 0x01, 0x10},
        {0xC0, 0x3A, 0x02},
        {0x3A, 0x0F, 0xA0, 0x00},
        {0xC0, 0x78},
        {0x78, 0x00, 0x12, 0x34, 0x56, 0x00, 0x00, 0x24, 0x1F},
        {0xC0, 0xA7, 0xC8, 0x12, 0x34, 0x56, 0x0D},
        {0xA8, 0xC9, 0x12, 0x34, 0x56, 0x0D, 0x05, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18},
    };
    const auto& k = kinds[size_t(i) % kinds.size()];
    TMsgRecord m;
    m.length = uint16_t(k.size());
    std::copy(k.begin(), k.end(), m.data);
    m.data[k.size() > 3 ? 3 : 0] ^= uint8_t(i);
    return m;
}

double Microseconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int total = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 200000;

    auto* w = new TformMsgLog(nullptr);
    formMsgLog = w;
    w->show();
    QCoreApplication::processEvents();
    const long rssBefore = ResidentKb();

    // Between the marks the lines go in as a burst (the event loop runs every
    // 100 appends); at each mark 1000 appends are timed one by one with the
    // event loop run after each, as the program's receive tick does.
    std::printf("%10s %14s %12s %12s %12s\n", "lines", "burst us/line", "tick mean", "tick median", "tick max");
    const std::vector<int> marks = {1000, 10000, 50000, 100000, 150000, 200000};
    int n = 0;
    double burstUs = 0;
    int burstLines = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int mark : marks) {
        if (mark > total)
            break;
        const int fillTo = mark - 1000;
        const auto f0 = std::chrono::steady_clock::now();
        const int before = n;
        while (n < fillTo) {
            const TMsgRecord m = Traffic(n++);
            LogFrame(w, &m);
            if (n % 100 == 0)
                QCoreApplication::processEvents();
        }
        QCoreApplication::processEvents();
        burstUs += Microseconds(std::chrono::steady_clock::now() - f0);
        burstLines += n - before;
        std::vector<double> ticks;
        while (n < mark) {
            const TMsgRecord m = Traffic(n++);
            const auto t0 = std::chrono::steady_clock::now();
            LogFrame(w, &m);
            QCoreApplication::processEvents();
            ticks.push_back(Microseconds(std::chrono::steady_clock::now() - t0));
        }
        std::sort(ticks.begin(), ticks.end());
        double sum = 0;
        for (double v : ticks)
            sum += v;
        std::printf("%10d %14.2f %12.1f %12.1f %12.1f\n", n, burstLines ? burstUs / burstLines : 0.0,
                    sum / double(ticks.size()), ticks[ticks.size() / 2], ticks.back());
    }
    const double wall = Microseconds(std::chrono::steady_clock::now() - start) / 1e6;
    const long rssAfter = ResidentKb();
    std::printf("total %d lines in %.2f s\n", n, wall);
    std::printf("memory: lines %.2f MB in the model (%.1f bytes per line), process resident +%.1f MB\n",
                double(w->lines->MemoryUsed()) / 1e6, double(w->lines->MemoryUsed()) / n,
                double(rssAfter - rssBefore) / 1024.0);
    std::printf("bottom line shown: %s\n", w->viewMsgLog->indexAt(QPoint(4, w->viewMsgLog->viewport()->height() - 8))
                                                   .data()
                                                   .toString()
                                                   .toLatin1()
                                                   .constData());

    // The same append with Pause ticked.
    w->checkPause->setChecked(true);
    const auto p0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 1000; ++i) {
        const TMsgRecord m = Traffic(i);
        LogFrame(w, &m);
        QCoreApplication::processEvents();
    }
    std::printf("paused at %d lines: %.1f us per tick\n", n,
                Microseconds(std::chrono::steady_clock::now() - p0) / 1000.0);
    delete w;
    return 0;
}
