// Measures what an open, idle port costs: for each thread of the process, the
// wake-ups per second (voluntary context switches, from /proc) and the CPU it
// used, over a period with no byte crossing the line. A pseudo-terminal stands
// for the interface unit, which says nothing while it is idle.
//   idle_wakeups [seconds-per-phase]      (default 60)
// Phases: the system's port (evRxChar, synchronised with the user-interface
// thread) when just opened and after a request and its reply, and a port with
// all ten events after the same exchange.
#include "RawPty.h"
#include "serial/PortCore.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

struct ThreadSample {
    std::string name;
    long wakeups = 0;  // voluntary context switches
    long forced = 0;   // involuntary ones
    double cpu = 0;    // seconds of user and system time
};

std::map<int, ThreadSample> SampleThreads()
{
    std::map<int, ThreadSample> out;
    const long ticks = sysconf(_SC_CLK_TCK);
    DIR* dir = opendir("/proc/self/task");
    if (!dir)
        return out;
    while (dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        const int tid = std::atoi(e->d_name);
        const std::string base = std::string("/proc/self/task/") + e->d_name;
        ThreadSample s;
        std::ifstream status(base + "/status");
        for (std::string line; std::getline(status, line);) {
            std::istringstream in(line);
            std::string key;
            in >> key;
            if (key == "Name:")
                in >> s.name;
            else if (key == "voluntary_ctxt_switches:")
                in >> s.wakeups;
            else if (key == "nonvoluntary_ctxt_switches:")
                in >> s.forced;
        }
        std::ifstream statFile(base + "/stat");
        std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
        // Fields after the parenthesised name: state is field 3, utime 14, stime 15.
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::string field;
        long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && (fields >> field); ++i) {
            if (i == 14)
                utime = std::atol(field.c_str());
            if (i == 15)
                stime = std::atol(field.c_str());
        }
        s.cpu = double(utime + stime) / double(ticks);
        out[tid] = s;
    }
    closedir(dir);
    return out;
}

void Idle(QCoreApplication& app, int seconds)
{
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
}

void Phase(QCoreApplication& app, const char* title, int seconds)
{
    const auto before = SampleThreads();
    Idle(app, seconds);
    const auto after = SampleThreads();
    std::printf("%s (%d s idle)\n", title, seconds);
    std::printf("  %-7s %-16s %12s %12s %10s\n", "tid", "thread", "wake-ups/s", "forced/s", "CPU %");
    for (const auto& [tid, s] : after) {
        const auto it = before.find(tid);
        const ThreadSample was = it != before.end() ? it->second : ThreadSample{};
        std::printf("  %-7d %-16s %12.2f %12.2f %10.3f\n", tid, s.name.c_str(),
                    double(s.wakeups - was.wakeups) / seconds, double(s.forced - was.forced) / seconds,
                    100.0 * (s.cpu - was.cpu) / seconds);
    }
}

// A request written, the far end's reply received and read: what the
// program does with the interface unit before it falls idle.
template <class Done>
void Exchange(TComPort& port, int master, Done done)
{
    port.WriteStr(std::string("\xC0\x01\x02", 3));
    char buf[64];
    while (read(master, buf, sizeof buf) <= 0)
        usleep(1000);
    (void)!write(master, "\xC0\x02", 2);
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;

    RawPty pty;
    if (!pty.Open())
        return 1;

    {
        // The system's own port.
        TComPort port;
        port.SetPort(pty.name);
        port.SetBaudRate(br115200);
        port.FlowControl()->SetFlowControl(fcNone);
        port.SetEvents(TComEvents{evRxChar});
        int replies = 0;
        port.OnRxChar = [&](QObject*, int32_t count) {
            std::string s;
            port.ReadStr(s, count);
            ++replies;
        };
        port.Open();
        Phase(app, "system port, open", seconds);
        Exchange(port, pty.master, [&] { return replies > 0; });
        Phase(app, "system port, after a request and its reply", seconds);
        port.Close();
    }
    {
        TComPort port;
        port.SetPort(pty.name);
        port.SetBaudRate(br115200);
        int replies = 0;
        port.OnRxChar = [&](QObject*, int32_t count) {
            std::string s;
            port.ReadStr(s, count);
            ++replies;
        };
        port.Open(); // all ten events
        Exchange(port, pty.master, [&] { return replies > 0; });
        Phase(app, "port with all ten events, after a request and its reply", seconds);
        port.Close();
    }
    return 0;
}
