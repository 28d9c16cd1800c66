// The report formatters as tables: the reply each one accepts, the lines it
// writes, and the replies it leaves alone.
#include "link/Serial.h"
#include "tools/ReportFormat.h"

#include <gtest/gtest.h>
#include <initializer_list>

namespace {

// A relayed reply of repeater 12 34 56: relay id, code, address, then `tail`.
TMsgRecord Reply(uint8_t code, std::initializer_list<uint8_t> tail)
{
    TMsgRecord m;
    m.data[0] = 0xA8;
    m.data[1] = code;
    m.data[2] = 0x12;
    m.data[3] = 0x34;
    m.data[4] = 0x56;
    m.length = 5;
    for (uint8_t b : tail)
        m.data[m.length++] = b;
    return m;
}

TMsgRecord Item(uint8_t item, std::initializer_list<uint8_t> value)
{
    TMsgRecord m = Reply(0xC9, {item});
    for (uint8_t b : value)
        m.data[m.length++] = b;
    return m;
}

TMsgRecord TextItem(uint8_t item, const std::string& text, bool nul = true)
{
    TMsgRecord m = Reply(0xC9, {item});
    for (char ch : text)
        m.data[m.length++] = uint8_t(ch);
    if (nul)
        m.data[m.length++] = 0;
    return m;
}

TReportContext English()
{
    TReportContext c;
    c.gsmBands = {"900 / 1800 MHz", "850 / 1900 MHz", "900 / 1900 MHz", "850 / 1800 MHz"};
    c.regions = {"UK", "Europe", "USA", "Australia", "Brazil", "Chile", "Canada", "Mexico"};
    c.reportFormats = {"Standard", "Extended"};
    for (int i = 1; i <= 8; ++i)
        c.smsRxDurations.push_back(std::to_string(i * 15) + " s");
    c.longDayNames = EnglishLongDayNames();
    c.shortMonthNames = EnglishShortMonthNames();
    c.readOn.tm_year = 2026 - 1900; // Tuesday, 8 December 2026, 02:44:29
    c.readOn.tm_mon = 11;
    c.readOn.tm_mday = 8;
    c.readOn.tm_wday = 2;
    c.readOn.tm_hour = 2;
    c.readOn.tm_min = 44;
    c.readOn.tm_sec = 29;
    return c;
}

struct Row {
    const char* what;
    TReportFormatter format;
    TMsgRecord msg;
    std::vector<std::string> lines; // empty: not this formatter's reply
};

void RunRows(const std::vector<Row>& rows, const TReportContext& c = English())
{
    for (const Row& row : rows) {
        TReportLines lines;
        const TItemResult r = row.format(c, row.msg, lines);
        EXPECT_EQ(r, row.lines.empty() ? irNotMine : irDone) << row.what;
        EXPECT_EQ(lines, row.lines) << row.what;
    }
}

const std::string kReadOn = "  (read on Tuesday, 08-Dec-26, 02:44:29)";

} // namespace

TEST(ReportFormat, NumbersAndTimes)
{
    RunRows({
        {"firmware, no ' = '", FormatFirmwareVersion, Item(0x20, {1, 10, 0, 3, 0x77}), {"Firmware Version 01.0A.00.03"}},
        {"ECU number", FormatEcuNumber, Item(0x01, {0x12, 0xAB}), {"ECU Number = 12AB"}},
        {"patrol time BCD", FormatPatrolTime, Item(0x05, {0x12, 0x30}), {"Patrol Time = 12:30"}},
        {"retry time with leading zeros", FormatRetryTime, Item(0x0B, {0x03, 0x05}), {"Retry Time = 03:05"}},
        {"report time, invalid BCD unchecked", FormatReportTime, Item(0x08, {0xFF, 0x00}), {"Report Time = 165:00"}},
        {"staggering", FormatReportStaggering, Item(0x18, {4, 30}), {"Report Staggering = 4, 30"}},
        {"low RF threshold", FormatLowRfThreshold, Item(0x16, {255}), {"Low RF Alarm Threshold = 255"}},
        {"patrol duration", FormatPatrolDuration, Item(0x06, {60}), {"Patrol duration = 60s"}},
    });
}

TEST(ReportFormat, ListsAndIllegalValues)
{
    RunRows({
        {"GSM band", FormatGsmBand, Item(0x11, {1}), {"GSM Band = 850 / 1900 MHz"}},
        {"GSM band past the list", FormatGsmBand, Item(0x11, {4}), {"GSM Band = 4 <Illegal value>"}},
        {"region by code", FormatRegion, Item(0x21, {0x85}), {"Region = USA"}},
        {"last region code", FormatRegion, Item(0x21, {0x8A}), {"Region = Mexico"}},
        {"unknown region code", FormatRegion, Item(0x21, {0x02}), {"Region = 2 <Illegal value>"}},
        {"SMS Rx is 1-based", FormatSmsRxDuration, Item(0x14, {1}), {"SMS Rx Duration = 15 s"}},
        {"SMS Rx last", FormatSmsRxDuration, Item(0x14, {8}), {"SMS Rx Duration = 120 s"}},
        {"SMS Rx 0", FormatSmsRxDuration, Item(0x14, {0}), {"SMS Rx Duration = 0 <Illegal value>"}},
        {"SMS Rx past the list", FormatSmsRxDuration, Item(0x14, {9}), {"SMS Rx Duration = 9 <Illegal value>"}},
        {"no reports", FormatLeakAlarm, Item(0x0A, {'0'}), {"Alarms = No Reports"}},
        {"leak", FormatLeakAlarm, Item(0x0A, {'l'}), {"Alarms = Report on Change to Leak"}},
        {"no-leak", FormatLeakAlarm, Item(0x0A, {'n'}), {"Alarms = Report on Change to No-Leak"}},
        {"both", FormatLeakAlarm, Item(0x0A, {'b'}), {"Alarms = Report on Both Changes"}},
        {"illegal alarm, no number", FormatLeakAlarm, Item(0x0A, {'x'}), {"Alarms = <Illegal value>"}},
    });
}

TEST(ReportFormat, DayMasks)
{
    RunRows({
        {"every day", FormatPatrolDays, Item(0x07, {0x7F}), {"Patrol Days = Every day"}},
        {"bit 7 ignored", FormatPatrolDays, Item(0x07, {0xFF}), {"Patrol Days = Every day"}},
        {"working week", FormatReportDays, Item(0x09, {0x3E}), {"Report Days = Monday to Friday"}},
        {"working week, bit 7", FormatReportDays, Item(0x09, {0xBE}), {"Report Days = Monday to Friday"}},
        {"none", FormatReportDays, Item(0x09, {0x80}), {"Report Days = <None>"}},
        {"weekend", FormatPatrolDays, Item(0x07, {0x41}), {"Patrol Days = Sunday, Saturday"}},
        {"one day", FormatPatrolDays, Item(0x07, {0x08}), {"Patrol Days = Wednesday"}},
    });
}

TEST(ReportFormat, OptionFlagsAndAlarmEnables)
{
    RunRows({
        {"options clear", FormatOptionFlags, Item(0x0D, {0x00}),
         {"Low Noise Amplifier disabled", "ECU inactive", "SMS Reporting Enabled", "Report Format = Standard"}},
        {"options set", FormatOptionFlags, Item(0x0D, {0x0F}),
         {"Low Noise Amplifier enabled", "ECU active", "GPRS Reporting Enabled", "Report Format = Extended"}},
        {"format index without an item", FormatOptionFlags, Item(0x0D, {0xF0}),
         {"Low Noise Amplifier disabled", "ECU inactive", "SMS Reporting Enabled", "Report Format = "}},
        {"no alarms", FormatAlarmsEnabled, Item(0x17, {0}), {"Alarms Enabled = <None>"}},
        {"all alarms", FormatAlarmsEnabled, Item(0x17, {0xFF}),
         {"Alarms Enabled = Q+ Low Battery, Q+ Low RF Signal, Repeater Low Battery, Configuration Change Via SMS"}},
        {"one alarm", FormatAlarmsEnabled, Item(0x17, {0x04}), {"Alarms Enabled = Repeater Low Battery"}},
        {"bit 3 only: empty list", FormatAlarmsEnabled, Item(0x17, {0x08}), {"Alarms Enabled = "}},
    });
}

TEST(ReportFormat, Texts)
{
    TMsgRecord high = TextItem(0x30, "caf\xe9");
    RunRows({
        {"host number", FormatHostNumber, TextItem(0x03, "+447700900123"), {"Host Number = +447700900123"}},
        {"empty engineer's number", FormatEngineerNumber, TextItem(0x04, ""), {"Engineer's Number = <None>"}},
        {"APN up to the zero byte", FormatApn, TextItem(0x30, std::string("inter\0net", 9)), {"Access Point Name = inter"}},
        {"APN to the end of the record", FormatApn, TextItem(0x30, "internet", false), {"Access Point Name = internet"}},
        {"8-bit characters", FormatApn, high, {"Access Point Name = caf\xc3\xa9"}},
        {"user name", FormatGprsUsername, TextItem(0x31, "web"), {"GPRS Username = web"}},
        {"password in clear", FormatGprsPassword, TextItem(0x32, "s3cret"), {"GPRS Password = s3cret"}},
        {"FTP host", FormatFtpHost, TextItem(0x33, "ftp.example.net"), {"FTP Host = ftp.example.net"}},
        {"FTP user", FormatFtpUserId, TextItem(0x34, ""), {"FTP User ID = <None>"}},
        {"FTP password", FormatFtpPassword, TextItem(0x35, "pw"), {"FTP Password = pw"}},
        {"empty FTP folder is the root", FormatFtpFolder, TextItem(0x36, ""), {"FTP Folder = <Root>"}},
        {"FTP folder", FormatFtpFolder, TextItem(0x36, "/in"), {"FTP Folder = /in"}},
        {"SIM number", FormatSimNumber, TextItem(0x1B, ""), {"SIM Card Number = <None>"}},
        {"a text reply at any length: code only", FormatSimNumber, Item(0x1B, {}), {"SIM Card Number = <None>"}},
    });
}

TEST(ReportFormat, TextNeverReadsPastTheRecord)
{
    TMsgRecord m = TextItem(0x30, std::string(kMaxMsgData - 6, 'a'), false);
    m.length = 300; // a count beyond the record's bytes
    TReportLines lines;
    ASSERT_EQ(FormatApn(English(), m, lines), irDone);
    EXPECT_EQ(lines, TReportLines{"Access Point Name = " + std::string(kMaxMsgData - 6, 'a')});
}

TEST(ReportFormat, ClockLines)
{
    RunRows({
        {"Monday 15 June 2009", FormatRepeaterTime, Reply(0xD3, {0x5E, 0xDB, 0xF2, 0x2C, 0x01}),
         {"Time = Monday, 15-Jun-9, 13:45:30" + kReadOn}},
        {"Friday 31 December 2010", FormatRepeaterTime, Reply(0xD3, {0xFB, 0x7E, 0xFB, 0x59, 0x01}),
         {"Time = Friday, 31-Dec-10, 23:59:59" + kReadOn}},
        // Wednesday 05-03-2020 14:07:09: second 9, minute 7, hour 14, weekday 3, day 5, month 3, year 20.
        {"Wednesday 5 March 2020", FormatRepeaterTime, Reply(0xD3, {0xC9, 0xE1, 0x56, 0x86, 0x02}),
         {"Time = Wednesday, 05-Mar-20, 14:07:09" + kReadOn}},
        // Weekday 7 is Sunday again; month 0 is December, 13 January; the high bits of b4 are not read.
        {"weekday 7, month 0", FormatRepeaterTime, Reply(0xD3, {0x00, 0x00, 0x0E, 0x00, 0xF0}),
         {"Time = Sunday, 00-Dec-0, 00:00:00" + kReadOn}},
        {"month 13", FormatRepeaterTime, Reply(0xD3, {0x00, 0x00, 0x00, 0x1A, 0x00}),
         {"Time = Sunday, 00-Jan-0, 00:00:00" + kReadOn}},
        {"clock reply one byte short", FormatRepeaterTime, Reply(0xD3, {0x5E, 0xDB, 0xF2, 0x2C}), {}},
        {"clock reply one byte long", FormatRepeaterTime, Reply(0xD3, {0x5E, 0xDB, 0xF2, 0x2C, 0x01, 0}), {}},
        {"clock refused", FormatRepeaterTime, Reply(0xFF, {0xD2, 0x01, 0, 0, 0}), {}},
    });
}

TEST(ReportFormat, RepliesThatAreNotTheItems)
{
    TMsgRecord shortText = Reply(0xC9, {});
    RunRows({
        {"another item", FormatPatrolTime, Item(0x0B, {0x12, 0x30}), {}},
        {"another reply code", FormatPatrolTime, Reply(0xCB, {0x05, 0x12, 0x30}), {}},
        {"too long", FormatPatrolTime, Item(0x05, {0x12, 0x30, 0}), {}},
        {"too short for the minute", FormatPatrolTime, Item(0x05, {0x12}), {}},
        {"firmware without its fifth byte", FormatFirmwareVersion, Item(0x20, {1, 2, 3, 4}), {}},
        {"text reply without an item code", FormatApn, shortText, {}},
        {"text reply of another item", FormatApn, TextItem(0x31, "x"), {}},
        {"signal strength", FormatApn, Reply(0xCD, {0x00, 0x00, 20}), {}},
        {"refusal", FormatGsmBand, Reply(0xFF, {0xC8, 0x01}), {}},
    });
}

TEST(ReportFormat, LanguageTextsReplaceTheEnglishOnes)
{
    TLangStrings strings;
    strings[83] = "GSM-Band";
    strings[303] = "Unzulässig";
    strings[308] = "Wurzel";
    TReportContext c = English();
    c.strings = &strings;
    RunRows({{"label", FormatGsmBand, Item(0x11, {0}), {"GSM-Band = 900 / 1800 MHz"}},
             {"illegal", FormatGsmBand, Item(0x11, {9}), {"GSM-Band = 9 <Unzulässig>"}},
             {"root", FormatFtpFolder, TextItem(0x36, ""), {"FTP Folder = <Wurzel>"}}},
            c);
}

TEST(ReportFormat, TableAndFrameLines)
{
    const uint8_t codes[] = {0x20, 0x01, 0xFF, 0x11, 0x21, 0x05, 0x0B, 0x07, 0x03, 0x04, 0x08, 0x18, 0x09, 0x0D, 0x0A,
                             0x16, 0x17, 0x06, 0x14, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x1B};
    static_assert(std::size(codes) == 27);
    for (size_t i = 0; i < std::size(codes); ++i)
        EXPECT_EQ(kReportItems[i].itemCode, codes[i]) << i;
    for (size_t i = 0; i < kReportItems.size(); ++i)
        EXPECT_EQ(kReportItems[i].clockRequest, i == 2) << i;

    const TReportContext c = English();
    EXPECT_EQ(ReportHeading(c, 1234567), "Reading Configuration for Repeater 0123-4567 :");
    EXPECT_EQ(ReportHeading(c, 123456789), "Reading Configuration for Repeater 12345-6789 :");
    EXPECT_EQ(ReportRejectionLine(c, 0x20), "#32 - Configuration rejected by the Repeater, Check firmware version");
    EXPECT_EQ(ReportCompleteLine(c), "  -- Read Complete --");
    EXPECT_EQ(ReportStoppedLine(c), "  -- Read Stopped by User --");

    EXPECT_TRUE(IsItemReadRefusal(Reply(0xFF, {0xC8, 0x01})));
    EXPECT_FALSE(IsItemReadRefusal(Reply(0xFF, {0xC8, 0x02}))) << "another error code";
    EXPECT_FALSE(IsItemReadRefusal(Reply(0xFF, {0xD2, 0x01}))) << "the clock request's";
    EXPECT_FALSE(IsItemReadRefusal(Reply(0xFF, {0xC8}))) << "too short for the error code";
}
