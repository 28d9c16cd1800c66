// The repeater command set through the interface unit: request bytes in,
// reply layouts out, and what each command does to the repeater.
#include "SimFixture.h"

using namespace simtest;

namespace {

Bytes Write(std::uint8_t item, const Bytes& value)
{
    Bytes args{item, 0x00, static_cast<std::uint8_t>(value.size())};
    args.insert(args.end(), value.begin(), value.end());
    return RelayRecord(sim::rcWriteItem, kRepA, args);
}

Bytes Read(std::uint8_t item)
{
    return RelayRecord(sim::rcReadItem, kRepA, {item});
}

Bytes Error(std::uint8_t command, std::uint8_t code)
{
    return RepeaterReply(0xFF, kRepA, {command, code});
}

Bytes Text(const std::string& s)
{
    Bytes b(s.begin(), s.end());
    b.push_back(0);
    return b;
}

}  // namespace

class SimRepeater : public SimTest {
protected:
    sim::Repeater& rep = unit.AddRepeater(kRepA);

    // Acknowledges a job, then polls (one short reply first) for its report.
    Bytes JobReport(const Bytes& request, std::uint8_t ackCode)
    {
        const Bytes ack = Ask(request);
        EXPECT_EQ(ack[1], ackCode) << sim::Hex(ack);
        EXPECT_EQ(Ask({0xC0, 0x2D}).size(), 2u);
        const Bytes r = Ask({0xC0, 0x2D});
        EXPECT_EQ(r.size(), 16u);
        return r;
    }
};

TEST_F(SimRepeater, ReadItemLayouts)
{
    EXPECT_EQ(Ask(Read(sim::ciFirmwareVersion)),
              RepeaterReply(0xC9, kRepA, {0x20, 0x01, 0x0A, 0x00, 0x03, 0x00}));  // len 11
    EXPECT_EQ(Ask(Read(sim::ciEcuNumber)), RepeaterReply(0xC9, kRepA, {0x01, 0x92, 0x47}));  // from serial 9247
    EXPECT_EQ(Ask(Read(sim::ciPatrolTime)), RepeaterReply(0xC9, kRepA, {0x05, 0x02, 0x00}));
    EXPECT_EQ(Ask(Read(sim::ciEcuOptions)).size(), 7u);
    EXPECT_EQ(Ask(Read(sim::ciRegion)), RepeaterReply(0xC9, kRepA, {0x21, 0x44}));
    EXPECT_EQ(Ask(Read(sim::ciSmsSuccessCounter)), RepeaterReply(0xC9, kRepA, {0x0E, 0x00, 0x00}));  // len 8
    EXPECT_EQ(Ask(Read(sim::ciFtpFolder)), RepeaterReply(0xC9, kRepA, {0x36, 0x00}));
    EXPECT_EQ(Ask(Read(sim::ciSerialNumber)), RepeaterReply(0xC9, kRepA, {0x00, 0x00, 0x24, 0x1F}));
}

TEST_F(SimRepeater, UnknownItemIsRefusedWithCodeOne)
{
    EXPECT_EQ(Ask(Read(0x02)), Error(sim::rcReadItem, 0x01));
    EXPECT_EQ(Ask(Read(0x02)).size(), 7u);
    EXPECT_EQ(Ask(RelayRecord(sim::rcReadItem, kRepA)), Error(sim::rcReadItem, 0x02));
}

TEST_F(SimRepeater, WrittenValuesAreStoredAndReadBack)
{
    const struct {
        std::uint8_t item;
        Bytes value;
    } cases[] = {
        {sim::ciSerialNumber, {0xC6, 0x5D, 0x3F}},
        {sim::ciEcuNumber, {0x56, 0x78}},
        {sim::ciHostNumber, Text("+441234567890")},
        {sim::ciPatrolTime, {0x23, 0x59}},
        {sim::ciPatrolDuration, {240}},
        {sim::ciPatrolDays, {0x41}},
        {sim::ciAlarmReport, {'b'}},
        {sim::ciRadioFailCounter, {0x00, 0x00}},
        {sim::ciEcuOptions, {0x0B}},
        {sim::ciGsmBand, {3}},
        {sim::ciReportStagger, {4, 30}},
        {sim::ciGpsCoords, {0x42, 0x4E, 0x00, 0x00, 0xC0, 0x40, 0x00, 0x00}},
        {sim::ciFtpFolder, Text("")},
        {sim::ciApn, Text("internet")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Ask(Write(c.item, c.value)), RepeaterReply(0xCB, kRepA, {c.item})) << int(c.item);
        Bytes expected{c.item};
        expected.insert(expected.end(), c.value.begin(), c.value.end());
        EXPECT_EQ(Ask(Read(c.item)), RepeaterReply(0xC9, kRepA, expected)) << int(c.item);
    }
    EXPECT_EQ(rep.ItemText(sim::ciHostNumber), "+441234567890");
    EXPECT_EQ(rep.EcuOptions(), 0x0B);
    ASSERT_EQ(rep.Writes().size(), std::size(cases));
    EXPECT_EQ(rep.Writes()[0].item, sim::ciSerialNumber);
    EXPECT_EQ(rep.Writes()[0].value, (Bytes{0xC6, 0x5D, 0x3F}));
}

TEST_F(SimRepeater, MalformedWritesAreRefused)
{
    EXPECT_EQ(Ask(Write(sim::ciGsmBand, {1, 2})), Error(sim::rcWriteItem, 0x02));            // wrong length
    EXPECT_EQ(Ask(Write(sim::ciHostNumber, {'1', '2'})), Error(sim::rcWriteItem, 0x02));     // no NUL
    EXPECT_EQ(Ask(Write(sim::ciHostNumber, {})), Error(sim::rcWriteItem, 0x02));             // not even a NUL
    EXPECT_EQ(Ask(Write(sim::ciFirmwareVersion, {1, 2, 3, 4, 5})), Error(sim::rcWriteItem, 0x01));
    EXPECT_EQ(Ask(Write(sim::ciRegion, {0x44})), Error(sim::rcWriteItem, 0x01));
    EXPECT_EQ(Ask(Write(0x02, {0})), Error(sim::rcWriteItem, 0x01));
    // N disagreeing with the bytes sent, and a second byte other than 0.
    EXPECT_EQ(Ask(RelayRecord(sim::rcWriteItem, kRepA, {sim::ciGsmBand, 0x00, 0x02, 0x01})), Error(sim::rcWriteItem, 0x02));
    EXPECT_EQ(Ask(RelayRecord(sim::rcWriteItem, kRepA, {sim::ciGsmBand, 0x01, 0x01, 0x01})), Error(sim::rcWriteItem, 0x02));
    EXPECT_TRUE(rep.Writes().empty());
    EXPECT_EQ(rep.Item(sim::ciGsmBand)->at(0), 0);
}

TEST_F(SimRepeater, LongestTextIsCutToFitTheReply)
{
    const std::string s(242, 'x');
    EXPECT_EQ(Ask(Write(sim::ciApn, Text(s)))[1], 0xCB);
    EXPECT_EQ(rep.ItemText(sim::ciApn), s);
    const Bytes r = Ask(Read(sim::ciApn));
    EXPECT_EQ(r.size(), 248u);
    EXPECT_EQ(r.back(), 0x00);
}

TEST_F(SimRepeater, ClockRunsFromTheTimeSet)
{
    const auto t = sim::PackTime({2009, 6, 15, 13, 45, 30, 1});
    now = 10000;
    EXPECT_EQ(Ask(RelayRecord(sim::rcSetClock, kRepA, Bytes(t.begin(), t.end()))), RepeaterReply(0xD1, kRepA));
    ASSERT_TRUE(rep.LastClockSet());
    EXPECT_EQ(*rep.LastClockSet(), t);
    now = 10000 + 61500;
    const auto later = sim::PackTime({2009, 6, 15, 13, 46, 31, 1});
    EXPECT_EQ(Ask(RelayRecord(sim::rcReadClock, kRepA)), RepeaterReply(0xD3, kRepA, Bytes(later.begin(), later.end())));
    EXPECT_EQ(Ask(RelayRecord(sim::rcSetClock, kRepA, {1, 2, 3})), Error(sim::rcSetClock, 0x02));
}

TEST_F(SimRepeater, ImpossibleTimeIsReadBackAsSet)
{
    const Bytes bad{0xFF, 0xFF, 0xFF, 0xFF, 0x1F};
    EXPECT_EQ(Ask(RelayRecord(sim::rcSetClock, kRepA, bad))[1], 0xD1);
    now = 5000;
    EXPECT_EQ(Ask(RelayRecord(sim::rcReadClock, kRepA)), RepeaterReply(0xD3, kRepA, bad));
}

TEST_F(SimRepeater, RegionIsSetWithItsOwnCommand)
{
    EXPECT_EQ(Ask(RelayRecord(sim::rcRegion, kRepA, {0x85})), RepeaterReply(0xE5, kRepA, {0x85}));
    EXPECT_EQ(rep.Region(), 0x85);
    EXPECT_EQ(Ask(Read(sim::ciRegion)), RepeaterReply(0xC9, kRepA, {0x21, 0x85}));
}

TEST_F(SimRepeater, EcuStateCommands)
{
    EXPECT_EQ(Ask(RelayRecord(sim::rcEcuState, kRepA, {0x04, 0x55})), RepeaterReply(0xD5, kRepA, {0x04}));
    EXPECT_TRUE(rep.Asleep());
    EXPECT_EQ(unit.PendingReports(), 0u);  // sleep is no polled job
    EXPECT_EQ(Ask(RelayRecord(sim::rcEcuState, kRepA, {0x04, 0x00})), Error(sim::rcEcuState, 0x02));
    EXPECT_EQ(Ask(RelayRecord(sim::rcEcuState, kRepA, {0x02, 0x00})), Error(sim::rcEcuState, 0x02));
    EXPECT_EQ(Ask(RelayRecord(sim::rcEcuState, kRepA, {0x01})), Error(sim::rcEcuState, 0x02));
}

TEST_F(SimRepeater, TestPatrolReportsTheLoggersHeard)
{
    rep.SetLoggers({sim::LoggerEntry{}, sim::LoggerEntry{}, sim::LoggerEntry{}});
    const Bytes r = JobReport(RelayRecord(sim::rcEcuState, kRepA, {0x01, 30}), 0xD5);
    EXPECT_EQ(rep.LastPatrolSeconds(), 30);
    EXPECT_EQ(r[3], sim::report::Patrol);
    EXPECT_EQ(r[7], 3);
    EXPECT_FALSE(rep.Asleep());
}

TEST_F(SimRepeater, GsmLogOnAndSignalStrength)
{
    EXPECT_EQ(Ask(RelayRecord(sim::rcRssi, kRepA, {0x00})), Error(sim::rcRssi, 0x05));
    const Bytes on = JobReport(RelayRecord(sim::rcEcuState, kRepA, {0x00, 0x10}), 0xD5);
    EXPECT_EQ(on[2] & 0x01, 0x01);
    EXPECT_TRUE(rep.LoggedOn());
    rep.SetSignalStrength(16);
    EXPECT_EQ(Ask(RelayRecord(sim::rcRssi, kRepA, {0x00})), RepeaterReply(0xCD, kRepA, {0x00, 0x00, 16}));
    // The chirp relay answers the same way.
    EXPECT_EQ(Ask(RelayRecord(sim::rcRssi, kRepA, {0x00}, sim::icRelayChirp)),
              RepeaterReply(0xCD, kRepA, {0x00, 0x00, 16}, sim::icRelayChirpReply));

    const Bytes off = JobReport(RelayRecord(sim::rcEcuState, kRepA, {0x00, 0x1F}), 0xD5);
    EXPECT_EQ(off[2] & 0x01, 0x00);
    EXPECT_EQ(off[3], sim::report::LogOff);
    EXPECT_FALSE(rep.LoggedOn());
}

TEST_F(SimRepeater, GsmFailuresCarryReasonAndOutcomeBits)
{
    rep.Gsm().logOnSucceeds = false;
    rep.Gsm().logOnFailReason = 0x33;
    const Bytes on = JobReport(RelayRecord(sim::rcEcuState, kRepA, {0x00, 0x10}), 0xD5);
    EXPECT_EQ(on[1], 0x33);
    EXPECT_EQ(on[2] & 0x01, 0x00);
    EXPECT_EQ(rep.Counter(sim::ciLogonFailCounter), 1);

    rep.SetLoggedOn(true);
    rep.Gsm().logOffSucceeds = false;
    const Bytes off = JobReport(RelayRecord(sim::rcEcuState, kRepA, {0x00, 0x1F}), 0xD5);
    EXPECT_EQ(off[2] & 0x01, 0x01);  // still on the network
    EXPECT_TRUE(rep.LoggedOn());
}

TEST_F(SimRepeater, TestSms)
{
    const Bytes number{'+', '4', '4', '1', '2'};
    Bytes args{0x00};
    args.insert(args.end(), number.begin(), number.end());
    EXPECT_EQ(Ask(RelayRecord(sim::rcTest, kRepA, args)), Error(sim::rcTest, 0x05));  // not logged on

    rep.SetLoggedOn(true);
    EXPECT_EQ(Ask(RelayRecord(sim::rcTest, kRepA, {0x00})), Error(sim::rcTest, 0x01));            // no number
    EXPECT_EQ(Ask(RelayRecord(sim::rcTest, kRepA, {0x00, '1', ' '})), Error(sim::rcTest, 0x01));  // not a digit
    const Bytes ok = JobReport(RelayRecord(sim::rcTest, kRepA, args), 0xE7);
    EXPECT_EQ(ok[2] & 0x02, 0x02);
    EXPECT_EQ(ok[3], sim::report::TestSms);
    EXPECT_EQ(rep.LastTestSmsNumber(), "+4412");
    EXPECT_EQ(rep.Counter(sim::ciSmsSuccessCounter), 1);

    rep.Gsm().smsSucceeds = false;
    const Bytes failed = JobReport(RelayRecord(sim::rcTest, kRepA, args), 0xE7);
    EXPECT_EQ(failed[2] & 0x02, 0x00);

    rep.Gsm().smsRefusal = 0x02;
    EXPECT_EQ(Ask(RelayRecord(sim::rcTest, kRepA, args)), Error(sim::rcTest, 0x02));
}

TEST_F(SimRepeater, TestFtp)
{
    const Bytes ftp = RelayRecord(sim::rcTest, kRepA, {0x02});
    EXPECT_EQ(Ask(ftp), Error(sim::rcTest, 0x03));  // not logged on
    rep.SetLoggedOn(true);
    rep.Gsm().gprsAvailable = false;
    EXPECT_EQ(Ask(ftp), Error(sim::rcTest, 0x05));
    rep.Gsm().gprsAvailable = true;
    const Bytes ok = JobReport(ftp, 0xE7);
    EXPECT_EQ(ok[2] & 0x10, 0x10);
    rep.Gsm().ftpSucceeds = false;
    const Bytes failed = JobReport(ftp, 0xE7);
    EXPECT_EQ(failed[2] & 0x10, 0x00);
    EXPECT_EQ(Ask(RelayRecord(sim::rcTest, kRepA, {0x07})), Error(sim::rcTest, 0x04));
}

TEST_F(SimRepeater, LoggerDatabase)
{
    sim::LoggerEntry a;
    a.patrolTime = 0x5E0BE100;
    a.serial = 1234567;
    a.leak = true;
    a.level = 5;
    a.sent = true;
    a.spread = 3;
    a.signal = 128;
    sim::LoggerEntry b = a;
    b.leak = false;
    b.flags = 0x0F;
    rep.SetLoggers({a, b});

    EXPECT_EQ(Ask(RelayRecord(sim::rcDbRequest, kRepA)), RepeaterReply(0xEB, kRepA, {0x02, 0x00, 0x00}));
    EXPECT_EQ(Ask(RelayRecord(sim::rcReadDbEntry, kRepA, {0x00})),
              RepeaterReply(0xE9, kRepA, {0x00, 0x5E, 0x0B, 0xE1, 0x00, 0x12, 0xD6, 0x87, 0x85, 0x83, 0x80}));
    const Bytes second = Ask(RelayRecord(sim::rcReadDbEntry, kRepA, {0x01}));
    ASSERT_EQ(second.size(), 17u);
    EXPECT_EQ(second[13], 0x05);
    EXPECT_EQ(second[16], 0x0F);
    EXPECT_EQ(Ask(RelayRecord(sim::rcReadDbEntry, kRepA, {0x02})), Error(sim::rcReadDbEntry, 0x01));

    rep.SetDatabaseCountBytes(std::array<std::uint8_t, 2>{0xFF, 0x03});
    EXPECT_EQ(Ask(RelayRecord(sim::rcDbRequest, kRepA)), RepeaterReply(0xEB, kRepA, {0xFF, 0x03, 0x00}));

    EXPECT_EQ(Ask(RelayRecord(sim::rcClearDb, kRepA, {0x00})), Error(sim::rcClearDb, 0x02));
    EXPECT_EQ(rep.Loggers().size(), 2u);
    EXPECT_EQ(Ask(RelayRecord(sim::rcClearDb, kRepA, {0xED})), RepeaterReply(0xED, kRepA));
    EXPECT_TRUE(rep.Loggers().empty());
}

TEST_F(SimRepeater, DebugLogsAndErasing)
{
    rep.SetDebugLogEntry(5, 3, 0x5F000001);
    EXPECT_EQ(Ask(RelayRecord(sim::rcReadDebugLog, kRepA, {0x05, 0x03})),
              RepeaterReply(0xEF, kRepA, {0x05, 0x03, 0x5F, 0x00, 0x00, 0x01, 0x00}));  // len 12
    EXPECT_EQ(Ask(RelayRecord(sim::rcReadDebugLog, kRepA, {0x07, 0x00})), Error(sim::rcReadDebugLog, 0x01));
    EXPECT_EQ(Ask(RelayRecord(sim::rcReadDebugLog, kRepA, {0x00, 0x10})), Error(sim::rcReadDebugLog, 0x01));
    EXPECT_EQ(Ask(RelayRecord(sim::rcEraseBuffer, kRepA, {0x05})), RepeaterReply(0xF1, kRepA, {0x05}));
    EXPECT_EQ(rep.DebugLogEntry(5, 3), 0u);
    EXPECT_EQ(Ask(RelayRecord(sim::rcEraseBuffer, kRepA, {0x09})), Error(sim::rcEraseBuffer, 0x01));

    rep.SetItem(sim::ciSmsRxCounter, {0x01, 0x00});
    EXPECT_EQ(Ask(Read(sim::ciSmsRxCounter)), RepeaterReply(0xC9, kRepA, {0x15, 0x01, 0x00}));
    EXPECT_EQ(Ask(Write(sim::ciSmsRxCounter, {0x00, 0x00}))[1], 0xCB);
    EXPECT_EQ(rep.Counter(sim::ciSmsRxCounter), 0);
}

TEST_F(SimRepeater, MaskedServiceWrite)
{
    rep.SetItem(sim::ciEcuOptions, {0x0B});
    EXPECT_EQ(Ask(RelayRecord(sim::rcService, kRepA, {0x0D, 0x00, 0x04, 0x04})), RepeaterReply(0xF3, kRepA, {0x0D}));
    EXPECT_EQ(rep.EcuOptions(), 0x0F);
    EXPECT_EQ(Ask(RelayRecord(sim::rcService, kRepA, {0x0D, 0x00, 0x00, 0x04}))[1], 0xF3);
    EXPECT_EQ(rep.EcuOptions(), 0x0B);
    ASSERT_EQ(rep.Writes().size(), 2u);
    EXPECT_TRUE(rep.Writes()[0].masked);
    EXPECT_EQ(Ask(RelayRecord(sim::rcService, kRepA, {0x0E, 0x00, 0x00, 0x04})), Error(sim::rcService, 0x03));
}

TEST_F(SimRepeater, UnknownCommand)
{
    EXPECT_EQ(Ask(RelayRecord(0x42, kRepA, {0x01})), Error(0x42, 0x04));
}
