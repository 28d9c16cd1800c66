// Throughput of the terminal's Write: how many bytes per second of received
// text it takes in, against the line rate of the system's port (115200 bit/s,
// 11,520 bytes/s with start and stop bits).
#include "serial/PortTerminal.h"

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Text with line ends, cursor moves, attributes and erases, as a peer sends it.
std::string Sample(TTermEmulation emulation)
{
    std::string s;
    for (int i = 0; i < 200; ++i) {
        s += "Repeater 0x1A2B3C signal -73 dBm, battery 12.6 V, queue " + std::to_string(i) + "\r\n";
        if (emulation == teVT100orANSI) {
            s += "\x1b[1mALARM\x1b[0m \x1b[5;10H\x1b[K\x1b[2;3f\x1b[7mINV\x1b[27m\r\n";
        } else if (emulation == teVT52) {
            s += "\x1bY%*status\x1bK\x1b" "A\x1b" "B\r\n";
        }
    }
    return s;
}

double Measure(TTermEmulation emulation, bool wrap)
{
    TComTerminal terminal;
    terminal.SetEmulation(emulation);
    terminal.WrapLines = wrap;
    const std::string text = Sample(emulation);
    const double minSeconds = 1.0;
    size_t bytes = 0;
    const auto start = std::chrono::steady_clock::now();
    double elapsed = 0;
    do {
        for (int i = 0; i < 20; ++i) {
            terminal.WriteStr(text);
            bytes += text.size();
        }
        QCoreApplication::processEvents(); // paint what was invalidated
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    } while (elapsed < minSeconds);
    return double(bytes) / elapsed;
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const double lineRate = 11520.0;
    const struct {
        const char* name;
        TTermEmulation emulation;
        bool wrap;
    } cases[] = {{"VT100", teVT100orANSI, false}, {"VT100 wrap", teVT100orANSI, true}, {"VT52", teVT52, false},
                 {"none", teNone, false}};
    for (const auto& c : cases) {
        const double rate = Measure(c.emulation, c.wrap);
        std::printf("terminal Write %-11s %8.2f MB/s  (%.0f x the line rate of 11,520 bytes/s)\n", c.name,
                    rate / 1e6, rate / lineRate);
    }
    return 0;
}
