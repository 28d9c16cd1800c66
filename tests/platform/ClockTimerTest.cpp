// Tests of the program clock and the form timers (platform/Clock.h,
// platform/FormTimer.h): on virtual time every firing is at an exact
// millisecond, so the timers' schedule is checked to the tick.
#include "platform/Clock.h"
#include "platform/ExceptionDisplay.h"
#include "platform/FormTimer.h"
#include "support/Pty.h"

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

using platform::TimeControl;

namespace {

class ClockVirtualTime : public ::testing::Test {
protected:
    void SetUp() override
    {
        TimeControl::UseVirtualTime();
        t0_ = platform::MonotonicMs();
    }
    void TearDown() override
    {
        platform::SetExceptionDisplayHook({});
        TimeControl::UseRealTime();
    }

    // Milliseconds of virtual time since the test began.
    int64_t Now() const { return platform::MonotonicMs() - t0_; }

    // Arms timer with interval ms and a handler that logs "name@time".
    void Arm(TTimer& timer, uint32_t interval, const std::string& name)
    {
        timer.SetInterval(interval);
        timer.SetOnTimer([this, name](QObject*) { log_.push_back(name + "@" + std::to_string(Now())); });
    }

    int64_t t0_ = 0;
    std::vector<std::string> log_;
};

using Log = std::vector<std::string>;

// ------------------------------------------------------------ the clock

TEST_F(ClockVirtualTime, StandsStillUntilMovedAndMovesTheWallClockAlong)
{
    const auto wall0 = platform::WallClockNow();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(Now(), 0);
    EXPECT_EQ(platform::WallClockNow(), wall0);

    TimeControl::Advance(5000);
    EXPECT_EQ(Now(), 5000);
    EXPECT_EQ(platform::WallClockNow() - wall0, std::chrono::milliseconds(5000));

    platform::BusyWait(250);
    EXPECT_EQ(Now(), 5250);
    EXPECT_EQ(platform::WallClockNow() - wall0, std::chrono::milliseconds(5250));
}

// ------------------------------------------------------------ schedule

TEST_F(ClockVirtualTime, TimersFireAtTheirTimesInOrder)
{
    TTimer slow, fast, mid;
    Arm(slow, 100, "slow");
    Arm(fast, 30, "fast");
    Arm(mid, 70, "mid");
    TimeControl::Advance(120);
    EXPECT_EQ(log_, (Log{"fast@30", "fast@60", "mid@70", "fast@90", "slow@100", "fast@120"}));
    EXPECT_EQ(Now(), 120);
}

TEST_F(ClockVirtualTime, TimersDueTogetherFireInTheOrderTheyWereStarted)
{
    TTimer a, b, c;
    Arm(b, 50, "b");
    Arm(c, 50, "c");
    Arm(a, 50, "a");
    TimeControl::Advance(100);
    EXPECT_EQ(log_, (Log{"b@50", "c@50", "a@50", "b@100", "c@100", "a@100"}));
    // Started again: now the last of the three.
    b.SetEnabled(false);
    b.SetEnabled(true);
    TimeControl::Advance(50);
    EXPECT_EQ(std::vector<std::string>(log_.begin() + 6, log_.end()), (Log{"c@150", "a@150", "b@150"}));
}

TEST_F(ClockVirtualTime, PeriodicTimerFiresEveryIntervalAcrossSteps)
{
    TTimer timer;
    Arm(timer, 100, "t");
    TimeControl::Advance(99);
    EXPECT_TRUE(log_.empty());
    TimeControl::Advance(1);
    TimeControl::Advance(250);
    TimeControl::Advance(650);
    EXPECT_EQ(log_.size(), 10u);
    EXPECT_EQ(log_.front(), "t@100");
    EXPECT_EQ(log_.at(2), "t@300");
    EXPECT_EQ(log_.back(), "t@1000");
}

TEST_F(ClockVirtualTime, SettingTheSameValueDoesNotRestart)
{
    TTimer timer;
    Arm(timer, 100, "t");
    TimeControl::Advance(60);
    timer.SetEnabled(true);
    timer.SetInterval(100);
    TimeControl::Advance(40);
    EXPECT_EQ(log_, Log{"t@100"});
}

TEST_F(ClockVirtualTime, ChangingIntervalOrEnabledRearms)
{
    TTimer timer;
    Arm(timer, 100, "t");
    TimeControl::Advance(60);
    timer.SetInterval(50); // re-armed from now: due at 110
    TimeControl::Advance(49);
    EXPECT_TRUE(log_.empty());
    TimeControl::Advance(1);
    EXPECT_EQ(log_, Log{"t@110"});

    timer.SetEnabled(false);
    TimeControl::Advance(500);
    EXPECT_EQ(log_.size(), 1u);
    timer.SetEnabled(true); // at 610: due at 660
    TimeControl::Advance(50);
    EXPECT_EQ(log_, (Log{"t@110", "t@660"}));
}

TEST_F(ClockVirtualTime, IntervalZeroOrNoHandlerNeverFires)
{
    TTimer zero;
    Arm(zero, 0, "zero");
    TTimer noHandler;
    noHandler.SetInterval(10);
    TTimer cleared;
    Arm(cleared, 10, "cleared");
    cleared.SetOnTimer(nullptr);
    TimeControl::Advance(10000);
    EXPECT_TRUE(log_.empty());
    EXPECT_FALSE(zero.IsArmed());
    EXPECT_FALSE(noHandler.IsArmed());
    EXPECT_FALSE(cleared.IsArmed());
}

TEST_F(ClockVirtualTime, HandlerMayDisableOrRearmItsOwnTimer)
{
    TTimer once;
    once.SetInterval(100);
    once.SetOnTimer([&](QObject* sender) {
        log_.push_back("once@" + std::to_string(Now()));
        EXPECT_EQ(sender, &once);
        once.SetEnabled(false);
    });
    TTimer stretch;
    stretch.SetInterval(70);
    stretch.SetOnTimer([&](QObject*) {
        log_.push_back("stretch@" + std::to_string(Now()));
        stretch.SetInterval(250); // from now on every 250 ms
    });
    TimeControl::Advance(1000);
    EXPECT_EQ(log_, (Log{"stretch@70", "once@100", "stretch@320", "stretch@570", "stretch@820"}));
    EXPECT_FALSE(once.IsArmed());
}

// ------------------------------------------------------------ busy waits

TEST_F(ClockVirtualTime, BusyWaitMovesTimeWithoutFiringAndTheOverdueTimerFiresNext)
{
    TTimer timer;
    Arm(timer, 100, "t");
    platform::BusyWait(150);
    EXPECT_EQ(Now(), 150);
    EXPECT_TRUE(log_.empty());
    TimeControl::Advance(0);
    EXPECT_EQ(log_, Log{"t@150"});
    TimeControl::Advance(100); // the period keeps its phase
    EXPECT_EQ(log_, (Log{"t@150", "t@200"}));
}

TEST_F(ClockVirtualTime, MissedTicksOfABusyWaitAreNotMadeUp)
{
    TTimer timer;
    Arm(timer, 100, "t");
    platform::BusyWait(250); // the ticks of 100 and 200 pass unserved: one tick is owed, not two
    TimeControl::Advance(0);
    EXPECT_EQ(log_, Log{"t@250"});
    TimeControl::Advance(50);
    EXPECT_EQ(log_, (Log{"t@250", "t@300"}));
}

TEST_F(ClockVirtualTime, ATickDueExactlyNowFiresOnce)
{
    TTimer timer;
    Arm(timer, 100, "t");
    TimeControl::Advance(100); // lands on the tick
    TimeControl::Advance(0);
    EXPECT_EQ(log_, Log{"t@100"});
    platform::BusyWait(200); // the tick of 200 passes unserved, the one of 300 is due now
    TimeControl::Advance(0);
    TimeControl::Advance(0);
    EXPECT_EQ(log_, (Log{"t@100", "t@300"}));
    TimeControl::Advance(100);
    EXPECT_EQ(log_, (Log{"t@100", "t@300", "t@400"}));
}

// ------------------------------------------------------------ exceptions

TEST_F(ClockVirtualTime, HandlerExceptionGoesToTheDisplayAndTheTimerGoesOn)
{
    std::vector<std::string> shown;
    platform::SetExceptionDisplayHook([&](const std::string& message) { shown.push_back(message); });
    TTimer timer;
    int calls = 0;
    timer.SetInterval(100);
    timer.SetOnTimer([&](QObject*) {
        ++calls;
        throw std::runtime_error("tick " + std::to_string(calls));
    });
    TimeControl::Advance(300);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(shown, (std::vector<std::string>{"tick 1", "tick 2", "tick 3"}));
    EXPECT_TRUE(timer.IsArmed());
}

// ------------------------------------------------------------ real time

TEST(FormTimerRealTime, FiresOnTheEventLoop)
{
    ASSERT_FALSE(TimeControl::IsVirtual());
    TTimer timer;
    int calls = 0;
    timer.SetInterval(10);
    timer.SetOnTimer([&](QObject*) { ++calls; });
    EXPECT_TRUE(ServeUntil([&] { return calls >= 2; }, 10000));
    timer.SetEnabled(false);
    const int seen = calls;
    ServeFor(50);
    EXPECT_EQ(calls, seen);
}

} // namespace
