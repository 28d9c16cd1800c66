// Every fault knob of the interface unit and of the repeaters.
#include "SimFixture.h"

using namespace simtest;
using Kind = sim::ReplyFault::Kind;

namespace {

const Bytes kKeepAlive{0xC0, 0x3A, 0x02};
const Bytes kKeepAliveReply{0x3A, 0x02, 0x1D, 0xB0};

Bytes WriteBand(std::uint8_t band)
{
    return RelayRecord(sim::rcWriteItem, kRepA, {sim::ciGsmBand, 0x00, 0x01, band});
}

}  // namespace

using SimUnitFault = SimTest;

TEST_F(SimUnitFault, SilentUnitHearsAndDoesNothing)
{
    unit.SetSilent(true);
    ExpectSilence(kKeepAlive);
    ExpectSilence({0xC0, 0xA5, 0x01});
    EXPECT_FALSE(unit.CommsMode());
    EXPECT_EQ(unit.Received().size(), 2u);  // still logged
    unit.ClearFaults();
    EXPECT_EQ(Ask(kKeepAlive), kKeepAliveReply);
}

TEST_F(SimUnitFault, DropNextReplies)
{
    unit.DropNextReplies(2);
    ExpectSilence(kKeepAlive);
    ExpectSilence({0xC0, 0xA5, 0x01});
    EXPECT_EQ(unit.CommsMode(), 1);  // acted on, answer lost
    EXPECT_EQ(Ask(kKeepAlive), kKeepAliveReply);
    ASSERT_EQ(unit.Sent().size(), 3u);
    EXPECT_TRUE(unit.Sent()[0].dropped);
    EXPECT_TRUE(unit.Sent()[1].dropped);
    EXPECT_FALSE(unit.Sent()[2].dropped);
    EXPECT_EQ(unit.SentWithId(0x3A).size(), 1u);
}

TEST_F(SimUnitFault, DropRepliesToOneCommand)
{
    unit.DropRepliesTo(0xA5, 1);
    ExpectSilence({0xC0, 0xA5, 0x01});
    EXPECT_EQ(Ask(kKeepAlive), kKeepAliveReply);
    EXPECT_EQ(Ask({0xC0, 0xA5, 0x01}), (Bytes{0xA5, 0x01}));

    unit.DropRepliesTo(0x3A);  // until cleared
    ExpectSilence(kKeepAlive);
    ExpectSilence(kKeepAlive);
    unit.ClearFaults();
    EXPECT_EQ(Ask(kKeepAlive), kKeepAliveReply);
}

TEST_F(SimUnitFault, DropRepliesToRelays)
{
    unit.AddRepeater(kRepA);
    unit.DropRepliesTo(0xA7);
    ExpectSilence(WriteBand(2));
    EXPECT_EQ(unit.FindRepeater(kRepA)->Item(sim::ciGsmBand)->at(0), 2);  // the repeater acted
    EXPECT_EQ(Ask(RelayRecord(sim::rcReadItem, kRepA, {sim::ciGsmBand}, sim::icRelayChirp))[0], 0x7B);
}

TEST_F(SimUnitFault, DelayedRepliesWaitForTheirTime)
{
    unit.SetReplyDelayMs(300);
    now = 1000;
    Send(kKeepAlive);
    EXPECT_TRUE(Waiting().empty());
    EXPECT_EQ(unit.NextDueMs(), 1300);
    unit.Pump(1299);
    EXPECT_TRUE(Waiting().empty());
    unit.Pump(1300);
    EXPECT_EQ(Messages(1), std::vector<Bytes>{kKeepAliveReply});
    EXPECT_FALSE(unit.NextDueMs());
}

TEST_F(SimUnitFault, CorruptedChecksums)
{
    unit.CorruptNextChecksums(1);
    Send(kKeepAlive);
    auto f = host.ReadFrames(1, 2000);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_FALSE(f[0].checksumOk);
    EXPECT_EQ(f[0].payload, kKeepAliveReply);
    EXPECT_TRUE(unit.Sent()[0].corrupted);
    EXPECT_EQ(Ask(kKeepAlive), kKeepAliveReply);  // only the next one
}

TEST_F(SimUnitFault, NoiseBeforeTheNextReply)
{
    const Bytes frame = sim::EncodeUnitFrame(kKeepAliveReply);
    unit.SetNoise({0x00, 0x11});
    Send(kKeepAlive);
    Bytes expected{0x00, 0x11};
    expected.insert(expected.end(), frame.begin(), frame.end());
    EXPECT_EQ(ReadRaw(expected.size()), expected);
    Send(kKeepAlive);
    EXPECT_EQ(ReadRaw(frame.size()), frame);  // once only
}

TEST_F(SimUnitFault, NoiseBeforeEachReplyInAWriteOfItsOwn)
{
    const Bytes frame = sim::EncodeUnitFrame(kKeepAliveReply);
    unit.SetNoise({0x13}, true, true);
    for (int i = 0; i < 2; ++i) {
        Send(kKeepAlive);
        EXPECT_EQ(ReadRaw(1), Bytes{0x13});
        EXPECT_TRUE(host.ReadAvailable().empty());
        unit.Pump(now);
        EXPECT_EQ(ReadRaw(frame.size()), frame);
    }
}

TEST_F(SimUnitFault, SplitRepliesGoOutOnePiecePerPump)
{
    unit.AddRepeater(kRepA);
    // The reply carries the address 00 24 1F, an AA FE on the wire at 6 and
    // 7: the last piece begins with the FE of that pair.
    const Bytes msg = RepeaterReply(0xC9, kRepA, {sim::ciGsmBand, 0x00});
    const Bytes frame = sim::EncodeUnitFrame(msg);
    ASSERT_EQ(frame[6], 0xAA);
    ASSERT_EQ(frame[7], 0xFE);
    unit.SetSplit({7, 3, 3, 0, 999});
    Send(RelayRecord(sim::rcReadItem, kRepA, {sim::ciGsmBand}));
    EXPECT_EQ(ReadRaw(3), Bytes(frame.begin(), frame.begin() + 3));
    EXPECT_TRUE(host.ReadAvailable().empty());
    unit.Pump(now);  // same time, later Pump
    EXPECT_EQ(ReadRaw(4), Bytes(frame.begin() + 3, frame.begin() + 7));
    EXPECT_TRUE(unit.HasPendingOutput());
    unit.Pump(now);
    EXPECT_EQ(ReadRaw(frame.size() - 7), Bytes(frame.begin() + 7, frame.end()));
    EXPECT_FALSE(unit.HasPendingOutput());
}

TEST_F(SimUnitFault, NothingIsWrittenInsideASplitReply)
{
    unit.SetSplit({4});
    Bytes two = sim::EncodeHostFrame(kKeepAlive);
    const Bytes second = sim::EncodeHostFrame(Bytes{0xC0, 0xA5, 0x01});
    two.insert(two.end(), second.begin(), second.end());
    host.SendRaw(two);
    ASSERT_TRUE(unit.WaitForInput(2000));
    unit.Pump(now);
    unit.SendRaw({0x00});  // injected while the first reply is half written
    for (int i = 0; i < 6; ++i)
        unit.Pump(now);
    const Bytes a = sim::EncodeUnitFrame(kKeepAliveReply);
    const Bytes b = sim::EncodeUnitFrame(Bytes{0xA5, 0x01});
    Bytes expected = a;
    expected.insert(expected.end(), b.begin(), b.end());
    expected.push_back(0x00);
    EXPECT_EQ(ReadRaw(expected.size()), expected);
}

TEST_F(SimUnitFault, SplitPiecesKeepTheirGap)
{
    unit.SetSplit({5}, 40);
    now = 100;
    Send(kKeepAlive);
    EXPECT_EQ(ReadRaw(5).size(), 5u);
    EXPECT_EQ(unit.NextDueMs(), 140);
    unit.Pump(139);
    EXPECT_TRUE(host.ReadAvailable().empty());
    unit.Pump(140);
    auto f = host.ReadFrames(1, 2000);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].payload, kKeepAliveReply);
}

// ---- repeater faults ---------------------------------------------------

class SimRepeaterFault : public SimTest {
protected:
    sim::Repeater& rep = unit.AddRepeater(kRepA);
};

TEST_F(SimRepeaterFault, RejectionIsAnErrorReplyWithoutEffect)
{
    rep.Reject(sim::rcWriteItem, 0x02, 1);
    EXPECT_EQ(Ask(WriteBand(3)), RepeaterReply(0xFF, kRepA, {sim::rcWriteItem, 0x02}));
    EXPECT_EQ(rep.Item(sim::ciGsmBand)->at(0), 0);
    EXPECT_EQ(rep.FaultCount(), 0u);  // used up
    EXPECT_EQ(Ask(WriteBand(3)), RepeaterReply(0xCB, kRepA, {sim::ciGsmBand}));
    EXPECT_EQ(rep.Item(sim::ciGsmBand)->at(0), 3);
}

TEST_F(SimRepeaterFault, FaultsKeepToTheirCommand)
{
    rep.Reject(sim::rcWriteItem, 0x01);
    EXPECT_EQ(Ask(RelayRecord(sim::rcReadItem, kRepA, {sim::ciGsmBand}))[1], 0xC9);
    EXPECT_EQ(Ask(WriteBand(1))[1], 0xFF);
    EXPECT_EQ(Ask(WriteBand(1))[1], 0xFF);  // until cleared
    rep.ClearFaults();
    EXPECT_EQ(Ask(WriteBand(1))[1], 0xCB);
}

TEST_F(SimRepeaterFault, FaultsKeepToTheirArgument)
{
    sim::ReplyFault f;
    f.kind = Kind::Reject;
    f.command = sim::rcReadItem;
    f.argument = sim::ciRegion;
    f.count = 1;
    rep.AddFault(f);
    const auto read = [&](std::uint8_t item) { return Ask(RelayRecord(sim::rcReadItem, kRepA, {item})); };
    EXPECT_EQ(read(sim::ciGsmBand)[1], 0xC9) << "another item";
    EXPECT_EQ(rep.FaultCount(), 1u) << "not counted for another item";
    EXPECT_EQ(read(sim::ciRegion), RepeaterReply(0xFF, kRepA, {sim::rcReadItem, 0x01}));
    EXPECT_EQ(read(sim::ciRegion)[1], 0xC9) << "used up";
    f.command.reset();
    f.argument = 0x00;
    f.count = -1;
    rep.AddFault(f);
    EXPECT_EQ(Ask(RelayRecord(sim::rcDbRequest, kRepA))[1], 0xEB) << "a command without arguments";
}

TEST_F(SimRepeaterFault, IgnoredCommandHasNoEffect)
{
    rep.AddFault({.kind = Kind::Ignore, .command = sim::rcWriteItem, .count = 1});
    ExpectSilence(WriteBand(2));
    EXPECT_EQ(rep.Item(sim::ciGsmBand)->at(0), 0);
}

TEST_F(SimRepeaterFault, LostReplyStillTakesEffect)
{
    rep.DropReplies(sim::rcWriteItem, 1);
    ExpectSilence(WriteBand(2));
    EXPECT_EQ(rep.Item(sim::ciGsmBand)->at(0), 2);
    ASSERT_EQ(rep.Writes().size(), 1u);
    EXPECT_EQ(rep.Writes()[0].item, sim::ciGsmBand);
}

TEST_F(SimRepeaterFault, WrongItemCode)
{
    rep.AddFault({.kind = Kind::WrongItem, .command = sim::rcWriteItem, .count = 1});
    EXPECT_EQ(Ask(WriteBand(1)), RepeaterReply(0xCB, kRepA, {sim::ciGsmBand + 1}));
    rep.AddFault({.kind = Kind::WrongItem, .command = sim::rcWriteItem, .count = 1, .item = 0x05});
    EXPECT_EQ(Ask(WriteBand(1)), RepeaterReply(0xCB, kRepA, {0x05}));
}

TEST_F(SimRepeaterFault, WrongLength)
{
    rep.AddFault({.kind = Kind::WrongLength, .command = sim::rcReadItem, .count = 1, .lengthDelta = 2});
    EXPECT_EQ(Ask(RelayRecord(sim::rcReadItem, kRepA, {sim::ciGsmBand})),
              RepeaterReply(0xC9, kRepA, {sim::ciGsmBand, 0x00, 0x00, 0x00}));
    rep.AddFault({.kind = Kind::WrongLength, .command = sim::rcReadItem, .count = 1, .lengthDelta = -1});
    EXPECT_EQ(Ask(RelayRecord(sim::rcReadItem, kRepA, {sim::ciGsmBand})), RepeaterReply(0xC9, kRepA, {sim::ciGsmBand}));
}

TEST_F(SimRepeaterFault, ReplyFromAnotherAddress)
{
    rep.AddFault({.kind = Kind::OtherAddress, .command = sim::rcWriteItem, .count = 1});
    EXPECT_EQ(Ask(WriteBand(1)), RepeaterReply(0xCB, kRepA ^ 1u, {sim::ciGsmBand}));
    rep.AddFault({.kind = Kind::OtherAddress, .command = sim::rcWriteItem, .count = 1, .address = 0x123456});
    EXPECT_EQ(Ask(WriteBand(1)), RepeaterReply(0xCB, 0x123456, {sim::ciGsmBand}));
}

TEST_F(SimRepeaterFault, WrongReplyCode)
{
    rep.AddFault({.kind = Kind::WrongCode, .command = sim::rcWriteItem, .count = 1, .code = 0xC9});
    EXPECT_EQ(Ask(WriteBand(1))[1], 0xC9);
}

TEST_F(SimRepeaterFault, LateReplyLetsLaterRepliesPass)
{
    rep.SetLoggedOn(true);
    rep.AddFault({.kind = Kind::Late, .command = sim::rcWriteItem, .count = 1, .delayMs = 500});
    now = 0;
    Send(WriteBand(1));
    EXPECT_TRUE(Waiting().empty());
    now = 100;
    EXPECT_EQ(Ask(RelayRecord(sim::rcRssi, kRepA, {0x00}))[1], 0xCD);
    unit.Pump(500);
    const auto m = Messages(1);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0][1], 0xCB);
}

TEST_F(SimRepeaterFault, DuplicateReply)
{
    rep.AddFault({.kind = Kind::Duplicate, .command = sim::rcWriteItem, .count = 1, .copies = 3});
    Send(WriteBand(1));
    const auto m = Messages(3);
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0], m[2]);
    EXPECT_EQ(m[0][1], 0xCB);
}

TEST_F(SimRepeaterFault, FaultsCombineInOrder)
{
    rep.Reject(sim::rcWriteItem, 0x07, 1);
    rep.AddFault({.kind = Kind::OtherAddress, .command = sim::rcWriteItem, .count = 1, .address = 0x000001});
    EXPECT_EQ(Ask(WriteBand(1)), RepeaterReply(0xFF, 0x000001, {sim::rcWriteItem, 0x07}));
}

TEST_F(SimRepeaterFault, SilentRepeaterIsDiscoveredButDumb)
{
    rep.SetSilent(true);
    ExpectSilence(WriteBand(1));
    EXPECT_EQ(rep.Item(sim::ciGsmBand)->at(0), 0);
    EXPECT_EQ(Ask({0xC0, 0x78}).size(), 6u);
}

TEST_F(SimRepeaterFault, ReplyMadeTooLongIsNotSent)
{
    rep.AddFault({.kind = Kind::WrongLength, .command = sim::rcReadItem, .count = 1, .lengthDelta = 250});
    ExpectSilence(RelayRecord(sim::rcReadItem, kRepA, {sim::ciGsmBand}));
    ASSERT_EQ(unit.Sent().size(), 1u);
    EXPECT_TRUE(unit.Sent()[0].dropped);
}
