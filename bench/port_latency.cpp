// Measures, on a pseudo-terminal: the latency from a byte written at the far
// end to the port's receive handler running on the user-interface thread, and
// the CPU time the process uses with an open, idle port.
//   port_latency [trips] [idle-seconds]
#include "RawPty.h"
#include "serial/PortCore.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int trips = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 10;

    RawPty pty;
    if (!pty.Open())
        return 1;

    TComPort port;
    port.SetPort(pty.name);
    port.SetBaudRate(br115200);
    port.SetEvents(TComEvents{evRxChar});
    Clock::time_point sent;
    std::vector<double> latencies;
    latencies.reserve(size_t(trips));
    bool arrived = false;
    port.OnRxChar = [&](QObject*, int32_t count) {
        latencies.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
        std::vector<uint8_t> buf(static_cast<size_t>(count));
        port.Read(buf.data(), count);
        arrived = true;
    };
    port.Open();

    for (int i = 0; i < trips; ++i) {
        arrived = false;
        const uint8_t b = uint8_t(i);
        sent = Clock::now();
        if (write(pty.master, &b, 1) != 1)
            return 1;
        while (!arrived)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    std::sort(latencies.begin(), latencies.end());
    auto at = [&](double q) { return latencies[std::min(latencies.size() - 1, size_t(q * double(latencies.size())))]; };
    std::printf("receive latency over %d trips: median %.1f us, 99th percentile %.1f us, max %.1f us\n", trips,
                at(0.5), at(0.99), latencies.back());

    const double cpuBefore = CpuSeconds();
    const auto wallBefore = Clock::now();
    QTimer::singleShot(idleSeconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    const double cpu = CpuSeconds() - cpuBefore;
    const double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();
    std::printf("idle open port: %.3f s CPU over %.1f s (%.3f%%)\n", cpu, wall, 100.0 * cpu / wall);
    port.Close();
    return 0;
}
