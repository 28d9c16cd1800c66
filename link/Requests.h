#pragma once
// Sending the one outstanding request, and the repeater's request builders.
//
// Every request to a repeater is relayed by the interface unit:
//   C0, relay byte A7 (QueueMsg makes it 'z' for chirp-triggered sends),
//   command, the selected repeater's address (3 bytes), command data.
// A configuration write carries: item code, 0x00, value length N, N value bytes.
//
// Each builder fills the main window's txMsg from the window's controls,
// hands it to QueueMsg with a reply time-out of 1000 ms, shows its status
// text and returns true. Input that cannot be sent as it stands (a number
// that is not one or does not fit its range, a text too long for the record
// or with a character the code page lacks, a list with nothing chosen) is
// refused: the builder returns false, txMsg is left as it was, nothing is
// sent and no timer is armed. A number goes out exactly as its validator
// read it: both take it from the same value readers below.
// RequestCanBeBuilt tells beforehand whether a table entry's builder would
// refuse, so that the configuration job can mark the entry invalid instead.
#include "app/ConfigItems.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class QLineEdit;
class TformMain;
struct TMsgRecord;

// Sends the record (the form's txMsg) and arms the link retry timer and,
// for a time-out above 0, the reply time-out.
void QueueMsg(TformMain* form, TMsgRecord* msg, int32_t replyTimeoutMs);

// ============================================================== command set

// Relayed repeater commands; the repeater answers with command + 1, or with
// rcError (data byte 5 the refused command, data byte 6 the error code).
enum TRepeaterCommand : uint8_t {
    rcReadItem = 0xC8,
    rcWriteItem = 0xCA,
    rcRssi = 0xCC,
    rcSetClock = 0xD0,
    rcReadClock = 0xD2,
    rcEcuState = 0xD4,
    rcRegion = 0xE4,
    rcTest = 0xE6,
    rcReadDbEntry = 0xE8,
    rcDbRequest = 0xEA,
    rcClearDb = 0xEC,
    rcReadDebugLog = 0xEE,
    rcEraseBuffer = 0xF0,
    rcService = 0xF2,
    rcError = 0xFF,
};

// The repeater's configuration items.
enum TConfigItemCode : uint8_t {
    ciSerialNumber = 0x00,      // 24-bit big-endian
    ciEcuNumber = 0x01,         // 16-bit big-endian
    ciHostNumber = 0x03,        // text + NUL
    ciEngineerNumber = 0x04,    // text + NUL
    ciPatrolTime = 0x05,        // BCD hour, BCD minute
    ciPatrolDuration = 0x06,    // seconds
    ciPatrolDays = 0x07,        // day mask
    ciReportTime = 0x08,        // BCD hour, BCD minute
    ciReportDays = 0x09,        // day mask
    ciAlarmReport = 0x0A,       // one of alarmReportCodes
    ciRetryTime = 0x0B,         // BCD hour, BCD minute
    ciRadioFailCounter = 0x0C,  // debug counters: writing 00 00 erases them
    ciEcuOptions = 0x0D,        // TEcuOptionBits
    ciSmsSuccessCounter = 0x0E,
    ciSmsFailCounter = 0x0F,
    ciLogonFailCounter = 0x10,
    ciGsmBand = 0x11,           // band index 0..3
    ciSimFailCounter = 0x12,
    ciModemFailCounter = 0x13,
    ciRxDuration = 0x14,        // SMS receive window, list position from 1
    ciSmsRxCounter = 0x15,
    ciLowRfThreshold = 0x16,    // 0..255
    ciAlarmEnables = 0x17,      // TAlarmEnableBits
    ciReportStagger = 0x18,     // digits 0..4, seconds 0..30
    ciGpsCoords = 0x19,         // latitude, longitude: big-endian singles
    ciHistogramOptions = 0x1A,  // day mask
    ciSimNumber = 0x1B,         // text + NUL
    ciFirmwareVersion = 0x20,   // read only
    ciRegion = 0x21,            // read only; set with rcRegion
    ciApn = 0x30,               // the GPRS and FTP texts: text + NUL
    ciGprsUser = 0x31,
    ciGprsPassword = 0x32,
    ciFtpHost = 0x33,
    ciFtpUser = 0x34,
    ciFtpPassword = 0x35,
    ciFtpFolder = 0x36,
    // Not the repeater's: item codes of table entries that write no item.
    ciUseTimeZone = 0x7F,       // QueueTime: take the hours from spinnerTimeZone
    ciNone = 0xFF,
};

// Bits of the ciEcuOptions byte.
enum TEcuOptionBits : uint8_t {
    eoLowNoiseAmp = 0x01,
    eoEcuActive = 0x02,
    eoGprsReporting = 0x04,     // clear: SMS reporting
    eoReportFormatShift = 3,    // bits 3-4: comboReportFormat index
    eoReportFormatMask = 0x18,
};

// Bits of the ciAlarmEnables byte.
enum TAlarmEnableBits : uint8_t {
    aeLowVantBat = 0x01,
    aeLowVantRf = 0x02,
    aeLowKvtBat = 0x04,
    aeChangeViaSms = 0x10,
};

// First data byte of rcEcuState.
enum TEcuStateArg : uint8_t {
    esGsmNetwork = 0,   // second byte 0x10 log on, 0x1F log off
    esStartPatrol = 1,  // second byte: patrol seconds
    esSleep = 4,        // second byte 0x55
};

// The repeater's debug logs (rcEraseBuffer, rcReadDebugLog).
enum TDebugLogIndex : uint8_t {
    dlRadioFailures = 0,
    dlModemFailures = 1,
    dlSimFailures = 2,
    dlGsmLogonFailures = 3,
    dlSmsSendFailures = 4,
    dlSmsSendSuccesses = 5,
    dlSmsReceived = 6,
};

// Region code bytes by comboRegion index.
inline constexpr std::array<uint8_t, 8> regionCodes = {0x44, 0x01, 0x85, 0x82, 0xA2, 0xB2, 0x86, 0x8A};

// Leak alarm report characters by comboLeakAlarm index.
inline constexpr std::array<char, 4> alarmReportCodes = {'0', 'l', 'n', 'b'};

// ============================================================== packed date and time

// Five bytes holding one 40-bit little-endian bit field: second (bits 0-5),
// minute (6-11), hour (12-16), day of week 0 = Sunday (17-19), day of month
// (20-24), month 1-12 (25-28), year - 2000 (29-36).
using TPackedTime = std::array<uint8_t, 5>;

struct TClockTime {
    int year = 2000;
    int month = 1;      // 1..12
    int day = 1;        // 1..31
    int dayOfWeek = 6;  // 0 = Sunday .. 6 = Saturday
    int hour = 0;
    int minute = 0;
    int second = 0;
};

TPackedTime PackTime(const TClockTime& t);
TClockTime UnpackTime(const TPackedTime& packed);

// The PC's local date and time at `now`, moved by `hours` (the offset is a
// day fraction in single precision, as the repeater clock has always been set).
TClockTime LocalClockTime(std::chrono::system_clock::time_point now, int hours);

// ============================================================== value helpers

// The largest value text (without its NUL) that a write record holds:
// 252 data bytes - 6 header bytes - item, 0, N - the NUL.
constexpr std::size_t kMaxItemText = 242;

// True when `text` (already in the code page) can go out as a text item: at
// most kMaxItemText bytes and no NUL of its own (the repeater would stop
// reading there).
bool TextFitsRecord(const std::string& text);

// A telephone number as it is sent: only '0'..'9' and '+', in order.
std::string FilterTelNumber(const std::string& text);

// True when the filtered number fits a write record.
bool TelNumberFitsRecord(const std::string& text);

// The BCD byte of 0..99: tens in the high nibble.
uint8_t BcdByte(int value);

// Leading and trailing characters below 33 removed.
std::string StripBlanks(const std::string& text);

// A whole number as the user types it into a number field: surrounding
// blanks (characters below 33) are allowed; base 10 takes an optional sign
// and decimal digits, base 16 hexadecimal digits alone (either case). Empty
// when the text is anything else, or beyond 64 bits.
std::optional<int64_t> ParseIntegerText(std::string_view text, int base);

// A decimal number as the GPS fields take it ('.' as the decimal point, an
// optional sign and exponent); empty when it does not convert.
std::optional<double> ParseDecimalText(const std::string& text);

// A GPS field's value as the builder sends it: the text stripped (and written
// back into the edit), empty text 0, else its number (4294967295 when it does
// not convert), rounded to single precision.
float GpsFieldValue(QLineEdit* edit);

// The values of the number fields, shared by their validators and builders;
// empty when the field's text is not a number in its range.
// editLowRfThresh: decimal 0..255.
std::optional<uint8_t> LowRfThresholdValue(TformMain* form);
// editSerialNum: decimal 0..12999999.
std::optional<uint32_t> SerialNumberValue(TformMain* form);
// The ECU number QueueEcuNumber sends: editEcuNum as hexadecimal 0..FFFF; or,
// with boxEcuUsesSerial ticked, the last four decimal digits of the serial
// number (SerialNumberValue when boxSerialNum is ticked, else the selected
// repeater's address) read as hexadecimal digits.
std::optional<uint16_t> EcuNumberValue(TformMain* form);

// ============================================================== input checks

// False when the builder of a configuration table entry would refuse its
// input as it stands. It runs the builder itself with sending switched off,
// so it cannot disagree with it; nothing is sent and no state changes, except
// that, like the builder, it writes the stripped GPS texts back.
bool RequestCanBeBuilt(TformMain* form, TConfigRequestEvent request, uint8_t code);

// ============================================================== configuration writes (table entries)

bool QueueGsmBand(TformMain* form, uint8_t code);
// hours is a signed byte: the offset added to the PC's clock, or
// ciUseTimeZone (127) for the position of spinnerTimeZone.
bool QueueTime(TformMain* form, uint8_t hours);
bool QueueRegion(TformMain* form, uint8_t code);  // code ignored
bool QueueGpsCoordinates(TformMain* form, uint8_t code);
bool QueuePatrolTime(TformMain* form, uint8_t code);
bool QueuePatrolRetryTime(TformMain* form, uint8_t code);
bool QueuePatrolDuration(TformMain* form, uint8_t code);
bool QueuePatrolDays(TformMain* form, uint8_t code);
bool QueueHostTelNumber(TformMain* form, uint8_t code);
bool QueueEngineerTelNumber(TformMain* form, uint8_t code);
bool QueueReportTime(TformMain* form, uint8_t code);
bool QueueReportStagger(TformMain* form, uint8_t code);
bool QueueReportDays(TformMain* form, uint8_t code);
bool QueueHistogramOptions(TformMain* form, uint8_t code);
bool QueueAlarmSetting(TformMain* form, uint8_t code);
bool QueueLowRfThreshold(TformMain* form, uint8_t code);
bool QueueAlarmEnables(TformMain* form, uint8_t code);
bool QueueClearDatabase(TformMain* form, uint8_t code);  // code ignored
bool QueueEraseDebugCounter(TformMain* form, uint8_t code);
bool QueueEraseBuffer(TformMain* form, uint8_t logIndex);
bool QueueRxWindowDuration(TformMain* form, uint8_t code);
bool QueueEcuNumber(TformMain* form, uint8_t code);
bool QueueSerialNumber(TformMain* form, uint8_t code);
bool QueueApn(TformMain* form, uint8_t code);
bool QueueGprsUsername(TformMain* form, uint8_t code);
bool QueueGprsPassword(TformMain* form, uint8_t code);
bool QueueFtpHost(TformMain* form, uint8_t code);
bool QueueFtpUserId(TformMain* form, uint8_t code);
bool QueueFtpPassword(TformMain* form, uint8_t code);
bool QueueFtpFolder(TformMain* form, uint8_t code);
bool QueueSimTelNumber(TformMain* form, uint8_t code);
// The low-noise amplifier and report format entries (code ignored): writes
// the options byte at once when both are ticked in a configuration job, else
// reads it first (QueueCheckOptions) so that the reply can merge one field.
bool QueueEcuOptionsStep(TformMain* form, uint8_t code);
// The service entry: a masked write of the GPRS reporting bit.
bool QueueEcuOptionsF2(TformMain* form, uint8_t code);

// ============================================================== other requests

bool QueueEcuOptions(TformMain* form, uint8_t options);
bool QueueCheckOptions(TformMain* form);
bool QueueConfigRequest(TformMain* form, uint8_t item);
bool QueueClockRequest(TformMain* form, uint8_t code);  // code ignored
bool QueueSleep(TformMain* form);
bool QueueStartPatrol(TformMain* form);
bool QueueGsmNetworkRequest(TformMain* form, uint8_t logOn);
bool QueueDatabaseRequest(TformMain* form);
bool QueueReadDatabaseEntry(TformMain* form, uint8_t index);
bool QueueTestSms(TformMain* form);
bool QueueFtpTest(TformMain* form);
bool QueueReadRequest(TformMain* form, uint8_t logIndex, uint8_t entryIndex);

// The signal-strength poll of the selected repeater: its own record, always
// chirp-relayed, written at once; no status text, no retries, no lamp, and
// txMsg is left alone.
void SendRssiRequest(TformMain* form);
