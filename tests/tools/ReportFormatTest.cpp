// The report formatters as one table: the reply each accepts, the lines it
// writes, and the replies it leaves alone.
#include "link/Serial.h"
#include "tools/ReportFormat.h"

#include <gtest/gtest.h>

namespace {

// A reply of repeater 12 34 56: relay id, code, address, then `tail`.
TMsgRecord Reply(uint8_t code, std::initializer_list<uint8_t> tail, const std::string& text = "", bool nul = false)
{
    TMsgRecord m;
    for (uint8_t b : {uint8_t(0xA8), code, uint8_t(0x12), uint8_t(0x34), uint8_t(0x56)})
        m.data[m.length++] = b;
    for (uint8_t b : tail)
        m.data[m.length++] = b;
    for (char ch : text)
        m.data[m.length++] = uint8_t(ch);
    if (nul)
        m.data[m.length++] = 0;
    return m;
}
TMsgRecord Item(uint8_t item, std::initializer_list<uint8_t> value)
{
    return Reply(0xC9, {item}, std::string(value.begin(), value.end()));
}
TMsgRecord Clock(std::initializer_list<uint8_t> packed) { return Reply(0xD3, packed); }
TMsgRecord Text(uint8_t item, const std::string& text, bool nul = true) { return Reply(0xC9, {item}, text, nul); }

TReportContext English()
{
    TReportContext c;
    c.gsmBands = {"900 / 1800 MHz", "850 / 1900 MHz", "900 / 1900 MHz", "850 / 1800 MHz"};
    c.regions = {"UK", "Europe", "USA", "Australia", "Brazil", "Chile", "Canada", "Mexico"};
    c.reportFormats = {"Standard", "Extended"};
    c.smsRxDurations = {"15 s", "30 s", "45 s"};
    c.longDayNames = EnglishLongDayNames();
    c.shortMonthNames = EnglishShortMonthNames();
    c.readOn = {29, 44, 2, 8, 11, 126, 2, 0, 0, 0, nullptr}; // Tuesday, 8 December 2026, 02:44:29
    return c;
}

struct Row {
    TReportFormatter format;
    TMsgRecord msg;
    std::vector<std::string> lines; // empty: not this formatter's reply
};

void RunRows(const std::vector<Row>& rows, const TReportContext& c = English())
{
    for (size_t i = 0; i < rows.size(); ++i) {
        TReportLines lines;
        EXPECT_EQ(rows[i].format(c, rows[i].msg, lines), rows[i].lines.empty() ? irNotMine : irDone) << "row " << i;
        EXPECT_EQ(lines, rows[i].lines) << "row " << i;
    }
}

const std::string kReadOn = "  (read on Tuesday, 08-Dec-26, 02:44:29)";

} // namespace

TEST(ReportFormat, EveryFormatter)
{
    RunRows({
        {FormatFirmwareVersion, Item(0x20, {1, 10, 0, 3, 0x77}), {"Firmware Version 01.0A.00.03"}},
        {FormatEcuNumber, Item(0x01, {0x12, 0xAB}), {"ECU Number = 12AB"}},
        {FormatPatrolTime, Item(0x05, {0x12, 0x30}), {"Patrol Time = 12:30"}},
        {FormatRetryTime, Item(0x0B, {0x03, 0x05}), {"Retry Time = 03:05"}},
        {FormatReportTime, Item(0x08, {0xFF, 0x00}), {"Report Time = 165:00"}}, // BCD not checked
        {FormatReportStaggering, Item(0x18, {4, 30}), {"Report Staggering = 4, 30"}},
        {FormatLowRfThreshold, Item(0x16, {255}), {"Low RF Alarm Threshold = 255"}},
        {FormatPatrolDuration, Item(0x06, {60}), {"Patrol duration = 60s"}},
        {FormatGsmBand, Item(0x11, {1}), {"GSM Band = 850 / 1900 MHz"}},
        {FormatGsmBand, Item(0x11, {4}), {"GSM Band = 4 <Illegal value>"}},
        {FormatRegion, Item(0x21, {0x8A}), {"Region = Mexico"}},
        {FormatRegion, Item(0x21, {0x02}), {"Region = 2 <Illegal value>"}},
        {FormatSmsRxDuration, Item(0x14, {1}), {"SMS Rx Duration = 15 s"}}, // 1-based
        {FormatSmsRxDuration, Item(0x14, {0}), {"SMS Rx Duration = 0 <Illegal value>"}},
        {FormatSmsRxDuration, Item(0x14, {4}), {"SMS Rx Duration = 4 <Illegal value>"}},
        {FormatLeakAlarm, Item(0x0A, {'0'}), {"Alarms = No Reports"}},
        {FormatLeakAlarm, Item(0x0A, {'l'}), {"Alarms = Report on Change to Leak"}},
        {FormatLeakAlarm, Item(0x0A, {'n'}), {"Alarms = Report on Change to No-Leak"}},
        {FormatLeakAlarm, Item(0x0A, {'b'}), {"Alarms = Report on Both Changes"}},
        {FormatLeakAlarm, Item(0x0A, {'x'}), {"Alarms = <Illegal value>"}},
        {FormatPatrolDays, Item(0x07, {0xFF}), {"Patrol Days = Every day"}}, // bit 7 ignored
        {FormatReportDays, Item(0x09, {0xBE}), {"Report Days = Monday to Friday"}},
        {FormatReportDays, Item(0x09, {0x80}), {"Report Days = <None>"}},
        {FormatPatrolDays, Item(0x07, {0x41}), {"Patrol Days = Sunday, Saturday"}},
        {FormatOptionFlags, Item(0x0D, {0x00}),
         {"Low Noise Amplifier disabled", "ECU inactive", "SMS Reporting Enabled", "Report Format = Standard"}},
        {FormatOptionFlags, Item(0x0D, {0x0F}),
         {"Low Noise Amplifier enabled", "ECU active", "GPRS Reporting Enabled", "Report Format = Extended"}},
        {FormatOptionFlags, Item(0x0D, {0xF0}),
         {"Low Noise Amplifier disabled", "ECU inactive", "SMS Reporting Enabled", "Report Format = "}},
        {FormatAlarmsEnabled, Item(0x17, {0}), {"Alarms Enabled = <None>"}},
        {FormatAlarmsEnabled, Item(0x17, {0xFF}),
         {"Alarms Enabled = Q+ Low Battery, Q+ Low RF Signal, Repeater Low Battery, Configuration Change Via SMS"}},
        {FormatAlarmsEnabled, Item(0x17, {0x08}), {"Alarms Enabled = "}}, // bit 3 is not listed
        {FormatHostNumber, Text(0x03, "+447700900123"), {"Host Number = +447700900123"}},
        {FormatEngineerNumber, Text(0x04, ""), {"Engineer's Number = <None>"}},
        {FormatApn, Text(0x30, std::string("inter\0net", 9)), {"Access Point Name = inter"}},
        {FormatApn, Text(0x30, "internet", false), {"Access Point Name = internet"}},
        {FormatApn, Text(0x30, "caf\xe9"), {"Access Point Name = caf\xc3\xa9"}},
        {FormatApn, Text(0x30, "\x80uro"), {"Access Point Name = \xe2\x82\xacuro"}}, // the PC's code page, not Latin-1
        {FormatGprsUsername, Text(0x31, "web"), {"GPRS Username = web"}},
        {FormatGprsPassword, Text(0x32, "s3cret"), {"GPRS Password = s3cret"}},
        {FormatFtpHost, Text(0x33, "ftp.example.net"), {"FTP Host = ftp.example.net"}},
        {FormatFtpUserId, Text(0x34, ""), {"FTP User ID = <None>"}},
        {FormatFtpPassword, Text(0x35, "pw"), {"FTP Password = pw"}},
        {FormatFtpFolder, Text(0x36, ""), {"FTP Folder = <Root>"}},
        {FormatSimNumber, Item(0x1B, {}), {"SIM Card Number = <None>"}}, // any length that holds the code
        // The clock: the two vectors, weekday 7 as Sunday, months 0 and 13, high bits of b4 unread.
        {FormatRepeaterTime, Clock({0x5E, 0xDB, 0xF2, 0x2C, 0x01}), {"Time = Monday, 15-Jun-9, 13:45:30" + kReadOn}},
        {FormatRepeaterTime, Clock({0xFB, 0x7E, 0xFB, 0x59, 0x01}), {"Time = Friday, 31-Dec-10, 23:59:59" + kReadOn}},
        {FormatRepeaterTime, Clock({0x00, 0x00, 0x0E, 0x00, 0xF0}), {"Time = Sunday, 00-Dec-0, 00:00:00" + kReadOn}},
        {FormatRepeaterTime, Clock({0x00, 0x00, 0x00, 0x1A, 0x00}), {"Time = Sunday, 00-Jan-0, 00:00:00" + kReadOn}},
        // Not the item's reply: length, code or item differ, or a byte is missing.
        {FormatRepeaterTime, Clock({0x5E, 0xDB, 0xF2, 0x2C}), {}},
        {FormatRepeaterTime, Clock({0x5E, 0xDB, 0xF2, 0x2C, 0x01, 0}), {}},
        {FormatPatrolTime, Item(0x0B, {0x12, 0x30}), {}},
        {FormatPatrolTime, Reply(0xCB, {0x05, 0x12, 0x30}), {}},
        {FormatPatrolTime, Item(0x05, {0x12}), {}},
        {FormatFirmwareVersion, Item(0x20, {1, 2, 3, 4}), {}},
        {FormatApn, Reply(0xC9, {}), {}},
        {FormatApn, Text(0x31, "x"), {}},
        {FormatApn, Reply(0xCD, {0x00, 0x00, 20}), {}},
        {FormatGsmBand, Reply(0xFF, {0xC8, 0x01}), {}},
    });
}

TEST(ReportFormat, LanguageTextsAndRecordEnd)
{
    TLangStrings strings;
    strings[83] = "GSM-Band";
    strings[303] = "Unzulässig";
    TReportContext c = English();
    c.strings = &strings;
    RunRows({{FormatGsmBand, Item(0x11, {9}), {"GSM-Band = 9 <Unzulässig>"}}}, c);

    TMsgRecord m = Text(0x30, std::string(kMaxMsgData - 6, 'a'), false);
    m.length = 300; // a count beyond the record's bytes
    RunRows({{FormatApn, m, {"Access Point Name = " + std::string(kMaxMsgData - 6, 'a')}}});
}

TEST(ReportFormat, TableAndFrameLines)
{
    const uint8_t codes[] = {0x20, 0x01, 0xFF, 0x11, 0x21, 0x05, 0x0B, 0x07, 0x03, 0x04, 0x08, 0x18, 0x09, 0x0D,
                             0x0A, 0x16, 0x17, 0x06, 0x14, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x1B};
    static_assert(std::size(codes) == kReportItems.size());
    for (size_t i = 0; i < std::size(codes); ++i) {
        EXPECT_EQ(kReportItems[i].itemCode, codes[i]) << i;
        EXPECT_EQ(kReportItems[i].clockRequest, i == 2) << i;
    }
    const TReportContext c = English();
    EXPECT_EQ(ReportHeading(c, 1234567), "Reading Configuration for Repeater 0123-4567 :");
    EXPECT_EQ(ReportHeading(c, 123456789), "Reading Configuration for Repeater 12345-6789 :");
    EXPECT_EQ(ReportRejectionLine(c, 0x20), "#32 - Configuration rejected by the Repeater, Check firmware version");
    EXPECT_EQ(ReportStoppedLine(c), "  -- Read Stopped by User --");
    EXPECT_TRUE(IsItemReadRefusal(Reply(0xFF, {0xC8, 0x01})));
    EXPECT_FALSE(IsItemReadRefusal(Reply(0xFF, {0xC8, 0x02})));
    EXPECT_FALSE(IsItemReadRefusal(Reply(0xFF, {0xD2, 0x01})));
    EXPECT_FALSE(IsItemReadRefusal(Reply(0xFF, {0xC8})));
}
