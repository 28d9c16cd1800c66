// kvt-sim: a simulated interface unit with repeaters on a pseudo-terminal,
// for running the program by hand without the hardware. Prints the slave
// path on stdout; see README.md.
#include "sim/InterfaceUnit.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <iostream>
#include <poll.h>
#include <sstream>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int)
{
    g_stop = 1;
}

std::int64_t MonotonicMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void Usage(std::FILE* to)
{
    std::fputs(
        "usage: kvt-sim [options]\n"
        "  --repeaters ID[,ID...]  repeater ids in radio range (default 9247,12345678)\n"
        "  --battery MV            battery voltage in millivolts (default 7600)\n"
        "  --batch N               repeaters per discovery reply, 1..61 (default 4)\n"
        "  --delay MS              hold every reply back MS milliseconds\n"
        "  --logged-on             repeaters start logged on to the GSM network\n"
        "  --job-ms MS             time a patrol or GSM job takes before its report\n"
        "  --loggers N             N sample loggers in each repeater's database, 0..255,\n"
        "                          and sample debug counters and logs\n"
        "  --link PATH             keep a symbolic link PATH to the pseudo-terminal\n"
        "  -v, --verbose           log every frame to stderr\n"
        "  -h, --help              this text\n"
        "Commands on stdin while running: help, status, battery MV, delay MS,\n"
        "silent on|off, drop N, corrupt N, hangup, recreate, add ID, remove ID,\n"
        "logon ID on|off, calib ID on|off, quit.\n",
        to);
}

bool ParseNumber(const std::string& text, long long min, long long max, long long& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < min || v > max)
        return false;
    out = v;
    return true;
}

bool ParseIds(const std::string& text, std::vector<std::uint32_t>& ids)
{
    std::stringstream ss(text);
    std::string part;
    while (std::getline(ss, part, ',')) {
        long long v = 0;
        if (!ParseNumber(part, 0, sim::kMaxDiscoveryId, v))
            return false;
        ids.push_back(static_cast<std::uint32_t>(v));
    }
    return !ids.empty();
}

bool OnOff(const std::string& word, bool& out)
{
    if (word == "on" || word == "1") {
        out = true;
        return true;
    }
    if (word == "off" || word == "0") {
        out = false;
        return true;
    }
    return false;
}

void PrintStatus(sim::InterfaceUnit& unit)
{
    std::fprintf(stderr, "port %s (%s), battery %u mV, comms mode %s\n", unit.SlavePath().c_str(),
                 unit.IsOpen() ? "open" : "hung up", unit.BatteryMv(),
                 unit.CommsMode() ? std::to_string(*unit.CommsMode()).c_str() : "not set");
    for (sim::Repeater* r : unit.Repeaters())
        std::fprintf(stderr, "  repeater %u: %s, %s, ECU options %02X%s\n", r->Id(),
                     r->Present() ? "present" : "absent", r->LoggedOn() ? "logged on" : "not logged on",
                     r->EcuOptions(), r->CalibrationError() ? ", calibration error" : "");
}

// One line typed on stdin while the simulator runs. Returns false on "quit".
bool Command(sim::InterfaceUnit& unit, const std::string& line)
{
    std::istringstream in(line);
    std::string cmd, a, b;
    in >> cmd >> a >> b;
    long long n = 0;
    bool flag = false;
    if (cmd.empty())
        return true;
    if (cmd == "quit" || cmd == "exit")
        return false;
    if (cmd == "help") {
        Usage(stderr);
    } else if (cmd == "status") {
        PrintStatus(unit);
    } else if (cmd == "battery" && ParseNumber(a, 0, 65535, n)) {
        unit.SetBatteryMv(static_cast<std::uint16_t>(n));
    } else if (cmd == "delay" && ParseNumber(a, 0, 3600000, n)) {
        unit.SetReplyDelayMs(n);
    } else if (cmd == "silent" && OnOff(a, flag)) {
        unit.SetSilent(flag);
    } else if (cmd == "drop" && ParseNumber(a, 0, 1000000, n)) {
        unit.DropNextReplies(static_cast<int>(n));
    } else if (cmd == "corrupt" && ParseNumber(a, 0, 1000000, n)) {
        unit.CorruptNextChecksums(static_cast<int>(n));
    } else if (cmd == "hangup") {
        unit.HangUp();
    } else if (cmd == "recreate") {
        unit.Recreate();
        std::printf("%s\n", unit.SlavePath().c_str());
        std::fflush(stdout);
    } else if (cmd == "add" && ParseNumber(a, 0, sim::kMaxDiscoveryId, n)) {
        unit.AddRepeater(static_cast<std::uint32_t>(n)).SetPresent(true);
    } else if (cmd == "remove" && ParseNumber(a, 0, sim::kMaxDiscoveryId, n)) {
        if (!unit.RemoveRepeater(static_cast<std::uint32_t>(n)))
            std::fprintf(stderr, "no repeater %lld\n", n);
    } else if ((cmd == "logon" || cmd == "calib") && ParseNumber(a, 0, sim::kMaxDiscoveryId, n)
               && OnOff(b, flag)) {
        sim::Repeater* r = unit.FindRepeater(static_cast<std::uint32_t>(n));
        if (!r)
            std::fprintf(stderr, "no repeater %lld\n", n);
        else if (cmd == "logon")
            r->SetLoggedOn(flag);
        else
            r->SetCalibrationError(flag);
    } else {
        std::fprintf(stderr, "? %s (try help)\n", line.c_str());
    }
    return true;
}

// Loggers of every kind (leaks, sent reports, weak signals, 16- and 17-byte
// entries), counters and debug logs, so that the tool windows have something
// to show.
void AddSampleRecords(sim::Repeater& r, int count)
{
    const std::uint32_t base = 1700000000;  // 14 Nov 2023
    std::vector<sim::LoggerEntry> loggers;
    for (int i = 0; i < count; ++i) {
        sim::LoggerEntry e;
        e.serial = 4100000u + static_cast<std::uint32_t>(i) * 37u;
        e.patrolTime = base + static_cast<std::uint32_t>(i) * 3607u;
        e.leak = i % 5 == 2;
        e.level = static_cast<std::uint8_t>((i * 13) % 128);
        e.sent = i % 3 == 0;
        e.spread = static_cast<std::uint8_t>((i * 7) % 128);
        e.signal = static_cast<std::uint8_t>((i * 53) % 256);
        if (i % 4 != 3)
            e.flags = static_cast<std::uint8_t>(i % 16);
        loggers.push_back(e);
    }
    r.SetLoggers(loggers);
    const std::uint8_t counters[] = {0x0E, 0x0F, 0x0C, 0x10, 0x12, 0x13, 0x15};
    for (std::size_t i = 0; i < std::size(counters); ++i)
        r.SetItem(counters[i], {0, static_cast<std::uint8_t>(3 * i + 1)});
    for (std::uint8_t log = 0; log < 7; ++log)
        for (std::uint8_t entry = 0; entry < 16; ++entry)
            r.SetDebugLogEntry(log, entry, base + log * 86400u + entry * 600u);
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::uint32_t> ids;
    long long battery = 7600, batch = 4, delay = 0, jobMs = 0, loggers = 0;
    bool loggedOn = false, verbose = false;
    std::string link;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&](std::string& out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "-h" || arg == "--help") {
            Usage(stdout);
            return 0;
        } else if (arg == "-v" || arg == "--verbose") {
            verbose = true;
        } else if (arg == "--logged-on") {
            loggedOn = true;
        } else if (arg == "--repeaters" && value(v) && ParseIds(v, ids)) {
        } else if (arg == "--battery" && value(v) && ParseNumber(v, 0, 65535, battery)) {
        } else if (arg == "--batch" && value(v) && ParseNumber(v, 1, 61, batch)) {
        } else if (arg == "--delay" && value(v) && ParseNumber(v, 0, 3600000, delay)) {
        } else if (arg == "--job-ms" && value(v) && ParseNumber(v, 0, 3600000, jobMs)) {
        } else if (arg == "--loggers" && value(v) && ParseNumber(v, 0, 255, loggers)) {
        } else if (arg == "--link" && value(v) && !v.empty()) {
            link = v;
        } else {
            std::fprintf(stderr, "kvt-sim: bad or incomplete option %s\n", arg.c_str());
            Usage(stderr);
            return 2;
        }
    }
    if (ids.empty())
        ids = {9247, 12345678};

    try {
        sim::InterfaceUnit unit;
        if (verbose)
            unit.SetLogger([](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
        unit.SetBatteryMv(static_cast<std::uint16_t>(battery));
        unit.SetDiscoveryBatchSize(static_cast<std::size_t>(batch));
        unit.SetReplyDelayMs(delay);
        for (std::uint32_t id : ids) {
            sim::Repeater& r = unit.AddRepeater(id);
            r.SetLoggedOn(loggedOn);
            r.SetJobDurationMs(jobMs);
            if (loggers > 0)
                AddSampleRecords(r, static_cast<int>(loggers));
        }
        if (!link.empty())
            unit.SetSymlink(link);

        struct sigaction sa {};
        sa.sa_handler = OnSignal;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, nullptr);  // no SA_RESTART: poll() returns at once
        sigaction(SIGTERM, &sa, nullptr);
        std::signal(SIGPIPE, SIG_IGN);
        // Started in the background of a shell: reading the terminal then
        // fails instead of stopping the process, and commands are off.
        std::signal(SIGTTIN, SIG_IGN);

        std::printf("%s\n", unit.SlavePath().c_str());
        std::fflush(stdout);
        std::fprintf(stderr, "kvt-sim: interface unit on %s%s%s, %zu repeater(s); Ctrl-C stops\n",
                     unit.SlavePath().c_str(), link.empty() ? "" : ", link ", link.c_str(), ids.size());

        bool readStdin = true;
        std::string pending;
        while (!g_stop) {
            const std::int64_t now = MonotonicMs();
            unit.Pump(now);
            int timeout = 100;
            if (auto due = unit.NextDueMs())
                timeout = static_cast<int>(std::clamp<std::int64_t>(*due - now, 0, 100));
            pollfd fds[2] = {{unit.MasterFd(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
            const nfds_t count = readStdin ? 2 : 1;
            if (fds[0].fd < 0)
                fds[0].events = 0;  // hung up: negative fds are skipped by poll
            if (poll(fds, count, timeout) < 0 && errno != EINTR)
                throw std::system_error(errno, std::generic_category(), "poll");
            if (readStdin && (fds[1].revents & (POLLIN | POLLHUP))) {
                char buf[512];
                const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
                if (n <= 0) {
                    readStdin = false;  // end of input: keep running until a signal
                    continue;
                }
                pending.append(buf, static_cast<std::size_t>(n));
                std::size_t nl;
                while ((nl = pending.find('\n')) != std::string::npos) {
                    const std::string line = pending.substr(0, nl);
                    pending.erase(0, nl + 1);
                    if (!Command(unit, line))
                        g_stop = 1;
                }
            }
        }
        unit.SetSymlink("");
        std::fprintf(stderr, "kvt-sim: stopped\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kvt-sim: %s\n", e.what());
        return 1;
    }
    return 0;
}
