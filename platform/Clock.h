#pragma once
// The program's clock. Form timers, busy waits and time stamps all read it, so
// tests can run the whole program on virtual time: then time moves only when a
// test advances it, and protocol waits of seconds cost nothing and never depend
// on how busy the machine is.
#include <chrono>
#include <cstdint>
#include <functional>

namespace platform {

// Milliseconds of a monotonic clock.
int64_t MonotonicMs();

// The PC's wall clock; moves with virtual time while that is in use.
std::chrono::system_clock::time_point WallClockNow();

// The PC's local date and time as days since 30 December 1899 (whole days
// plus the fraction of the day), the form date-times are stored in.
double DateTimeNow();

// Pause on the calling thread without serving any event (the program's short
// pauses between messages are such busy waits).
void BusyWait(int64_t ms);

// Test-only control of time.
class TimeControl {
public:
    // From now on time stands still until Advance or BusyWait moves it.
    static void UseVirtualTime();
    static void UseRealTime();
    static bool IsVirtual();
    // Sets the wall clock of virtual time: WallClockNow() is `now` at this
    // moment and moves on with virtual time.
    static void SetWallClock(std::chrono::system_clock::time_point now);

    // Moves virtual time forward by ms, firing every form timer that falls due
    // on the way in order, serving posted events between them.
    static void Advance(int64_t ms);

    // Runs the posted events of the user-interface thread, then the settle hook.
    static void Settle();

    // Called during Advance before each timer fires and at the end, so a test
    // harness can let a simulated far end answer and the port's event thread
    // hand its events over before time moves on.
    static void SetSettleHook(std::function<void()> hook);
};

} // namespace platform
