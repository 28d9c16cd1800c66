// The whole program against the simulator, in real time:
//   resident memory after start-up, CPU time connected to an idle unit and
//   the wake-ups per second of each thread meanwhile (the simulator runs on
//   the main thread, so its wake-ups count there),
//   the wall time of a full configuration against a repeater that answers at
//   once (and the floor the protocol sets), CPU time while a repeater is
//   selected and polled for its signal strength, and the same with the
//   message log open: as it fills, a while later, and long.
//   program_bench [--xcb] [idle-seconds] [poll-seconds]
// By default the windows draw on the offscreen platform. With --xcb they draw
// on an X server of the benchmark's own (Xvfb on a free display) through the
// xcb platform, as on a desktop: the cost of repainting shows there.
#include "ProgramRun.h"
#include "app/Main.h"
#include "tools/LogListView.h"
#include "tools/Msglog.h"

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

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

// Context switches of each thread of this process, by thread id, with the
// thread's name: each voluntary one is a sleep and the wake-up that ends it;
// the others are preemptions, which grow with the load of the machine.
struct ThreadSwitches {
    std::string name;
    long switches = 0;
    long preempted = 0;
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
            if (fields >> key >> value && key == "voluntary_ctxt_switches:")
                t.switches = value;
            else if (key == "nonvoluntary_ctxt_switches:")
                t.preempted = value;
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
        const long p = t.preempted - (was == before.end() ? 0 : was->second.preempted);
        if (n == 0 && p == 0)
            continue; // the idle pool threads
        std::printf("  thread %d (%s%s): %.2f wake-ups/s (%.2f preemptions/s)\n", tid, t.name.c_str(),
                    tid == mainTid ? ", main" : "", double(n) / seconds, double(p) / seconds);
    }
}

// Starts Xvfb on the first free display and points the xcb platform at it;
// returns its process id (0 when it did not start).
pid_t StartXServer()
{
    // Without standard streams the pipe would take their numbers, which Xvfb
    // takes over for its own.
    for (int fd = 0; fd < 3; ++fd)
        if (fcntl(fd, F_GETFD) < 0 && open("/dev/null", O_RDWR) < 0)
            return 0;
    int ready[2];
    if (pipe(ready) != 0)
        return 0;
    const pid_t pid = fork();
    if (pid == 0) {
        close(ready[0]);
        const std::string fd = std::to_string(ready[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ready[1]);
    // Xvfb writes its display number once it accepts clients.
    char number[16] = {};
    ssize_t n = -1;
    do
        n = pid > 0 ? read(ready[0], number, sizeof number - 1) : -1;
    while (n < 0 && errno == EINTR);
    close(ready[0]);
    if (n <= 0) {
        if (pid > 0)
            waitpid(pid, nullptr, 0);
        return 0;
    }
    number[std::strcspn(number, "\n")] = '\0';
    setenv("DISPLAY", (std::string(":") + number).c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    return pid;
}

void ServeFor(double seconds)
{
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char** argv)
{
    const bool xcb = argc > 1 && std::strcmp(argv[1], "--xcb") == 0;
    pid_t xServer = 0;
    if (xcb) {
        argv[1] = argv[0]; // the program name stays first
        --argc;
        ++argv;
        xServer = StartXServer();
        if (!xServer) {
            std::fprintf(stderr, "program_bench: Xvfb did not start\n");
            return 1;
        }
    }
    // The X server goes when the benchmark does, however it ends.
    struct StopXServer {
        pid_t pid;
        ~StopXServer()
        {
            if (pid > 0) {
                kill(pid, SIGTERM);
                waitpid(pid, nullptr, 0);
            }
        }
    } stopXServer {xServer};
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    PrepareApplication();
    QApplication app(argc, argv);
    const double idleSeconds = argc > 1 ? std::atof(argv[1]) : 60;
    const double pollSeconds = argc > 2 ? std::atof(argv[2]) : 30;
    std::printf("platform: %s\n", qPrintable(QGuiApplication::platformName()));

    bench::ProgramRun run;
    TformMain* form = run.Start();
    std::printf("resident memory after start-up: %ld kB\n", ResidentKb());

    // CPU and wake-ups per thread over `seconds` of serving.
    auto measure = [](const char* what, double seconds, const char* unit) {
        const auto before = Switches();
        const double cpu0 = bench::CpuSeconds();
        ServeFor(seconds);
        const double cpu = bench::CpuSeconds() - cpu0;
        const auto after = Switches();
        std::printf("%s: %.3f s CPU over %.0f s (%.3f%%%s)\n", what, cpu, seconds, 100.0 * cpu / seconds, unit);
        PrintWakeUps(before, after, seconds, int(getpid()));
    };
    ServeFor(1); // the first discovery cycle settles
    measure("connected, idle", idleSeconds, " of one core");

    // Select the repeater and let the signal-strength poll run.
    run.SelectRepeater(0);
    measure("repeater selected and polled", pollSeconds, "");

    // The same with the message log open, taking the polls' frames.
    form->menuMessageLogClick();
    ServeFor(1);
    measure("polled, message log open", pollSeconds, "");
    measure("the same, once the log has scrolled for a while", pollSeconds, "");
    // After some minutes of traffic: the scroll bar's handle at its least length.
    if (formMsgLog) {
        const uint8_t poll[] = {0xC0, 0x7A, 0xCC, 0x00, 0x24, 0x1F, 0x00};
        for (int i = 0; i < 1000; ++i)
            formMsgLog->lines->Append(poll, sizeof poll);
        formMsgLog->viewMsgLog->scrollToBottom();
        ServeFor(1);
        measure("the same with a thousand lines logged", pollSeconds, "");
        formMsgLog->close();
    }

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
    bench::ServeUntil([&] { return form->opState == osIdle; }, 120);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    // The protocol's own floor: a 0.25 s pause before each item. (A reply
    // that wakes the sleeping receive service is taken at once, not at its
    // next 20 ms tick.)
    const double floor = items * 0.25;
    std::printf("full configuration of %d entries: %.3f s; floor %.3f s; ratio %.3f; overhead %.2f ms per item\n",
                items, wall, floor, wall / floor, (wall - floor) * 1000.0 / items);
    std::printf("status: %s\n", form->StatusText().c_str());

    return 0;
}
