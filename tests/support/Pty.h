#pragma once
// A pseudo-terminal for tests: the test holds the master, the code under test
// opens the slave by its path like any serial device.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class Pty {
public:
    // How the slave's line settings start. A real UART comes up cooked (the
    // kernel's defaults: ICRNL, ECHO, ICANON and the rest on), so the code
    // under test must make it raw itself; Raw is for peers that must not
    // depend on that, such as tests that write before the slave is opened.
    enum class Line { Raw, KernelDefaults };
    explicit Pty(Line line = Line::Raw);
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    int MasterFd() const { return master_; }

    void Write(const std::vector<uint8_t>& bytes);
    void Write(const std::string& bytes);
    // Reads what the slave side wrote, waiting up to timeoutMs for at least
    // `atLeast` bytes in all.
    std::vector<uint8_t> Read(size_t atLeast, int timeoutMs = 5000);
    // Closes the master: a hang-up, as an unplugged device or a dropped link.
    void HangUp();

private:
    int master_ = -1;
    int slave_ = -1; // held so the pty lives until the test lets it go
    std::string slavePath_;
};

// Serves the user-interface thread's events until pred holds or timeoutMs of
// real time pass; returns pred's last value. Only an upper bound: tests never
// depend on how fast the machine is.
template <class Pred>
bool ServeUntil(Pred pred, int timeoutMs = 20000);

bool ServeUntilImpl(const std::function<bool()>& pred, int timeoutMs);
template <class Pred>
bool ServeUntil(Pred pred, int timeoutMs)
{
    return ServeUntilImpl(std::function<bool()>(pred), timeoutMs);
}
// Serves events for a while of real time (to show that something does NOT happen).
void ServeFor(int ms);
// Serves every call posted to the user-interface thread so far: one posted
// now runs after them. False when it did not run within the bound.
bool ServePosted();
