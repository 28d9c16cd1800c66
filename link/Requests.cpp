#include "link/Requests.h"

#include "app/Languages.h"
#include "app/Main.h"
#include "link/Responses.h"
#include "link/Serial.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <ctime>
#include <limits>
#include <vector>

void QueueMsg(TformMain* form, TMsgRecord* msg, int32_t replyTimeoutMs)
{
    if (form->adminOptions & 0x2) {
        // Chirp-triggered transmissions: the repeater needs longer to answer.
        form->txMsg.data[1] = icRelayChirp;
        if (replyTimeoutMs > 0)
            replyTimeoutMs += 4000;
    }
    SendFrame(msg, form->portVigilator);
    form->StartLinkTimer(form->linkTimeoutMs);
    if (replyTimeoutMs > 0)
        form->StartReplyTimer(uint32_t(replyTimeoutMs));
    else
        form->StopReplyTimer();
    form->LightTxLamp();
}

// ============================================================== packed date and time

TPackedTime PackTime(const TClockTime& t)
{
    const unsigned sec = unsigned(t.second);
    const unsigned min = unsigned(t.minute);
    const unsigned hour = unsigned(t.hour);
    const unsigned dow = unsigned(t.dayOfWeek);
    const unsigned day = unsigned(t.day);
    const unsigned month = unsigned(t.month);
    // Low byte of year + 48 is year - 2000 for 2000..2255.
    const unsigned year = uint8_t(t.year + 48);
    return TPackedTime{
        uint8_t(sec | min << 6),
        uint8_t(min >> 2 | hour << 4),
        uint8_t(hour >> 4 | dow << 1 | day << 4),
        uint8_t(day >> 4 | month << 1 | year << 5),
        uint8_t(year >> 3),
    };
}

TClockTime UnpackTime(const TPackedTime& packed)
{
    uint64_t v = 0;
    for (int i = 4; i >= 0; --i)
        v = v << 8 | packed[std::size_t(i)];
    TClockTime t;
    t.second = int(v & 0x3F);
    t.minute = int(v >> 6 & 0x3F);
    t.hour = int(v >> 12 & 0x1F);
    t.dayOfWeek = int(v >> 17 & 0x07);
    t.day = int(v >> 20 & 0x1F);
    t.month = int(v >> 25 & 0x0F);
    t.year = 2000 + int(v >> 29 & 0xFF);
    return t;
}

TClockTime LocalClockTime(std::chrono::system_clock::time_point now, int hours)
{
    using namespace std::chrono;
    constexpr int64_t msPerDay = 86400000;
    const int64_t ms = duration_cast<milliseconds>(now.time_since_epoch()).count();
    const int64_t seconds = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
    const time_t tt = time_t(seconds);
    tm local {};
    localtime_r(&tt, &local);

    // The local wall-clock reading as a plain count of milliseconds: the
    // offset moves the reading, with no second look at time zones.
    const sys_days date {year {local.tm_year + 1900} / month {unsigned(local.tm_mon + 1)} / day {unsigned(local.tm_mday)}};
    int64_t reading = int64_t(date.time_since_epoch().count()) * msPerDay +
                      ((int64_t(local.tm_hour) * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 + (ms - seconds * 1000);
    // The offset is a day fraction in single precision, so some offsets
    // land a millisecond short of the whole hour.
    const float offsetDays = float(hours) / 24.0f;
    reading += std::llround(double(offsetDays) * double(msPerDay));

    int64_t dayCount = reading / msPerDay;
    int64_t rest = reading % msPerDay;
    if (rest < 0) {
        rest += msPerDay;
        --dayCount;
    }
    const sys_days when {days {dayCount}};
    const year_month_day ymd {when};
    const int64_t secOfDay = rest / 1000;
    TClockTime t;
    t.year = int(ymd.year());
    t.month = int(unsigned(ymd.month()));
    t.day = int(unsigned(ymd.day()));
    t.dayOfWeek = int(weekday {when}.c_encoding());
    t.hour = int(secOfDay / 3600);
    t.minute = int(secOfDay / 60 % 60);
    t.second = int(secOfDay % 60);
    return t;
}

// ============================================================== value helpers

bool TextFitsRecord(const std::string& text)
{
    return text.size() <= kMaxItemText && text.find('\0') == std::string::npos;
}

std::string FilterTelNumber(const std::string& text)
{
    std::string kept;
    for (char c : text)
        if ((c >= '0' && c <= '9') || c == '+')
            kept += c;
    return kept;
}

bool TelNumberFitsRecord(const std::string& text) { return FilterTelNumber(text).size() <= kMaxItemText; }

uint8_t BcdByte(int value) { return uint8_t((value / 10) << 4 | value % 10); }

std::string StripBlanks(const std::string& text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && uint8_t(text[begin]) < 33)
        ++begin;
    while (end > begin && uint8_t(text[end - 1]) < 33)
        --end;
    return text.substr(begin, end - begin);
}

std::optional<double> ParseDecimalText(const std::string& text)
{
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+' && last - first > 1 && first[1] != '-' && first[1] != '+')
        ++first;
    double value = 0;
    const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
    if (error != std::errc() || end != last || first == last || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<int64_t> ParseIntegerText(std::string_view text, int base)
{
    const std::string stripped = StripBlanks(std::string(text));
    std::string_view digits = stripped;
    bool negative = false;
    if (base == 10 && !digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (base != 10 && base != 16)
        return std::nullopt;
    // Into an unsigned type from_chars takes digits alone (no sign, blank or
    // "0x"), so a text that is not wholly consumed is not a number.
    uint64_t magnitude = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
    if (error != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    const uint64_t limit = uint64_t(std::numeric_limits<int64_t>::max()) + (negative ? 1 : 0);
    if (magnitude > limit)
        return std::nullopt;
    return negative ? int64_t(0 - magnitude) : int64_t(magnitude);
}

float GpsFieldValue(QLineEdit* edit)
{
    const std::string text = StripBlanks(edit->text().toStdString());
    edit->setText(QString::fromStdString(text));
    if (text.empty())
        return 0.0f;
    return float(ParseDecimalText(text).value_or(4294967295.0));
}

namespace {

using Bytes = std::vector<uint8_t>;

// A request without its relay header: the command and what follows the address.
struct TRequest {
    uint8_t command;
    Bytes data;
};

// Dry runs under way (RequestCanBeBuilt): while there is one, a builder
// checks its input and sends nothing.
int dryRuns = 0;

// The text of an edit in the code page; empty when a character has no code.
std::optional<std::string> CodePageText(const QLineEdit* edit) { return platform::ToWindows1252(edit->text()); }

std::string Text(const QLineEdit* edit) { return edit->text().toStdString(); }
std::string Text(const QComboBox* combo) { return combo->currentText().toStdString(); }

// The chosen list position when it lies in first..last; a list with nothing
// chosen (-1) never does.
std::optional<int> Choice(const QComboBox* combo, int first, int last)
{
    const int index = combo->currentIndex();
    if (index < first || index > last)
        return std::nullopt;
    return index;
}

uint8_t DayMask(const std::array<QCheckBox*, 7>& boxes)
{
    uint8_t mask = 0;
    for (std::size_t i = 0; i < boxes.size(); ++i)
        if (boxes[i] && boxes[i]->isChecked())
            mask |= uint8_t(1u << i);
    return mask;
}

std::optional<TRequest> Write(uint8_t code, const Bytes& value)
{
    TRequest request {rcWriteItem, {code, 0x00, uint8_t(value.size())}};
    request.data.insert(request.data.end(), value.begin(), value.end());
    return request;
}

std::optional<TRequest> WriteText(uint8_t code, const std::optional<std::string>& text)
{
    if (!text || !TextFitsRecord(*text))
        return std::nullopt;
    Bytes value(text->begin(), text->end());
    value.push_back(0x00);
    return Write(code, value);
}

std::optional<TRequest> WriteTime(uint8_t code, const QComboBox* hour, const QComboBox* minute)
{
    const auto h = Choice(hour, 0, 23);
    const auto m = Choice(minute, 0, 59);
    if (!h || !m)
        return std::nullopt;
    return Write(code, {BcdByte(*h), BcdByte(*m)});
}

// Fills txMsg, sends it and shows the status text: true. A refused request
// (and any request during a dry run) leaves txMsg and the timers as they were.
bool Send(TformMain* form, const std::optional<TRequest>& request, int textId, const std::string& english,
          const std::string& suffix = {})
{
    if (!request || 6 + request->data.size() > std::size_t(kMaxMsgData))
        return false;
    if (dryRuns > 0)
        return true;
    TMsgRecord& msg = form->txMsg;
    msg.data[0] = msgHostTag;
    msg.data[1] = icRelay;
    msg.data[2] = request->command;
    msg.data[3] = form->repeaterAddr[0];
    msg.data[4] = form->repeaterAddr[1];
    msg.data[5] = form->repeaterAddr[2];
    std::copy(request->data.begin(), request->data.end(), msg.data + 6);
    msg.length = uint16_t(6 + request->data.size());
    QueueMsg(form, &form->txMsg, 1000);
    form->SetStatusText("  " + GetLangString(form, textId, english) + suffix);
    return true;
}

std::string Number(unsigned value) { return " #" + std::to_string(value); }

// ---- readers of the table entries' values

std::optional<TRequest> ReadGsmBand(TformMain* form, uint8_t code)
{
    const auto band = Choice(form->comboGsmBand, 0, 3);
    if (!band)
        return std::nullopt;
    return Write(code, {uint8_t(*band)});
}

std::optional<TRequest> ReadRegion(TformMain* form, uint8_t)
{
    const auto region = Choice(form->comboRegion, 0, int(regionCodes.size()) - 1);
    if (!region)
        return std::nullopt;
    return TRequest {rcRegion, {regionCodes[std::size_t(*region)]}};
}

void PutFloat(Bytes& bytes, float value)
{
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(uint8_t(bits >> shift));
}

std::optional<TRequest> ReadGpsCoordinates(TformMain* form, uint8_t code)
{
    const float latitude = GpsFieldValue(form->editGpsLat);
    const float longitude = GpsFieldValue(form->editGpsLong);
    // A number beyond single precision would go out as infinity.
    if (!std::isfinite(latitude) || !std::isfinite(longitude))
        return std::nullopt;
    Bytes value;
    PutFloat(value, latitude);
    PutFloat(value, longitude);
    return Write(code, value);
}

std::optional<TRequest> ReadPatrolTime(TformMain* form, uint8_t code)
{
    return WriteTime(code, form->comboPatrolHour, form->comboPatrolMinute);
}

std::optional<TRequest> ReadRetryTime(TformMain* form, uint8_t code)
{
    return WriteTime(code, form->comboRetryHour, form->comboRetryMinute);
}

std::optional<TRequest> ReadReportTime(TformMain* form, uint8_t code)
{
    return WriteTime(code, form->comboReportHour, form->comboReportMinute);
}

std::optional<TRequest> ReadPatrolDuration(TformMain* form, uint8_t code)
{
    // Ten-second steps from 10 s; 250 s is the most a byte holds.
    const auto step = Choice(form->comboPatrolDuration, 0, 24);
    if (!step)
        return std::nullopt;
    return Write(code, {uint8_t((*step + 1) * 10)});
}

std::optional<TRequest> ReadPatrolDays(TformMain* form, uint8_t code)
{
    return Write(code, {DayMask(form->patrolDayBoxes)});
}

std::optional<TRequest> ReadReportDays(TformMain* form, uint8_t code)
{
    return Write(code, {DayMask(form->reportDayBoxes)});
}

std::optional<TRequest> ReadHistogramDays(TformMain* form, uint8_t code)
{
    return Write(code, {DayMask(form->histDayBoxes)});
}

std::optional<TRequest> ReadHostTel(TformMain* form, uint8_t code)
{
    return WriteText(code, FilterTelNumber(Text(form->comboHostTel)));
}

std::optional<TRequest> ReadEngineerTel(TformMain* form, uint8_t code)
{
    return WriteText(code, FilterTelNumber(Text(form->comboEngineerTel)));
}

std::optional<TRequest> ReadSimTel(TformMain* form, uint8_t code)
{
    return WriteText(code, FilterTelNumber(Text(form->editSimNumber)));
}

std::optional<TRequest> ReadReportStagger(TformMain* form, uint8_t code)
{
    const auto digits = Choice(form->comboStaggerDigits, 0, 4);
    const auto seconds = Choice(form->comboStaggerTime, 0, 30);
    if (!digits || !seconds)
        return std::nullopt;
    return Write(code, {uint8_t(*digits), uint8_t(*seconds)});
}

std::optional<TRequest> ReadAlarmSetting(TformMain* form, uint8_t code)
{
    const auto choice = Choice(form->comboLeakAlarm, 0, int(alarmReportCodes.size()) - 1);
    if (!choice)
        return std::nullopt;
    return Write(code, {uint8_t(alarmReportCodes[std::size_t(*choice)])});
}

std::optional<TRequest> ReadLowRfThreshold(TformMain* form, uint8_t code)
{
    const auto threshold = LowRfThresholdValue(form);
    if (!threshold)
        return std::nullopt;
    return Write(code, {*threshold});
}

std::optional<TRequest> ReadAlarmEnables(TformMain* form, uint8_t code)
{
    uint8_t bits = 0;
    if (form->boxLowVantBat->isChecked())
        bits |= aeLowVantBat;
    if (form->boxLowVantRf->isChecked())
        bits |= aeLowVantRf;
    if (form->boxLowKvtBat->isChecked())
        bits |= aeLowKvtBat;
    if (form->boxChangeViaSms->isChecked())
        bits |= aeChangeViaSms;
    return Write(code, {bits});
}

std::optional<TRequest> ReadRxWindowDuration(TformMain* form, uint8_t code)
{
    const auto position = Choice(form->comboSmsRxDuration, 0, 254);
    if (!position)
        return std::nullopt;
    return Write(code, {uint8_t(*position + 1)});
}

std::optional<TRequest> ReadEcuNumber(TformMain* form, uint8_t code)
{
    const auto ecu = EcuNumberValue(form);
    if (!ecu)
        return std::nullopt;
    return Write(code, {uint8_t(*ecu >> 8), uint8_t(*ecu)});
}

std::optional<TRequest> ReadSerialNumber(TformMain* form, uint8_t code)
{
    const auto serial = SerialNumberValue(form);
    if (!serial)
        return std::nullopt;
    return Write(code, {uint8_t(*serial >> 16), uint8_t(*serial >> 8), uint8_t(*serial)});
}

std::optional<TRequest> ReadApn(TformMain* form, uint8_t code) { return WriteText(code, CodePageText(form->editApn)); }
std::optional<TRequest> ReadGprsUser(TformMain* form, uint8_t code) { return WriteText(code, CodePageText(form->editGprsUser)); }
std::optional<TRequest> ReadGprsPass(TformMain* form, uint8_t code) { return WriteText(code, CodePageText(form->editGprsPass)); }
std::optional<TRequest> ReadFtpHost(TformMain* form, uint8_t code) { return WriteText(code, CodePageText(form->editFtpHost)); }
std::optional<TRequest> ReadFtpUser(TformMain* form, uint8_t code) { return WriteText(code, CodePageText(form->editFtpUser)); }
std::optional<TRequest> ReadFtpPass(TformMain* form, uint8_t code) { return WriteText(code, CodePageText(form->editFtpPass)); }
std::optional<TRequest> ReadFtpFolder(TformMain* form, uint8_t code) { return WriteText(code, CodePageText(form->editFtpFolder)); }

std::optional<TRequest> ReadEcuOptionsF2(TformMain* form, uint8_t code)
{
    const uint8_t value = form->radioGprs->isChecked() ? eoGprsReporting : 0x00;
    return TRequest {rcService, {code, 0x00, value, eoGprsReporting}};
}

std::optional<int> ReportFormatChoice(TformMain* form) { return Choice(form->comboReportFormat, 0, 3); }

} // namespace

std::optional<uint8_t> LowRfThresholdValue(TformMain* form)
{
    const auto value = ParseIntegerText(Text(form->editLowRfThresh), 10);
    if (!value || *value < 0 || *value > 255)
        return std::nullopt;
    return uint8_t(*value);
}

std::optional<uint32_t> SerialNumberValue(TformMain* form)
{
    const auto value = ParseIntegerText(Text(form->editSerialNum), 10);
    if (!value || *value < 0 || *value >= 13000000)
        return std::nullopt;
    return uint32_t(*value);
}

std::optional<uint16_t> EcuNumberValue(TformMain* form)
{
    if (form->boxEcuUsesSerial->isChecked()) {
        uint32_t serial;
        if (form->boxSerialNum->isChecked()) {
            // A serial number that is not one gives no ECU number (never 0000).
            const auto typed = SerialNumberValue(form);
            if (!typed)
                return std::nullopt;
            serial = *typed;
        } else {
            serial = uint32_t(form->repeaterAddr[0]) << 16 | uint32_t(form->repeaterAddr[1]) << 8 | form->repeaterAddr[2];
        }
        // The last four decimal digits, read as hexadecimal digits.
        uint32_t rest = serial % 10000;
        uint16_t value = 0;
        for (int shift = 0; shift < 16; shift += 4, rest /= 10)
            value = uint16_t(value | (rest % 10) << shift);
        return value;
    }
    const auto ecu = ParseIntegerText(Text(form->editEcuNum), 16);
    if (!ecu || *ecu > 0xFFFF)
        return std::nullopt;
    return uint16_t(*ecu);
}

// ============================================================== configuration writes

bool QueueGsmBand(TformMain* form, uint8_t code) { return Send(form, ReadGsmBand(form, code), 190, "Queueing GSM Band"); }

bool QueueTime(TformMain* form, uint8_t hours)
{
    int offset = int8_t(hours);
    if (hours == ciUseTimeZone)
        offset = int16_t(form->spinnerTimeZone->value());
    const TPackedTime packed = PackTime(LocalClockTime(platform::WallClockNow(), offset));
    return Send(form, TRequest {rcSetClock, Bytes(packed.begin(), packed.end())}, 191, "Queueing Time");
}

bool QueueRegion(TformMain* form, uint8_t code) { return Send(form, ReadRegion(form, code), 192, "Queueing Region"); }

bool QueueGpsCoordinates(TformMain* form, uint8_t code)
{
    return Send(form, ReadGpsCoordinates(form, code), 193, "Queueing GPS Co-ordinates");
}

bool QueuePatrolTime(TformMain* form, uint8_t code)
{
    return Send(form, ReadPatrolTime(form, code), 194, "Queueing Patrol Time");
}

bool QueuePatrolRetryTime(TformMain* form, uint8_t code)
{
    return Send(form, ReadRetryTime(form, code), 195, "Queueing Patrol Retry Time");
}

bool QueuePatrolDuration(TformMain* form, uint8_t code)
{
    return Send(form, ReadPatrolDuration(form, code), 196, "Queueing Patrol Duration");
}

bool QueuePatrolDays(TformMain* form, uint8_t code)
{
    return Send(form, ReadPatrolDays(form, code), 197, "Queueing Patrol Days");
}

bool QueueHostTelNumber(TformMain* form, uint8_t code)
{
    return Send(form, ReadHostTel(form, code), 198, "Queueing Host Telephone Number");
}

bool QueueReportTime(TformMain* form, uint8_t code)
{
    return Send(form, ReadReportTime(form, code), 199, "Queueing Report Time");
}

bool QueueReportStagger(TformMain* form, uint8_t code)
{
    return Send(form, ReadReportStagger(form, code), 200, "Queueing Report Stagger Data");
}

bool QueueReportDays(TformMain* form, uint8_t code)
{
    return Send(form, ReadReportDays(form, code), 201, "Queueing Report Days");
}

bool QueueHistogramOptions(TformMain* form, uint8_t code)
{
    return Send(form, ReadHistogramDays(form, code), 202, "Queueing Histogram Options");
}

bool QueueAlarmSetting(TformMain* form, uint8_t code)
{
    return Send(form, ReadAlarmSetting(form, code), 203, "Queueing Alarm Setting");
}

bool QueueLowRfThreshold(TformMain* form, uint8_t code)
{
    return Send(form, ReadLowRfThreshold(form, code), 204, "Queueing Low RF Alarm Threshold");
}

bool QueueAlarmEnables(TformMain* form, uint8_t code)
{
    return Send(form, ReadAlarmEnables(form, code), 205, "Queueing Alarm-Enable Settings");
}

bool QueueClearDatabase(TformMain* form, uint8_t)
{
    return Send(form, TRequest {rcClearDb, {0xED}}, 206, "Queueing Clear Database Message");
}

bool QueueEraseDebugCounter(TformMain* form, uint8_t code)
{
    return Send(form, Write(code, {0x00, 0x00}), 207, "Queueing Erase Debug Counter", Number(code));
}

bool QueueEraseBuffer(TformMain* form, uint8_t logIndex)
{
    return Send(form, TRequest {rcEraseBuffer, {logIndex}}, 208, "Queueing Erase Buffer", Number(logIndex));
}

bool QueueEngineerTelNumber(TformMain* form, uint8_t code)
{
    return Send(form, ReadEngineerTel(form, code), 209, "Queueing Engineer's Telephone Number");
}

bool QueueRxWindowDuration(TformMain* form, uint8_t code)
{
    return Send(form, ReadRxWindowDuration(form, code), 210, "Queueing Receive Window Duration");
}

bool QueueEcuNumber(TformMain* form, uint8_t code) { return Send(form, ReadEcuNumber(form, code), 211, "Queueing ECU Number"); }

bool QueueSerialNumber(TformMain* form, uint8_t code)
{
    return Send(form, ReadSerialNumber(form, code), 212, "Queueing Serial Number");
}

bool QueueApn(TformMain* form, uint8_t code) { return Send(form, ReadApn(form, code), 292, "Queueing Access Point Name"); }

bool QueueGprsUsername(TformMain* form, uint8_t code)
{
    return Send(form, ReadGprsUser(form, code), 293, "Queueing GPRS Username");
}

bool QueueGprsPassword(TformMain* form, uint8_t code)
{
    return Send(form, ReadGprsPass(form, code), 294, "Queueing GPRS Password");
}

bool QueueFtpHost(TformMain* form, uint8_t code) { return Send(form, ReadFtpHost(form, code), 295, "Queueing FTP Host Name"); }

bool QueueFtpUserId(TformMain* form, uint8_t code) { return Send(form, ReadFtpUser(form, code), 296, "Queueing FTP User ID"); }

bool QueueFtpPassword(TformMain* form, uint8_t code)
{
    return Send(form, ReadFtpPass(form, code), 297, "Queueing FTP Password");
}

bool QueueFtpFolder(TformMain* form, uint8_t code) { return Send(form, ReadFtpFolder(form, code), 307, "Queueing FTP Folder"); }

bool QueueSimTelNumber(TformMain* form, uint8_t code)
{
    return Send(form, ReadSimTel(form, code), 298, "Queueing SIM Telephone Number");
}

bool QueueEcuOptionsStep(TformMain* form, uint8_t)
{
    // The report format goes into the byte whenever its box is ticked or its
    // entry is the one being sent; with nothing chosen there is no format.
    const int32_t index = form->itemIndex;
    const bool formatEntry =
        index >= 0 && index < kConfigItemCount && form->configItems[size_t(index)].box == form->boxReportFormat;
    const auto format = ReportFormatChoice(form);
    if (!format && (formatEntry || form->boxReportFormat->isChecked()))
        return false;
    if (form->opState == osConfigItems && form->boxLowNoiseAmp->isChecked() && form->boxReportFormat->isChecked()) {
        // Both fields are known: write the byte without reading it first.
        uint8_t options = eoEcuActive | uint8_t(*format << eoReportFormatShift);
        if (form->radioEnableLna->isChecked())
            options |= eoLowNoiseAmp;
        return QueueEcuOptions(form, options);
    }
    // One field only: read the byte, and let its reply merge the field in.
    if (!QueueCheckOptions(form))
        return false;
    if (dryRuns == 0 && form->opState == osConfigItems)
        form->opState = osCheckOptions;
    return true;
}

bool QueueEcuOptionsF2(TformMain* form, uint8_t code)
{
    return Send(form, ReadEcuOptionsF2(form, code), 218, "Queueing ECU Options");
}

// ============================================================== input checks

bool RequestCanBeBuilt(TformMain* form, TConfigRequestEvent request, uint8_t code)
{
    struct DryRun {
        DryRun() { ++dryRuns; }
        ~DryRun() { --dryRuns; }
        DryRun(const DryRun&) = delete;
        DryRun& operator=(const DryRun&) = delete;
    } dryRun;
    return request(form, code);
}

// ============================================================== other requests

bool QueueEcuOptions(TformMain* form, uint8_t options)
{
    return Send(form, Write(ciEcuOptions, {options}), 218, "Queueing ECU Options");
}

bool QueueCheckOptions(TformMain* form)
{
    return Send(form, TRequest {rcReadItem, {ciEcuOptions}}, 222, "Checking existing options");
}

bool QueueConfigRequest(TformMain* form, uint8_t item)
{
    return Send(form, TRequest {rcReadItem, {item}}, 219, "Queueing configuration request", Number(item));
}

bool QueueClockRequest(TformMain* form, uint8_t)
{
    return Send(form, TRequest {rcReadClock, {}}, 220, "Queueing clock request");
}

bool QueueSleep(TformMain* form) { return Send(form, TRequest {rcEcuState, {esSleep, 0x55}}, 213, "Queueing Sleep command"); }

bool QueueStartPatrol(TformMain* form)
{
    return Send(form, TRequest {rcEcuState, {esStartPatrol, form->rfTestPatrolSeconds}}, 214, "Queueing Start Patrol");
}

bool QueueGsmNetworkRequest(TformMain* form, uint8_t logOn)
{
    const uint8_t action = logOn ? 0x10 : 0x1F;
    return Send(form, TRequest {rcEcuState, {esGsmNetwork, action}}, 216, "Queueing GSM network request");
}

bool QueueDatabaseRequest(TformMain* form)
{
    return Send(form, TRequest {rcDbRequest, {}}, 215, "Queueing database requests");
}

bool QueueReadDatabaseEntry(TformMain* form, uint8_t index)
{
    return Send(form, TRequest {rcReadDbEntry, {index}}, 221, "Reading database entry", Number(index));
}

bool QueueTestSms(TformMain* form)
{
    // The destination goes without a NUL: it is the last thing in the record.
    const std::string digits = FilterTelNumber(Text(form->comboTestTel));
    if (7 + digits.size() > std::size_t(kMaxMsgData))
        return false;
    TRequest request {rcTest, {0x00}};
    request.data.insert(request.data.end(), digits.begin(), digits.end());
    return Send(form, request, 217, "Queueing Test SMS");
}

bool QueueFtpTest(TformMain* form) { return Send(form, TRequest {rcTest, {0x02}}, 299, "Queueing FTP Connection Test"); }

bool QueueReadRequest(TformMain* form, uint8_t logIndex, uint8_t entryIndex)
{
    return Send(form, TRequest {rcReadDebugLog, {logIndex, entryIndex}}, 268, "Queueing read request",
         " " + std::to_string(entryIndex));
}

void SendRssiRequest(TformMain* form)
{
    TMsgRecord msg;
    msg.data[0] = msgHostTag;
    msg.data[1] = icRelayChirp;
    msg.data[2] = rcRssi;
    msg.data[3] = form->repeaterAddr[0];
    msg.data[4] = form->repeaterAddr[1];
    msg.data[5] = form->repeaterAddr[2];
    msg.data[6] = 0x00;
    msg.length = 7;
    SendFrame(&msg, form->portVigilator);
}
