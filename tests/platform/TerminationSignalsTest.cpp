// Termination signals reach the user-interface thread as calls.
#include "platform/TerminationSignals.h"

#include <QCoreApplication>
#include <csignal>
#include <gtest/gtest.h>
#include <vector>

namespace {

void (*Disposition(int signal))(int)
{
    struct sigaction now {};
    sigaction(signal, nullptr, &now);
    return now.sa_handler;
}

} // namespace

class TerminationSignalsTest : public ::testing::TestWithParam<int> {};

TEST_P(TerminationSignalsTest, ASignalBecomesOneCallFromTheEventLoop)
{
    const int signal = GetParam();
    std::vector<int> calls;
    {
        platform::TerminationSignals watcher([&](int s) { calls.push_back(s); });
        ASSERT_EQ(std::raise(signal), 0);
        EXPECT_TRUE(calls.empty()) << "not from inside the signal handler";
        QCoreApplication::processEvents();
        EXPECT_EQ(calls, std::vector<int>{signal});
        QCoreApplication::processEvents();
        EXPECT_EQ(calls.size(), 1u);
        EXPECT_EQ(Disposition(signal), SIG_DFL) << "a second one ends the program";
    }
}

INSTANTIATE_TEST_SUITE_P(EachSignal, TerminationSignalsTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP));

TEST(TerminationSignals, TheDispositionsBeforeComeBack)
{
    for (int s : platform::TerminationSignals::Watched())
        std::signal(s, SIG_IGN);
    {
        platform::TerminationSignals watcher([](int) {});
        for (int s : platform::TerminationSignals::Watched())
            EXPECT_NE(Disposition(s), SIG_IGN);
    }
    for (int s : platform::TerminationSignals::Watched()) {
        EXPECT_EQ(Disposition(s), SIG_IGN);
        std::signal(s, SIG_DFL);
    }
}

TEST(TerminationSignals, SignalsOfSeveralKindsEachGetACall)
{
    std::vector<int> calls;
    platform::TerminationSignals watcher([&](int s) { calls.push_back(s); });
    std::raise(SIGHUP);
    std::raise(SIGTERM);
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, (std::vector<int>{SIGHUP, SIGTERM}));
}

TEST(TerminationSignals, OnlyOneWatcherAtATime)
{
    platform::TerminationSignals first([](int) {});
    EXPECT_ANY_THROW(platform::TerminationSignals second([](int) {}));
}
