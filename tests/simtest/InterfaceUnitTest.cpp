// The interface unit's own commands over a real pseudo-terminal: keep-alive,
// clock, comms mode, discovery, polling, relaying, hang-up and injection.
#include "SimFixture.h"
#include "support/TempDir.h"

#include <filesystem>
#include <unistd.h>

using namespace simtest;

namespace {

Bytes Entry(std::uint32_t id)
{
    const auto e = sim::EncodeDiscoveryId(id);
    return Bytes(e.begin(), e.end());
}

Bytes Batch(std::uint8_t id, std::uint8_t more, std::initializer_list<std::uint32_t> ids)
{
    Bytes m{id, more};
    for (std::uint32_t r : ids) {
        const Bytes e = Entry(r);
        m.insert(m.end(), e.begin(), e.end());
    }
    return m;
}

}  // namespace

using SimUnit = SimTest;

TEST_F(SimUnit, KeepAliveReportsTheBatteryOverThePty)
{
    now = 1234;
    EXPECT_EQ(Ask({0xC0, 0x3A, 0x02}), (Bytes{0x3A, 0x02, 0x1D, 0xB0}));  // 7600 mV
    unit.SetBatteryMv(6249);
    EXPECT_EQ(Ask({0xC0, 0x3A, 0x02}), (Bytes{0x3A, 0x02, 0x18, 0x69}));

    ASSERT_EQ(unit.Received().size(), 2u);
    const sim::ReceivedFrame& f = unit.Received()[0];
    EXPECT_EQ(f.timeMs, 1234);
    EXPECT_TRUE(f.checksumOk);
    EXPECT_EQ(f.record, (Bytes{0xC0, 0x3A, 0x02}));
    EXPECT_EQ(f.wire, (Bytes{0x24, 0x04, 0xC0, 0x3A, 0x02, 0x04}));
    EXPECT_EQ(unit.CountCommand(sim::icStatus), 2u);
    unit.ClearReceived();
    EXPECT_TRUE(unit.Received().empty());
}

TEST_F(SimUnit, RepliesCarryTheHeaderByte)
{
    unit.SetHeaderByte(0x07);
    host.Send({0xC0, 0xA5, 0x01});
    ASSERT_TRUE(unit.WaitForInput(2000));
    unit.Pump(now);
    auto f = host.ReadFrames(1, 2000);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].header, 0x07);
    EXPECT_TRUE(f[0].checksumOk);
}

TEST_F(SimUnit, ClockIsRecordedAndNotAnswered)
{
    EXPECT_FALSE(unit.LastClock());
    ExpectSilence({0xC0, 0x32, 0x4A, 0x4B, 0x4C, 0x4D});
    EXPECT_EQ(unit.LastClock(), 0x4A4B4C4Du);
    EXPECT_TRUE(unit.Sent().empty());
}

TEST_F(SimUnit, CommsModeIsAnsweredAndRemembered)
{
    EXPECT_FALSE(unit.CommsMode());
    EXPECT_EQ(Ask({0xC0, 0xA5, 0x01}), (Bytes{0xA5, 0x01}));
    EXPECT_EQ(unit.CommsMode(), 1);
    EXPECT_EQ(Ask({0xC0, 0xA5, 0x00}), (Bytes{0xA5, 0x00}));
    EXPECT_EQ(unit.CommsMode(), 0);
}

TEST_F(SimUnit, DiscoveryComesInBatchesWithAMoreFollowsFlag)
{
    for (std::uint32_t id : {kRepA, kRepB, 4194305u, 77u, 88u})
        unit.AddRepeater(id);
    unit.SetDiscoveryBatchSize(2);
    EXPECT_EQ(Ask({0xC0, 0x78}), Batch(0x78, 1, {kRepA, kRepB}));
    EXPECT_EQ(Ask({0xC0, 0x79}), Batch(0x79, 1, {4194305u, 77u}));
    EXPECT_EQ(Ask({0xC0, 0x79}), Batch(0x79, 0, {88u}));
    EXPECT_EQ(Ask({0xC0, 0x79}), (Bytes{0x79, 0x00}));  // nothing left
    // A new cycle starts over.
    EXPECT_EQ(Ask({0xC0, 0x78}), Batch(0x78, 1, {kRepA, kRepB}));
}

TEST_F(SimUnit, DiscoveryListsOnlyRepeatersInRange)
{
    EXPECT_EQ(Ask({0xC0, 0x78}), (Bytes{0x78, 0x00}));  // nobody there
    unit.AddRepeater(kRepA);
    unit.AddRepeater(kRepB).SetPresent(false);
    unit.AddRepeater(77).SetDiscoverable(false);
    EXPECT_EQ(Ask({0xC0, 0x78}), Batch(0x78, 0, {kRepA}));
    // One repeater, id 9247: 78 00 00 00 24 1F.
    EXPECT_EQ(Ask({0xC0, 0x78}), (Bytes{0x78, 0x00, 0x00, 0x00, 0x24, 0x1F}));

    unit.SetDiscoveryList(std::vector<std::uint32_t>{5, 5, 6});
    EXPECT_EQ(Ask({0xC0, 0x78}), Batch(0x78, 0, {5, 5, 6}));
    EXPECT_THROW(unit.SetDiscoveryList(std::vector<std::uint32_t>{sim::kMaxDiscoveryId + 1}), std::out_of_range);
    unit.SetDiscoveryList(std::nullopt);
    EXPECT_EQ(Ask({0xC0, 0x78}), Batch(0x78, 0, {kRepA}));
}

TEST_F(SimUnit, FullBatchesFitOneFrame)
{
    std::vector<std::uint32_t> ids;
    for (std::uint32_t i = 0; i < 70; ++i)
        ids.push_back(1000 + i);
    unit.SetDiscoveryList(ids);
    unit.SetDiscoveryBatchSize(500);  // clamped to 61
    const Bytes first = Ask({0xC0, 0x78});
    EXPECT_EQ(first.size(), 2u + 61 * 4);
    EXPECT_EQ(first[1], 1);
    const Bytes rest = Ask({0xC0, 0x79});
    EXPECT_EQ(rest.size(), 2u + 9 * 4);
    EXPECT_EQ(rest[1], 0);
}

TEST_F(SimUnit, BadChecksumIsLoggedAndNotAnswered)
{
    host.SendRaw(sim::EncodeHostFrame(Bytes{0xC0, 0x3A, 0x02}, 0x05));
    ASSERT_TRUE(unit.WaitForInput(2000));
    unit.Pump(now);
    EXPECT_TRUE(Waiting().empty());
    ASSERT_EQ(unit.Received().size(), 1u);
    EXPECT_FALSE(unit.Received()[0].checksumOk);
    EXPECT_EQ(unit.BadChecksumCount(), 1u);
    EXPECT_EQ(unit.CountCommand(sim::icStatus), 0u);  // helpers count good frames only
}

TEST_F(SimUnit, GarbageBetweenFramesIsSkipped)
{
    Bytes stream{0x00, 0x11, 0x13, 0x0D, 0x0A};
    const Bytes a = sim::EncodeHostFrame(Bytes{0xC0, 0xA5, 0x01});
    const Bytes b = sim::EncodeHostFrame(Bytes{0xC0, 0x3A, 0x02});
    stream.insert(stream.end(), a.begin(), a.end());
    stream.push_back(0x55);
    stream.insert(stream.end(), b.begin(), b.end());
    host.SendRaw(stream);
    ASSERT_TRUE(unit.WaitForInput(2000));
    unit.Pump(now);
    const auto m = Messages(2);
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0][0], 0xA5);
    EXPECT_EQ(m[1][0], 0x3A);
    EXPECT_EQ(unit.DiscardedBytes(), 6u);
}

TEST_F(SimUnit, FrameSplitAcrossPumpsIsTakenWhenComplete)
{
    const Bytes w = sim::EncodeHostFrame(Bytes{0xC0, 0x3A, 0x02});
    host.SendRaw(Bytes(w.begin(), w.begin() + 3));
    ASSERT_TRUE(unit.WaitForInput(2000));
    now = 10;
    unit.Pump(now);
    EXPECT_TRUE(unit.Received().empty());
    host.SendRaw(Bytes(w.begin() + 3, w.end()));
    ASSERT_TRUE(unit.WaitForInput(2000));
    now = 20;
    unit.Pump(now);
    ASSERT_EQ(unit.Received().size(), 1u);
    EXPECT_EQ(unit.Received()[0].timeMs, 20);
    EXPECT_EQ(Messages(1).size(), 1u);
}

TEST_F(SimUnit, UnknownCommandsAndForeignRecordsAreIgnored)
{
    ExpectSilence({0xC0, 0x55, 0x01});
    ExpectSilence({0xC1, 0x3A, 0x02});  // no host tag
    EXPECT_EQ(unit.Received().size(), 2u);
}

TEST_F(SimUnit, IdlePollGetsTheStatusOfTheRepeaterLastAddressed)
{
    EXPECT_EQ(Ask({0xC0, 0x2D}), (Bytes{0x2D, 0x00}));  // no repeater: short
    unit.AddRepeater(kRepA);
    sim::Repeater& b = unit.AddRepeater(kRepB);
    b.SetLoggedOn(true);
    b.SetCalibrationError(true);
    // Before any relay: the first repeater.
    Bytes r = Ask({0xC0, 0x2D});
    ASSERT_EQ(r.size(), 16u);
    EXPECT_EQ(r[2], 0x00);
    EXPECT_EQ((Bytes{r[4], r[5], r[6]}), (Bytes{0x00, 0x24, 0x1F}));
    // After a relay to B: B's status, with the calibration error 'Q'.
    Ask(RelayRecord(sim::rcRssi, kRepB, {0x00}));
    r = Ask({0xC0, 0x2D});
    ASSERT_EQ(r.size(), 16u);
    EXPECT_EQ(r[2], 0x51);
    EXPECT_EQ((Bytes{r[4], r[5], r[6]}), (Bytes{0xBC, 0x61, 0x4E}));

    unit.SetIdlePollReports(false);
    EXPECT_EQ(Ask({0xC0, 0x2D}), (Bytes{0x2D, 0x00}));
}

TEST_F(SimUnit, JobReportFollowsAShortReply)
{
    unit.AddRepeater(kRepA).SetLoggedOn(true);
    EXPECT_EQ(Ask(RelayRecord(sim::rcEcuState, kRepA, {0x01, 30})),
              RepeaterReply(0xD5, kRepA, {0x01}));
    EXPECT_EQ(unit.PendingReports(), 1u);
    EXPECT_EQ(Ask({0xC0, 0x2D}), (Bytes{0x2D, 0x01}));  // short first
    const Bytes r = Ask({0xC0, 0x2D});
    ASSERT_EQ(r.size(), 16u);
    EXPECT_EQ(r[0], 0x2D);
    EXPECT_EQ(r[2] & 0x01, 0x01);  // logged on
    EXPECT_EQ(r[3], sim::report::Patrol);
    EXPECT_EQ((Bytes{r[4], r[5], r[6]}), (Bytes{0x00, 0x24, 0x1F}));
    EXPECT_EQ(unit.PendingReports(), 0u);
}

TEST_F(SimUnit, JobReportWaitsForTheJobToEnd)
{
    sim::Repeater& a = unit.AddRepeater(kRepA);
    a.SetJobDurationMs(5000);
    unit.SetShortPollsBeforeReport(0);
    unit.SetReportLength(20);
    Ask(RelayRecord(sim::rcEcuState, kRepA, {0x00, 0x10}));  // log on
    for (now = 0; now < 5000; now += 250)
        ASSERT_EQ(Ask({0xC0, 0x2D}).size(), 2u) << now;
    const Bytes r = Ask({0xC0, 0x2D});
    ASSERT_EQ(r.size(), 20u);
    EXPECT_EQ(r[2], 0x01);
    EXPECT_EQ(r[3], sim::report::LogOn);
    EXPECT_TRUE(a.LoggedOn());
}

TEST_F(SimUnit, ReportLengthFifteenIsShortToTheProgram)
{
    unit.AddRepeater(kRepA);
    unit.SetReportLength(15);
    EXPECT_EQ(Ask({0xC0, 0x2D}).size(), 15u);
    unit.SetReportLength(3);  // clamped: address must fit
    EXPECT_EQ(Ask({0xC0, 0x2D}).size(), 7u);
}

TEST_F(SimUnit, QueuedReportsOfTheCallersMaking)
{
    unit.SetIdlePollReports(false);
    sim::PollReport p;
    p.address = 0x123456;
    p.reason = 0x33;
    p.outcome = 0x00;
    unit.QueuePollReport(p);
    unit.SetShortPollsBeforeReport(2);
    EXPECT_EQ(Ask({0xC0, 0x2D}).size(), 2u);
    EXPECT_EQ(Ask({0xC0, 0x2D}).size(), 2u);
    const Bytes r = Ask({0xC0, 0x2D});
    ASSERT_EQ(r.size(), 16u);
    EXPECT_EQ(r[1], 0x33);
    EXPECT_EQ((Bytes{r[4], r[5], r[6]}), (Bytes{0x12, 0x34, 0x56}));
}

TEST_F(SimUnit, RelaysReachOnlyRepeatersPresent)
{
    unit.AddRepeater(kRepA);
    unit.AddRepeater(kRepB).SetPresent(false);
    EXPECT_EQ(Ask(RelayRecord(sim::rcReadItem, kRepA, {sim::ciGsmBand})),
              RepeaterReply(0xC9, kRepA, {sim::ciGsmBand, 0x00}));
    ExpectSilence(RelayRecord(sim::rcReadItem, kRepB, {sim::ciGsmBand}));
    ExpectSilence(RelayRecord(sim::rcReadItem, 0xFFFFFF, {sim::ciGsmBand}));
    ExpectSilence({0xC0, 0xA7, 0xC8, 0x00, 0x24});  // too short to carry an address
    // The chirp relay 'z' is answered with '{'.
    EXPECT_EQ(Ask(RelayRecord(sim::rcReadItem, kRepA, {sim::ciGsmBand}, sim::icRelayChirp)),
              RepeaterReply(0xC9, kRepA, {sim::ciGsmBand, 0x00}, sim::icRelayChirpReply));
    const auto relays = unit.RelaysWithCommand(sim::rcReadItem);
    ASSERT_EQ(relays.size(), 4u);
    EXPECT_EQ(relays[1].RepeaterAddress(), 0xBC614Eu);
    EXPECT_EQ(relays[0].RepeaterArgs(), (Bytes{sim::ciGsmBand}));
}

TEST_F(SimUnit, RelaysCanRequireRepeaterCommsMode)
{
    unit.AddRepeater(kRepA);
    unit.SetRequireCommsMode(true);
    ExpectSilence(RelayRecord(sim::rcReadClock, kRepA));
    Ask({0xC0, 0xA5, 0x01});
    EXPECT_EQ(Ask(RelayRecord(sim::rcReadClock, kRepA)).size(), 10u);
    Ask({0xC0, 0xA5, 0x00});
    ExpectSilence(RelayRecord(sim::rcReadClock, kRepA));
}

TEST_F(SimUnit, HangUpLooksLikeALostLinkAndCanBeUndone)
{
    const std::string oldPath = unit.SlavePath();
    EXPECT_FALSE(host.HungUp());
    unit.HangUp();
    EXPECT_FALSE(unit.IsOpen());
    EXPECT_EQ(unit.MasterFd(), -1);
    EXPECT_TRUE(host.HungUp());
    unit.Pump(100);  // harmless while hung up

    unit.Recreate();
    ASSERT_TRUE(unit.IsOpen());
    sim::HostSide again(unit.SlavePath());
    again.Send({0xC0, 0x3A, 0x02});
    ASSERT_TRUE(unit.WaitForInput(2000));
    unit.Pump(200);
    auto f = again.ReadFrames(1, 2000);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].payload[0], 0x3A);
}

TEST_F(SimUnit, HangUpLosesRepliesNotYetWritten)
{
    unit.SetReplyDelayMs(100);
    Send({0xC0, 0x3A, 0x02});
    EXPECT_TRUE(unit.HasPendingOutput());
    unit.HangUp();
    EXPECT_FALSE(unit.HasPendingOutput());
}

TEST_F(SimUnit, SymlinkFollowsThePty)
{
    TempDir dir;
    const std::string link = dir.File("vigilator");
    unit.SetSymlink(link);
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), unit.SlavePath());
    unit.Recreate();
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), unit.SlavePath());
    unit.SetSymlink("");
    EXPECT_FALSE(std::filesystem::is_symlink(link));

    // A real file is never replaced.
    const std::string file = dir.File("plain");
    { std::FILE* f = std::fopen(file.c_str(), "w"); ASSERT_NE(f, nullptr); std::fclose(f); }
    EXPECT_THROW(unit.SetSymlink(file), std::runtime_error);
    EXPECT_TRUE(std::filesystem::is_regular_file(file));
}

TEST_F(SimUnit, SymlinkIsRemovedWithTheSimulator)
{
    TempDir dir;
    const std::string link = dir.File("vig");
    {
        sim::InterfaceUnit other;
        other.SetSymlink(link);
        EXPECT_TRUE(std::filesystem::is_symlink(link));
    }
    EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST_F(SimUnit, InjectedBytesAndMessagesGoOutInOrder)
{
    unit.SendRaw({0x00, 0x11});
    unit.SendMessage({0x3A, 0x02, 0x1D, 0x4C});
    EXPECT_TRUE(unit.HasPendingOutput());
    unit.Pump(now);
    const Bytes got = ReadRaw(9);
    const Bytes frame = sim::EncodeUnitFrame(Bytes{0x3A, 0x02, 0x1D, 0x4C});
    Bytes expected{0x00, 0x11};
    expected.insert(expected.end(), frame.begin(), frame.end());
    EXPECT_EQ(got, expected);
    ASSERT_EQ(unit.Sent().size(), 2u);
    EXPECT_TRUE(unit.Sent()[0].injected);
    EXPECT_EQ(unit.Sent()[1].message, (Bytes{0x3A, 0x02, 0x1D, 0x4C}));
}

TEST_F(SimUnit, SentLogRecordsReplies)
{
    Ask({0xC0, 0x3A, 0x02});
    Ask({0xC0, 0xA5, 0x01});
    ASSERT_EQ(unit.SentWithId(0xA5).size(), 1u);
    EXPECT_EQ(unit.SentWithId(0xA5)[0].wire, sim::EncodeUnitFrame(Bytes{0xA5, 0x01}));
    unit.ClearSent();
    EXPECT_TRUE(unit.Sent().empty());
}

TEST_F(SimUnit, LoggerSeesFrames)
{
    std::vector<std::string> lines;
    unit.SetLogger([&](const std::string& l) { lines.push_back(l); });
    now = 42;
    Ask({0xC0, 0x3A, 0x02});
    ASSERT_GE(lines.size(), 2u);
    EXPECT_NE(lines[0].find("[42] rx C0 3A 02"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("tx 3A 02 1D B0"), std::string::npos) << lines[1];
}
