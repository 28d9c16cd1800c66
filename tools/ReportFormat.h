#pragma once
// The configuration report's lines: one formatter per item that the
// read-back asks the repeater for. Each formatter is a pure function of the
// received record and a small context (texts, list captions, day and month
// names, the time of reading), so the report can be checked without windows.
//
// A formatter tests whether the record is its item's reply; if so it appends
// the item's line(s) and returns irDone, otherwise it appends nothing and
// returns irNotMine. No byte beyond the record's count is ever read: a reply
// too short for a byte a formatter needs is not its item's.
//
// Lines are UTF-8. The repeater's texts are 8-bit, one character a byte.
#include "app/ConfigItems.h"
#include "app/Languages.h"

#include <array>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

struct TMsgRecord;

struct TReportContext {
    // The current language's strings; null: the English texts.
    const TLangStrings* strings = nullptr;
    // Captions of the main window's lists, in list order.
    std::vector<std::string> gsmBands;
    std::vector<std::string> regions;
    std::vector<std::string> reportFormats;
    std::vector<std::string> smsRxDurations;
    // Regional names: long weekday names from Sunday, short month names from January.
    std::array<std::string, 7> longDayNames;
    std::array<std::string, 12> shortMonthNames;
    // The PC's local date and time when the reply was read.
    std::tm readOn {};

    std::string Text(int id, const std::string& english) const;
};

// English regional names (what a PC without regional settings shows).
std::array<std::string, 7> EnglishLongDayNames();
std::array<std::string, 12> EnglishShortMonthNames();

using TReportLines = std::vector<std::string>;
using TReportFormatter = TItemResult (*)(const TReportContext& context, const TMsgRecord& msg, TReportLines& lines);

TItemResult FormatFirmwareVersion(const TReportContext&, const TMsgRecord&, TReportLines&);
TItemResult FormatEcuNumber(const TReportContext&, const TMsgRecord&, TReportLines&);
TItemResult FormatRepeaterTime(const TReportContext&, const TMsgRecord&, TReportLines&);
TItemResult FormatGsmBand(const TReportContext&, const TMsgRecord&, TReportLines&);
TItemResult FormatRegion(const TReportContext&, const TMsgRecord&, TReportLines&);
TItemResult FormatPatrolTime(const TReportContext&, const TMsgRecord&, TReportLines&);
TItemResult FormatRetryTime(const TReportContext&, const TMsgRecord&, TReportLines&);
TItemResult FormatPatrolDays(const TReportContext&, const TMsgRecord&, TReportLines&);
TItemResult FormatHostNumber(const TReportContext&, const TMsgRecord&, TReportLines&);
TItemResult FormatEngineerNumber(const TReportContext&, const TMsgRecord&, TReportLines&);
TItemResult FormatReportTime(const TReportContext&, const TMsgRecord&, TReportLines&);
TItemResult FormatReportStaggering(const TReportContext&, const TMsgRecord&, TReportLines&);
TItemResult FormatReportDays(const TReportContext&, const TMsgRecord&, TReportLines&);
TItemResult FormatOptionFlags(const TReportContext&, const TMsgRecord&, TReportLines&);
TItemResult FormatLeakAlarm(const TReportContext&, const TMsgRecord&, TReportLines&);
TItemResult FormatLowRfThreshold(const TReportContext&, const TMsgRecord&, TReportLines&);
TItemResult FormatAlarmsEnabled(const TReportContext&, const TMsgRecord&, TReportLines&);
TItemResult FormatPatrolDuration(const TReportContext&, const TMsgRecord&, TReportLines&);
TItemResult FormatSmsRxDuration(const TReportContext&, const TMsgRecord&, TReportLines&);
TItemResult FormatApn(const TReportContext&, const TMsgRecord&, TReportLines&);
TItemResult FormatGprsUsername(const TReportContext&, const TMsgRecord&, TReportLines&);
TItemResult FormatGprsPassword(const TReportContext&, const TMsgRecord&, TReportLines&);
TItemResult FormatFtpHost(const TReportContext&, const TMsgRecord&, TReportLines&);
TItemResult FormatFtpUserId(const TReportContext&, const TMsgRecord&, TReportLines&);
TItemResult FormatFtpPassword(const TReportContext&, const TMsgRecord&, TReportLines&);
TItemResult FormatFtpFolder(const TReportContext&, const TMsgRecord&, TReportLines&);
TItemResult FormatSimNumber(const TReportContext&, const TMsgRecord&, TReportLines&);

// One entry of the read-back, in reading order: the item code its request
// carries, whether it is the clock request, and its formatter.
struct TReportItem {
    uint8_t itemCode;
    bool clockRequest;
    TReportFormatter formatter;
};
inline constexpr int kReadConfigItemCount = 27;
extern const std::array<TReportItem, kReadConfigItemCount> kReportItems;

// The lines around the items.
std::string ReportHeading(const TReportContext& context, int32_t repeaterId);
std::string ReportRejectionLine(const TReportContext& context, uint8_t itemCode);
std::string ReportCompleteLine(const TReportContext& context);
std::string ReportStoppedLine(const TReportContext& context);
// The end of a read that failed, naming why: a partial report never passes for a whole one.
std::string ReportFailedLine(const std::string& reason);

// The repeater's refusal of an item read with error code 1.
bool IsItemReadRefusal(const TMsgRecord& msg);

// Pieces of the lines, for their tests.
std::string DayMaskText(const TReportContext& context, uint8_t mask);
std::string ClockLine(const TReportContext& context, const uint8_t packed[5]);
