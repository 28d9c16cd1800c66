// Tests of the events threads wait on (platform/Event.h) and of handing a call
// from a worker thread to the user-interface thread (platform/UiHandOver.h).
#include "platform/Event.h"
#include "platform/ExceptionDisplay.h"
#include "platform/UiHandOver.h"
#include "support/Pty.h"

#include <QApplication>
#include <QThread>
#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

using platform::Event;
using platform::HandOverResult;

namespace {

// ------------------------------------------------------------ events

TEST(Event, StaysSetUntilReset)
{
    Event e;
    EXPECT_FALSE(e.Wait(10));
    e.Set();
    e.Set(); // setting twice needs one reset all the same
    EXPECT_TRUE(e.IsSet());
    EXPECT_TRUE(e.Wait(-1));
    e.Reset();
    EXPECT_FALSE(e.IsSet());
    e.Reset(); // resetting a clear event is harmless
    EXPECT_FALSE(e.IsSet());
    EXPECT_TRUE(Event(true).IsSet());

    std::thread setter([&] { e.Set(); });
    EXPECT_TRUE(e.Wait(10000));
    setter.join();
}

TEST(Event, WaitForAnyTellsWhichOrTimesOut)
{
    Event a, b, c;
    const Event* all[] = {&a, &b, &c};
    EXPECT_EQ(platform::WaitForAny(all, 3, 10), -1);
    c.Set();
    EXPECT_EQ(platform::WaitForAny(all, 3, 10), 2);
    b.Set();
    EXPECT_EQ(platform::WaitForAny(all, 3, -1), 1); // the first of those signalled
    b.Reset();
    c.Reset();

    std::thread setter([&] { b.Set(); });
    EXPECT_EQ(platform::WaitForAny(all, 3, 10000), 1);
    setter.join();
}

// ------------------------------------------------------------ hand-over

class HandOver : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetExceptionDisplayHook([this](const std::string& m) { shown_.push_back(m); });
    }
    void TearDown() override { platform::SetExceptionDisplayHook({}); }

    static bool OnUiThread() { return QThread::currentThread() == qApp->thread(); }

    std::vector<std::string> shown_;
};

TEST_F(HandOver, CallRunsOnTheUiThreadWhileTheWorkerWaits)
{
    Event cancel;
    std::atomic<bool> ran{false}, onUi{false}, workerDone{false};
    std::atomic<bool> ranBeforeReturn{false};
    HandOverResult result = HandOverResult::Cancelled;
    std::thread worker([&] {
        result = platform::RunOnUiThread(
            [&] {
                onUi = OnUiThread();
                ran = true;
            },
            cancel, false, nullptr);
        ranBeforeReturn = ran.load();
        workerDone = true;
    });
    EXPECT_TRUE(ServeUntil([&] { return workerDone.load(); }, 10000));
    worker.join();
    EXPECT_EQ(result, HandOverResult::Ran);
    EXPECT_TRUE(onUi);
    EXPECT_TRUE(ranBeforeReturn);
}

TEST_F(HandOver, ExceptionOfTheCallComesBackToTheWorker)
{
    Event cancel;
    std::exception_ptr error;
    std::atomic<bool> workerDone{false};
    HandOverResult result = HandOverResult::Cancelled;
    std::thread worker([&] {
        result = platform::RunOnUiThread([] { throw std::runtime_error("handler failed"); }, cancel, false,
                                         &error);
        workerDone = true;
    });
    EXPECT_TRUE(ServeUntil([&] { return workerDone.load(); }, 10000));
    worker.join();
    EXPECT_EQ(result, HandOverResult::Ran);
    ASSERT_TRUE(error);
    EXPECT_EQ(platform::ExceptionMessage(error), "handler failed");
    ASSERT_TRUE(ServePosted());
    EXPECT_TRUE(shown_.empty()); // the worker deals with it, not the display
}

TEST_F(HandOver, AnswerAtStartLetsTheWorkerGoOnWhileTheCallRuns)
{
    Event cancel;
    Event workerWentOn;
    std::atomic<bool> sawWorkerGoOn{false}, callDone{false};
    HandOverResult result = HandOverResult::Cancelled;
    std::thread worker([&] {
        result = platform::RunOnUiThread(
            [&] {
                // Blocks the user-interface thread until the worker has gone on:
                // without the early answer this would time out.
                sawWorkerGoOn = workerWentOn.Wait(10000);
                callDone = true;
                throw std::runtime_error("late failure");
            },
            cancel, true, nullptr);
        workerWentOn.Set();
    });
    EXPECT_TRUE(ServeUntil([&] { return callDone.load(); }, 20000));
    worker.join();
    EXPECT_EQ(result, HandOverResult::Answered);
    EXPECT_TRUE(sawWorkerGoOn);
    // Nobody waits for the end any more: its exception goes to the display.
    EXPECT_TRUE(ServeUntil([&] { return !shown_.empty(); }, 5000));
    EXPECT_EQ(shown_, std::vector<std::string>{"late failure"});

    // Called on the user-interface thread itself: the same, nothing comes back.
    shown_.clear();
    std::exception_ptr error;
    EXPECT_EQ(platform::RunOnUiThread([] { throw std::runtime_error("direct failure"); }, cancel, true, &error),
              HandOverResult::Answered);
    EXPECT_FALSE(error);
    EXPECT_EQ(shown_, std::vector<std::string>{"direct failure"});
}

TEST_F(HandOver, CancelBeforeTheCallStartsMeansItNeverRuns)
{
    Event cancel;
    std::atomic<bool> ran{false};
    HandOverResult result = HandOverResult::Ran;
    // The user-interface thread serves nothing while the worker waits.
    std::thread worker([&] { result = platform::RunOnUiThread([&] { ran = true; }, cancel, false, nullptr); });
    cancel.Set();
    worker.join();
    EXPECT_EQ(result, HandOverResult::Cancelled);
    ASSERT_TRUE(ServePosted()); // the posted call is served now, and must not run
    EXPECT_FALSE(ran);
}

TEST_F(HandOver, CancelFromInsideTheRunningCallDoesNotDeadlock)
{
    // What closing a port from inside its own event handler does: the handler
    // stops the port's thread and waits for it, while that thread waits for
    // the handler.
    Event cancel;
    Event workerFinished;
    std::atomic<bool> callDone{false}, workerEndedInsideCall{false};
    HandOverResult result = HandOverResult::Ran;
    std::thread worker([&] {
        result = platform::RunOnUiThread(
            [&] {
                cancel.Set();
                workerEndedInsideCall = workerFinished.Wait(10000);
                callDone = true;
            },
            cancel, false, nullptr);
        workerFinished.Set();
    });
    EXPECT_TRUE(ServeUntil([&] { return callDone.load(); }, 20000));
    worker.join();
    EXPECT_TRUE(workerEndedInsideCall);
    EXPECT_EQ(result, HandOverResult::Cancelled);
}

} // namespace
