#include "tools/ReportFormat.h"

#include "platform/CodePage.h"

#include "link/Requests.h"
#include "link/Responses.h"
#include "link/Serial.h"

#include <algorithm>
#include <cstdio>

std::string TReportContext::Text(int id, const std::string& english) const
{
    return strings ? GetLangString(*strings, id, english) : english;
}

std::array<std::string, 7> EnglishLongDayNames()
{
    return {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
}

std::array<std::string, 12> EnglishShortMonthNames()
{
    return {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
}

namespace {

constexpr uint8_t kReadItemReply = 0xC9;
constexpr uint8_t kReadClockReply = 0xD3;

// The reply to an item read: exactly `len` bytes (0: any count that holds
// the item code), reply code C9 and the item code in data[5].
bool IsItemReply(const TMsgRecord& m, int len, uint8_t item)
{
    if (len == 0 ? m.length < 6 : m.length != len)
        return false;
    return m.data[1] == kReadItemReply && m.data[5] == item;
}

std::string Dec(int x) { return std::to_string(x); }

// At least two digits.
std::string TwoDigits(int x)
{
    char s[16];
    std::snprintf(s, sizeof s, "%02d", x);
    return s;
}

std::string Hex2(uint8_t b)
{
    char s[4];
    std::snprintf(s, sizeof s, "%02X", b);
    return s;
}

int Bcd(uint8_t b) { return (b >> 4) * 10 + (b & 0x0F); }

std::string Angled(const TReportContext& c, int id, const char* english) { return "<" + c.Text(id, english) + ">"; }

std::string Illegal(const TReportContext& c) { return Angled(c, 303, "Illegal value"); }

std::string IllegalNumber(const TReportContext& c, uint8_t v) { return Dec(v) + " " + Illegal(c); }

// The text of a text item: data[6] up to the first zero byte or the end of
// the record, each byte one character of the PC's code page.
std::string RecordText(const TMsgRecord& m)
{
    const int end = std::min<int>(m.length, kMaxMsgData);
    int stop = 6;
    while (stop < end && m.data[stop] != 0)
        ++stop;
    if (stop <= 6)
        return {};
    return platform::FromWindows1252(
               std::string_view(reinterpret_cast<const char*>(m.data) + 6, static_cast<size_t>(stop - 6)))
        .toStdString();
}

std::string ListItem(const std::vector<std::string>& list, size_t index)
{
    return index < list.size() ? list[index] : std::string();
}

TItemResult Line(TReportLines& lines, std::string line)
{
    lines.push_back(std::move(line));
    return irDone;
}

TItemResult TimeItem(const TReportContext& c, const TMsgRecord& m, TReportLines& lines, uint8_t item, int id,
                     const char* label)
{
    if (!IsItemReply(m, 8, item))
        return irNotMine;
    return Line(lines, c.Text(id, label) + " = " + TwoDigits(Bcd(m.data[6])) + ":" + TwoDigits(Bcd(m.data[7])));
}

TItemResult DaysItem(const TReportContext& c, const TMsgRecord& m, TReportLines& lines, uint8_t item, int id,
                     const char* label)
{
    if (!IsItemReply(m, 7, item))
        return irNotMine;
    return Line(lines, c.Text(id, label) + " = " + DayMaskText(c, m.data[6]));
}

// A text item; an empty text shows as <None>, or <Root> for the FTP folder.
TItemResult TextItem(const TReportContext& c, const TMsgRecord& m, TReportLines& lines, uint8_t item, int id,
                     const char* label, bool root = false)
{
    if (!IsItemReply(m, 0, item))
        return irNotMine;
    std::string text = RecordText(m);
    if (text.empty())
        text = root ? Angled(c, 308, "Root") : Angled(c, 40, "None");
    return Line(lines, c.Text(id, label) + " = " + text);
}

} // namespace

std::string DayMaskText(const TReportContext& c, uint8_t mask)
{
    const uint8_t m = mask & 0x7F;
    if (m == 0x7F)
        return c.Text(88, "Every day");
    if (m == 0x3E)
        return "Monday to Friday";
    if (m == 0)
        return Angled(c, 40, "None");
    static const char* const days[] = {"Sunday, ",   "Monday, ", "Tuesday, ", "Wednesday, ",
                                       "Thursday, ", "Friday, ", "Saturday, "};
    std::string text;
    for (int d = 0; d < 7; ++d)
        if (m & (1 << d))
            text += days[d];
    text.resize(text.size() - 2);
    return text;
}

std::string ClockLine(const TReportContext& c, const uint8_t b[5])
{
    const int second = b[0] & 0x3F;
    const int minute = (b[0] >> 6) + ((b[1] & 0x0F) << 2);
    const int hour = (b[1] >> 4) + ((b[2] & 0x01) << 4);
    const int weekday = ((b[2] >> 1) & 7) % 7;
    const int day = (b[2] >> 4) + ((b[3] & 0x01) << 4);
    const int month = (b[3] >> 1) & 0x0F;
    const int year = (b[3] >> 5) + ((b[4] & 0x0F) << 3);
    const int monthIndex = (month + 11) % 12;

    const std::tm& r = c.readOn;
    char readOn[64];
    std::snprintf(readOn, sizeof readOn, "%02d-%s-%02d, %02d:%02d:%02d", r.tm_mday,
                  c.shortMonthNames[size_t(((r.tm_mon % 12) + 12) % 12)].c_str(), ((r.tm_year % 100) + 100) % 100,
                  r.tm_hour, r.tm_min, r.tm_sec);
    return "Time = " + c.longDayNames[size_t(weekday)] + ", " + TwoDigits(day) + "-" +
           c.shortMonthNames[size_t(monthIndex)] + "-" + Dec(year) + ", " + TwoDigits(hour) + ":" +
           TwoDigits(minute) + ":" + TwoDigits(second) + "  (read on " +
           c.longDayNames[size_t(((r.tm_wday % 7) + 7) % 7)] + ", " + readOn + ")";
}

TItemResult FormatFirmwareVersion(const TReportContext& c, const TMsgRecord& m, TReportLines& lines)
{
    if (!IsItemReply(m, 11, ciFirmwareVersion))
        return irNotMine;
    return Line(lines, c.Text(47, "Firmware Version") + " " + Hex2(m.data[6]) + "." + Hex2(m.data[7]) + "." +
                           Hex2(m.data[8]) + "." + Hex2(m.data[9]));
}

TItemResult FormatEcuNumber(const TReportContext& c, const TMsgRecord& m, TReportLines& lines)
{
    if (!IsItemReply(m, 8, ciEcuNumber))
        return irNotMine;
    return Line(lines, c.Text(136, "ECU Number") + " = " + Hex2(m.data[6]) + Hex2(m.data[7]));
}

TItemResult FormatRepeaterTime(const TReportContext& c, const TMsgRecord& m, TReportLines& lines)
{
    if (m.length != 10 || m.data[1] != kReadClockReply)
        return irNotMine;
    return Line(lines, ClockLine(c, &m.data[5]));
}

TItemResult FormatGsmBand(const TReportContext& c, const TMsgRecord& m, TReportLines& lines)
{
    if (!IsItemReply(m, 7, ciGsmBand))
        return irNotMine;
    const uint8_t v = m.data[6];
    return Line(lines, c.Text(83, "GSM Band") + " = " +
                           (v < c.gsmBands.size() ? c.gsmBands[v] : IllegalNumber(c, v)));
}

TItemResult FormatRegion(const TReportContext& c, const TMsgRecord& m, TReportLines& lines)
{
    if (!IsItemReply(m, 7, ciRegion))
        return irNotMine;
    const uint8_t v = m.data[6];
    std::string value = IllegalNumber(c, v);
    for (size_t i = 0; i < regionCodes.size(); ++i) {
        if (regionCodes[i] == v) {
            value = ListItem(c.regions, i);
            break;
        }
    }
    return Line(lines, c.Text(41, "Region") + " = " + value);
}

TItemResult FormatPatrolTime(const TReportContext& c, const TMsgRecord& m, TReportLines& lines)
{
    return TimeItem(c, m, lines, ciPatrolTime, 39, "Patrol Time");
}

TItemResult FormatRetryTime(const TReportContext& c, const TMsgRecord& m, TReportLines& lines)
{
    return TimeItem(c, m, lines, ciRetryTime, 86, "Retry Time");
}

TItemResult FormatReportTime(const TReportContext& c, const TMsgRecord& m, TReportLines& lines)
{
    return TimeItem(c, m, lines, ciReportTime, 96, "Report Time");
}

TItemResult FormatPatrolDays(const TReportContext& c, const TMsgRecord& m, TReportLines& lines)
{
    return DaysItem(c, m, lines, ciPatrolDays, 87, "Patrol Days");
}

TItemResult FormatReportDays(const TReportContext& c, const TMsgRecord& m, TReportLines& lines)
{
    return DaysItem(c, m, lines, ciReportDays, 98, "Report Days");
}

TItemResult FormatHostNumber(const TReportContext& c, const TMsgRecord& m, TReportLines& lines)
{
    return TextItem(c, m, lines, ciHostNumber, 93, "Host Number");
}

TItemResult FormatEngineerNumber(const TReportContext& c, const TMsgRecord& m, TReportLines& lines)
{
    return TextItem(c, m, lines, ciEngineerNumber, 95, "Engineer's Number");
}

TItemResult FormatReportStaggering(const TReportContext& c, const TMsgRecord& m, TReportLines& lines)
{
    if (!IsItemReply(m, 8, ciReportStagger))
        return irNotMine;
    return Line(lines, c.Text(97, "Report Staggering") + " = " + Dec(m.data[6]) + ", " + Dec(m.data[7]));
}

TItemResult FormatOptionFlags(const TReportContext& c, const TMsgRecord& m, TReportLines& lines)
{
    if (!IsItemReply(m, 7, ciEcuOptions))
        return irNotMine;
    const uint8_t v = m.data[6];
    lines.push_back(v & eoLowNoiseAmp ? "Low Noise Amplifier enabled" : "Low Noise Amplifier disabled");
    lines.push_back(v & eoEcuActive ? c.Text(140, "ECU active") : c.Text(141, "ECU inactive"));
    lines.push_back(v & eoGprsReporting ? c.Text(305, "GPRS Reporting Enabled") : c.Text(304, "SMS Reporting Enabled"));
    return Line(lines, c.Text(100, "Report Format") + " = " +
                           ListItem(c.reportFormats, (v & eoReportFormatMask) >> eoReportFormatShift));
}

TItemResult FormatLeakAlarm(const TReportContext& c, const TMsgRecord& m, TReportLines& lines)
{
    if (!IsItemReply(m, 7, ciAlarmReport))
        return irNotMine;
    std::string value;
    switch (m.data[6]) {
    case '0': value = c.Text(104, "No Reports"); break;
    case 'l': value = c.Text(105, "Report on Change to Leak"); break;
    case 'n': value = c.Text(106, "Report on Change to No-Leak"); break;
    case 'b': value = c.Text(107, "Report on Both Changes"); break;
    default: value = Illegal(c); break;
    }
    return Line(lines, c.Text(102, "Alarms") + " = " + value);
}

TItemResult FormatLowRfThreshold(const TReportContext& c, const TMsgRecord& m, TReportLines& lines)
{
    if (!IsItemReply(m, 7, ciLowRfThreshold))
        return irNotMine;
    return Line(lines, c.Text(108, "Low RF Alarm Threshold") + " = " + Dec(m.data[6]));
}

TItemResult FormatAlarmsEnabled(const TReportContext& c, const TMsgRecord& m, TReportLines& lines)
{
    if (!IsItemReply(m, 7, ciAlarmEnables))
        return irNotMine;
    const uint8_t v = m.data[6];
    std::string list;
    if (v == 0) {
        list = Angled(c, 40, "None");
    } else {
        if (v & aeLowVantBat)
            list += c.Text(110, "Q+ Low Battery") + ", ";
        if (v & aeLowVantRf)
            list += c.Text(111, "Q+ Low RF Signal") + ", ";
        if (v & aeLowKvtBat)
            list += c.Text(112, "Repeater Low Battery") + ", ";
        if (v & aeChangeViaSms)
            list += c.Text(113, "Configuration Change Via SMS") + ", ";
        if (list.size() >= 2)
            list.resize(list.size() - 2);
    }
    return Line(lines, "Alarms Enabled = " + list);
}

TItemResult FormatPatrolDuration(const TReportContext& c, const TMsgRecord& m, TReportLines& lines)
{
    if (!IsItemReply(m, 7, ciPatrolDuration))
        return irNotMine;
    return Line(lines, c.Text(258, "Patrol duration") + " = " + Dec(m.data[6]) + "s");
}

TItemResult FormatSmsRxDuration(const TReportContext& c, const TMsgRecord& m, TReportLines& lines)
{
    if (!IsItemReply(m, 7, ciRxDuration))
        return irNotMine;
    const uint8_t v = m.data[6];
    const bool listed = v >= 1 && v <= c.smsRxDurations.size();
    return Line(lines, c.Text(135, "SMS Rx Duration") + " = " +
                           (listed ? c.smsRxDurations[v - 1u] : IllegalNumber(c, v)));
}

TItemResult FormatApn(const TReportContext& c, const TMsgRecord& m, TReportLines& lines)
{
    return TextItem(c, m, lines, ciApn, 283, "Access Point Name");
}

TItemResult FormatGprsUsername(const TReportContext& c, const TMsgRecord& m, TReportLines& lines)
{
    return TextItem(c, m, lines, ciGprsUser, 284, "GPRS Username");
}

TItemResult FormatGprsPassword(const TReportContext& c, const TMsgRecord& m, TReportLines& lines)
{
    return TextItem(c, m, lines, ciGprsPassword, 285, "GPRS Password");
}

TItemResult FormatFtpHost(const TReportContext& c, const TMsgRecord& m, TReportLines& lines)
{
    return TextItem(c, m, lines, ciFtpHost, 286, "FTP Host");
}

TItemResult FormatFtpUserId(const TReportContext& c, const TMsgRecord& m, TReportLines& lines)
{
    return TextItem(c, m, lines, ciFtpUser, 287, "FTP User ID");
}

TItemResult FormatFtpPassword(const TReportContext& c, const TMsgRecord& m, TReportLines& lines)
{
    return TextItem(c, m, lines, ciFtpPassword, 288, "FTP Password");
}

TItemResult FormatFtpFolder(const TReportContext& c, const TMsgRecord& m, TReportLines& lines)
{
    return TextItem(c, m, lines, ciFtpFolder, 306, "FTP Folder", true);
}

TItemResult FormatSimNumber(const TReportContext& c, const TMsgRecord& m, TReportLines& lines)
{
    return TextItem(c, m, lines, ciSimNumber, 289, "SIM Card Number");
}

const std::array<TReportItem, kReadConfigItemCount> kReportItems = {{
    {ciFirmwareVersion, false, FormatFirmwareVersion},
    {ciEcuNumber, false, FormatEcuNumber},
    {ciNone, true, FormatRepeaterTime},
    {ciGsmBand, false, FormatGsmBand},
    {ciRegion, false, FormatRegion},
    {ciPatrolTime, false, FormatPatrolTime},
    {ciRetryTime, false, FormatRetryTime},
    {ciPatrolDays, false, FormatPatrolDays},
    {ciHostNumber, false, FormatHostNumber},
    {ciEngineerNumber, false, FormatEngineerNumber},
    {ciReportTime, false, FormatReportTime},
    {ciReportStagger, false, FormatReportStaggering},
    {ciReportDays, false, FormatReportDays},
    {ciEcuOptions, false, FormatOptionFlags},
    {ciAlarmReport, false, FormatLeakAlarm},
    {ciLowRfThreshold, false, FormatLowRfThreshold},
    {ciAlarmEnables, false, FormatAlarmsEnabled},
    {ciPatrolDuration, false, FormatPatrolDuration},
    {ciRxDuration, false, FormatSmsRxDuration},
    {ciApn, false, FormatApn},
    {ciGprsUser, false, FormatGprsUsername},
    {ciGprsPassword, false, FormatGprsPassword},
    {ciFtpHost, false, FormatFtpHost},
    {ciFtpUser, false, FormatFtpUserId},
    {ciFtpPassword, false, FormatFtpPassword},
    {ciFtpFolder, false, FormatFtpFolder},
    {ciSimNumber, false, FormatSimNumber},
}};

std::string ReportHeading(const TReportContext& c, int32_t repeaterId)
{
    return c.Text(189, "Reading Configuration for Repeater") + RepeaterIdText(uint32_t(repeaterId)) + " :";
}

std::string ReportRejectionLine(const TReportContext& c, uint8_t itemCode)
{
    return "#" + Dec(itemCode) + " - " + c.Text(238, "Configuration rejected by the Repeater") + ", " +
           c.Text(239, "Check firmware version");
}

std::string ReportCompleteLine(const TReportContext& c) { return "  -- " + c.Text(252, "Read Complete") + " --"; }

std::string ReportStoppedLine(const TReportContext& c) { return "  -- " + c.Text(65, "Read Stopped by User") + " --"; }

std::string ReportFailedLine(const std::string& reason) { return "  -- " + reason + " --"; }

bool IsItemReadRefusal(const TMsgRecord& m)
{
    return m.length == 7 && m.data[1] == rcError && m.data[5] == rcReadItem && m.data[6] == 1;
}
