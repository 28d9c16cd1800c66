// The repeater request builders: the bytes each one leaves in txMsg, its
// status text, the relay byte and retry timers of the send, and the input
// that must be refused rather than cut or wrapped.
#include "app/Main.h"
#include "link/Requests.h"
#include "link/Responses.h"
#include "link/Serial.h"
#include "platform/Clock.h"
#include "support/Pty.h"
#include "support/MainWindowFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <ctime>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

class Requests : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        form.Create();
        for (auto& text : form->langStrings)
            text.clear(); // English texts
        form->adminOptions = 8; // plain relay byte, 1000 ms reply time-out
        form->linkTimeoutMs = 3500;
        form->repeaterAddr[0] = 0x12;
        form->repeaterAddr[1] = 0x34;
        form->repeaterAddr[2] = 0x56;
    }

    void TearDown() override
    {
        form->portVigilator->Close();
        MainWindowFixture::TearDown();
    }

    Bytes Sent() const { return Bytes(form->txMsg.data, form->txMsg.data + form->txMsg.length); }

    // C0 A7 command address data...
    static Bytes Relay(uint8_t command, const Bytes& data)
    {
        Bytes bytes {0xC0, 0xA7, command, 0x12, 0x34, 0x56};
        bytes.insert(bytes.end(), data.begin(), data.end());
        return bytes;
    }

    static Bytes Write(uint8_t code, const Bytes& value)
    {
        Bytes data {code, 0x00, uint8_t(value.size())};
        data.insert(data.end(), value.begin(), value.end());
        return Relay(0xCA, data);
    }

    // Puts a recognisable old request in txMsg and stops both timers.
    void PresetOldRequest()
    {
        QueueSleep(form);
        form->StopLinkTimer();
        form->StopReplyTimer();
        form->timerLedTx->SetEnabled(false);
        form->SetStatusText("  before");
    }

    void ExpectRefused(const Bytes& before)
    {
        EXPECT_EQ(Sent(), before);
        EXPECT_FALSE(form->timerConnectionManager->Enabled());
        EXPECT_FALSE(form->timerMsgTimeout->Enabled());
        EXPECT_FALSE(form->timerLedTx->Enabled());
        EXPECT_EQ(form->StatusText(), "  before");
    }
};

TClockTime Time(int year, int month, int day, int dow, int hour, int minute, int second)
{
    TClockTime t;
    t.year = year;
    t.month = month;
    t.day = day;
    t.dayOfWeek = dow;
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    return t;
}

void ExpectSameTime(const TClockTime& a, const TClockTime& b)
{
    EXPECT_EQ(a.year, b.year);
    EXPECT_EQ(a.month, b.month);
    EXPECT_EQ(a.day, b.day);
    EXPECT_EQ(a.dayOfWeek, b.dayOfWeek);
    EXPECT_EQ(a.hour, b.hour);
    EXPECT_EQ(a.minute, b.minute);
    EXPECT_EQ(a.second, b.second);
}

// A local wall-clock reading as a time point, plus some milliseconds.
std::chrono::system_clock::time_point Local(int year, int month, int day, int hour, int minute, int second, int ms = 0)
{
    tm fields {};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(mktime(&fields)) + std::chrono::milliseconds(ms);
}

} // namespace

// ============================================================== the send itself

TEST_F(Requests, CommonFormOfAWriteAndItsStatusText)
{
    form->comboGsmBand->setCurrentIndex(2);
    QueueGsmBand(form, ciGsmBand);
    EXPECT_EQ(Sent(), Write(0x11, {0x02}));
    EXPECT_EQ(form->txMsg.length, 10);
    EXPECT_EQ(form->StatusText(), "  Queueing GSM Band");
}

TEST_F(Requests, ChirpRelayByDefaultAddsFourSecondsToTheReplyTimeOut)
{
    form->adminOptions = 10;
    QueueClearDatabase(form, ciNone);
    EXPECT_EQ(form->txMsg.data[1], 0x7A);
    EXPECT_TRUE(form->timerConnectionManager->Enabled());
    EXPECT_EQ(form->timerConnectionManager->Interval(), 3500u);
    EXPECT_TRUE(form->timerMsgTimeout->Enabled());
    EXPECT_EQ(form->timerMsgTimeout->Interval(), 5000u);
    EXPECT_EQ(form->linkRetries, 5);
    EXPECT_EQ(form->replyRetries, 3);
}

TEST_F(Requests, PlainRelayWithoutTheChirpOption)
{
    form->adminOptions = 8;
    QueueClearDatabase(form, ciNone);
    EXPECT_EQ(Sent(), Relay(0xEC, {0xED}));
    EXPECT_EQ(form->txMsg.data[1], 0xA7);
    EXPECT_EQ(form->timerMsgTimeout->Interval(), 1000u);
    EXPECT_TRUE(form->timerMsgTimeout->Enabled());
    EXPECT_EQ(form->StatusText(), "  Queueing Clear Database Message");
}

TEST_F(Requests, NoRepeaterSelectedGoesToFFFFFF)
{
    form->repeaterAddr[0] = form->repeaterAddr[1] = form->repeaterAddr[2] = 0xFF;
    QueueDatabaseRequest(form);
    EXPECT_EQ(Sent(), (Bytes {0xC0, 0xA7, 0xEA, 0xFF, 0xFF, 0xFF}));
}

TEST_F(Requests, StatusTextComesFromTheLanguage)
{
    form->langStrings[190] = "Bande GSM";
    QueueGsmBand(form, ciGsmBand);
    EXPECT_EQ(form->StatusText(), "  Bande GSM");
}

TEST_F(Requests, TheSignalStrengthPollArmsNothingAndLeavesTxMsg)
{
    PresetOldRequest();
    const Bytes before = Sent();
    SendRssiRequest(form);
    ExpectRefused(before); // same outward signs as a request not sent
}

TEST_F(Requests, OnTheWireTheSignalStrengthPollIsAlwaysChirped)
{
    Pty pty;
    form->portVigilator->SetPort(pty.SlavePath());
    form->portVigilator->Open();
    ASSERT_TRUE(form->portVigilator->Connected());

    TMsgRecord poll;
    for (uint8_t b : {0xC0, 0x7A, 0xCC, 0x12, 0x34, 0x56, 0x00})
        poll.data[poll.length++] = b;
    const std::string pollFrame = EncodeFrame(poll);
    SendRssiRequest(form);
    const Bytes wire = pty.Read(pollFrame.size());
    EXPECT_EQ(wire, Bytes(pollFrame.begin(), pollFrame.end()));

    // A builder's request goes out as it stands in txMsg.
    QueueFtpTest(form);
    const std::string ftpFrame = EncodeFrame(form->txMsg);
    const Bytes ftpWire = pty.Read(ftpFrame.size());
    EXPECT_EQ(ftpWire, Bytes(ftpFrame.begin(), ftpFrame.end()));
    EXPECT_EQ(Sent(), Relay(0xE6, {0x02}));
}

// ============================================================== times and durations

TEST_F(Requests, PatrolTimeIsSentAsBcd)
{
    form->comboPatrolHour->setCurrentIndex(7);
    form->comboPatrolMinute->setCurrentIndex(0);
    QueuePatrolTime(form, ciPatrolTime);
    EXPECT_EQ(Sent(), Write(0x05, {0x07, 0x00}));
    EXPECT_EQ(form->StatusText(), "  Queueing Patrol Time");

    form->comboPatrolHour->setCurrentIndex(23);
    form->comboPatrolMinute->setCurrentIndex(59);
    QueuePatrolTime(form, ciPatrolTime);
    EXPECT_EQ(Sent(), Write(0x05, {0x23, 0x59}));
}

TEST_F(Requests, RetryAndReportTimesUseTheirOwnLists)
{
    form->comboRetryHour->setCurrentIndex(12);
    form->comboRetryMinute->setCurrentIndex(34);
    QueuePatrolRetryTime(form, ciRetryTime);
    EXPECT_EQ(Sent(), Write(0x0B, {0x12, 0x34}));
    EXPECT_EQ(form->StatusText(), "  Queueing Patrol Retry Time");

    form->comboReportHour->setCurrentIndex(9);
    form->comboReportMinute->setCurrentIndex(5);
    QueueReportTime(form, ciReportTime);
    EXPECT_EQ(Sent(), Write(0x08, {0x09, 0x05}));
    EXPECT_EQ(form->StatusText(), "  Queueing Report Time");
}

TEST_F(Requests, PatrolDurationIsTenSecondSteps)
{
    form->comboPatrolDuration->setCurrentIndex(0);
    QueuePatrolDuration(form, ciPatrolDuration);
    EXPECT_EQ(Sent(), Write(0x06, {10}));
    form->comboPatrolDuration->setCurrentIndex(23);
    QueuePatrolDuration(form, ciPatrolDuration);
    EXPECT_EQ(Sent(), Write(0x06, {240}));
    EXPECT_EQ(form->StatusText(), "  Queueing Patrol Duration");
}

TEST_F(Requests, ReceiveWindowIsTheListPositionFromOne)
{
    form->comboSmsRxDuration->setCurrentIndex(7);
    QueueRxWindowDuration(form, ciRxDuration);
    EXPECT_EQ(Sent(), Write(0x14, {8}));
    form->comboSmsRxDuration->setCurrentIndex(254);
    QueueRxWindowDuration(form, ciRxDuration);
    EXPECT_EQ(Sent(), Write(0x14, {255}));
    EXPECT_EQ(form->StatusText(), "  Queueing Receive Window Duration");
}

TEST_F(Requests, ReportStaggerSendsDigitsAndSeconds)
{
    form->comboStaggerDigits->setCurrentIndex(4);
    form->comboStaggerTime->setCurrentIndex(30);
    QueueReportStagger(form, ciReportStagger);
    EXPECT_EQ(Sent(), Write(0x18, {4, 30}));
    EXPECT_EQ(form->StatusText(), "  Queueing Report Stagger Data");
}

// ============================================================== day masks and option bits

TEST_F(Requests, DayMasksFromTheDayBoxes)
{
    form->Patrol_Mon_Box->setChecked(true);
    form->Patrol_Fri_Box->setChecked(true);
    QueuePatrolDays(form, ciPatrolDays);
    EXPECT_EQ(Sent(), Write(0x07, {0x22}));
    EXPECT_EQ(form->StatusText(), "  Queueing Patrol Days");

    form->Report_Sun_Box->setChecked(true);
    form->Report_Sat_Box->setChecked(true);
    QueueReportDays(form, ciReportDays);
    EXPECT_EQ(Sent(), Write(0x09, {0x41}));
    EXPECT_EQ(form->StatusText(), "  Queueing Report Days");

    for (QCheckBox* box : form->histDayBoxes)
        box->setChecked(true);
    QueueHistogramOptions(form, ciHistogramOptions);
    EXPECT_EQ(Sent(), Write(0x1A, {0x7F}));
    EXPECT_EQ(form->StatusText(), "  Queueing Histogram Options");
}

TEST_F(Requests, AlarmEnableBits)
{
    form->boxLowVantBat->setChecked(true);
    form->boxLowVantRf->setChecked(false);
    form->boxLowKvtBat->setChecked(true);
    form->boxChangeViaSms->setChecked(true);
    QueueAlarmEnables(form, ciAlarmEnables);
    EXPECT_EQ(Sent(), Write(0x17, {0x15}));
    EXPECT_EQ(form->StatusText(), "  Queueing Alarm-Enable Settings");
}

TEST_F(Requests, AlarmReportCharacters)
{
    const char expected[] = {'0', 'l', 'n', 'b'};
    for (int i = 0; i < 4; ++i) {
        form->comboLeakAlarm->setCurrentIndex(i);
        QueueAlarmSetting(form, ciAlarmReport);
        EXPECT_EQ(Sent(), Write(0x0A, {uint8_t(expected[i])})) << i;
    }
    EXPECT_EQ(form->StatusText(), "  Queueing Alarm Setting");
}

TEST_F(Requests, RegionCodes)
{
    const Bytes expected {0x44, 0x01, 0x85, 0x82, 0xA2, 0xB2, 0x86, 0x8A};
    for (int i = 0; i < 8; ++i) {
        form->comboRegion->setCurrentIndex(i);
        QueueRegion(form, ciNone);
        EXPECT_EQ(Sent(), Relay(0xE4, {expected[std::size_t(i)]})) << i;
    }
    EXPECT_EQ(form->StatusText(), "  Queueing Region");
}

TEST_F(Requests, ServiceIsAMaskedWriteOfTheGprsBit)
{
    form->radioGprs->setChecked(true);
    QueueEcuOptionsF2(form, ciEcuOptions);
    EXPECT_EQ(Sent(), Relay(0xF2, {0x0D, 0x00, 0x04, 0x04}));
    EXPECT_EQ(form->StatusText(), "  Queueing ECU Options");
    form->radioSms->setChecked(true);
    QueueEcuOptionsF2(form, ciEcuOptions);
    EXPECT_EQ(Sent(), Relay(0xF2, {0x0D, 0x00, 0x00, 0x04}));
}

TEST_F(Requests, OptionsStepWritesAtOnceWhenBothFieldsAreTicked)
{
    form->opState = osConfigItems;
    form->boxLowNoiseAmp->setChecked(true);
    form->boxReportFormat->setChecked(true);
    form->radioEnableLna->setChecked(true);
    form->comboReportFormat->setCurrentIndex(1);
    QueueEcuOptionsStep(form, ciEcuOptions);
    EXPECT_EQ(Sent(), Write(0x0D, {0x0B}));
    EXPECT_EQ(form->StatusText(), "  Queueing ECU Options");
    QueueEcuOptionsStep(form, ciEcuOptions);
    EXPECT_EQ(Sent(), Write(0x0D, {0x0B}));
    EXPECT_EQ(form->opState, osConfigItems);
}

TEST_F(Requests, OptionsStepReadsFirstWhenOneFieldIsTicked)
{
    form->opState = osConfigItems;
    form->boxLowNoiseAmp->setChecked(true);
    form->boxReportFormat->setChecked(false);
    QueueEcuOptionsStep(form, ciEcuOptions);
    EXPECT_EQ(Sent(), Relay(0xC8, {0x0D}));
    EXPECT_EQ(form->StatusText(), "  Checking existing options");
    EXPECT_EQ(form->opState, osCheckOptions);

    // A single send keeps its own state.
    form->opState = osSingleLnaOptions;
    form->boxReportFormat->setChecked(true);
    QueueEcuOptionsStep(form, ciEcuOptions);
    EXPECT_EQ(Sent(), Relay(0xC8, {0x0D}));
    EXPECT_EQ(form->opState, osSingleLnaOptions);
}

// ============================================================== numbers

TEST_F(Requests, SerialNumberIs24BitBigEndian)
{
    form->editSerialNum->setText("12999999");
    QueueSerialNumber(form, ciSerialNumber);
    EXPECT_EQ(Sent(), Write(0x00, {0xC6, 0x5D, 0x3F}));
    EXPECT_EQ(form->StatusText(), "  Queueing Serial Number");
    // What its validator refuses is refused here too, never sent as 0.
    PresetOldRequest();
    const Bytes before = Sent();
    form->editSerialNum->setText("abc");
    EXPECT_FALSE(QueueSerialNumber(form, ciSerialNumber));
    ExpectRefused(before);
}

TEST_F(Requests, LowRfThreshold)
{
    form->editLowRfThresh->setText("255");
    QueueLowRfThreshold(form, ciLowRfThreshold);
    EXPECT_EQ(Sent(), Write(0x16, {0xFF}));
    EXPECT_EQ(form->StatusText(), "  Queueing Low RF Alarm Threshold");
    PresetOldRequest();
    const Bytes before = Sent();
    form->editLowRfThresh->setText("x");
    EXPECT_FALSE(QueueLowRfThreshold(form, ciLowRfThreshold));
    ExpectRefused(before);
}

TEST_F(Requests, EcuNumberFromTheSerialNumberDigits)
{
    form->boxEcuUsesSerial->setChecked(true);
    form->boxSerialNum->setChecked(true);
    form->editSerialNum->setText("12345678");
    form->editEcuNum->setText("zz"); // not looked at
    QueueEcuNumber(form, ciEcuNumber);
    EXPECT_EQ(Sent(), Write(0x01, {0x56, 0x78}));
    EXPECT_EQ(form->StatusText(), "  Queueing ECU Number");

    form->editSerialNum->setText("70042");
    QueueEcuNumber(form, ciEcuNumber);
    EXPECT_EQ(Sent(), Write(0x01, {0x00, 0x42}));
}

TEST_F(Requests, EcuNumberFromTheRepeaterAddressWithoutTheSerialBox)
{
    form->boxEcuUsesSerial->setChecked(true);
    form->boxSerialNum->setChecked(false);
    form->editSerialNum->setText("12345678");
    // 0x123456 = 1193046: last four digits 3046.
    QueueEcuNumber(form, ciEcuNumber);
    EXPECT_EQ(Sent(), Write(0x01, {0x30, 0x46}));
}

TEST_F(Requests, EcuNumberTypedInHex)
{
    form->boxEcuUsesSerial->setChecked(false);
    form->editEcuNum->setText("bEeF");
    QueueEcuNumber(form, ciEcuNumber);
    EXPECT_EQ(Sent(), Write(0x01, {0xBE, 0xEF}));
    PresetOldRequest();
    const Bytes before = Sent();
    form->editEcuNum->setText("");
    EXPECT_FALSE(QueueEcuNumber(form, ciEcuNumber));
    ExpectRefused(before);
}

TEST_F(Requests, GpsCoordinatesAreBigEndianSingles)
{
    form->editGpsLat->setText("51.5");
    form->editGpsLong->setText("-3.0");
    QueueGpsCoordinates(form, ciGpsCoords);
    EXPECT_EQ(Sent(), Write(0x19, {0x42, 0x4E, 0x00, 0x00, 0xC0, 0x40, 0x00, 0x00}));
    EXPECT_EQ(form->txMsg.length, 17);
    EXPECT_EQ(form->StatusText(), "  Queueing GPS Co-ordinates");
}

TEST_F(Requests, GpsFieldsAreStrippedAndEmptyIsZero)
{
    form->editGpsLat->setText("");
    form->editGpsLong->setText(" \t-3\n");
    QueueGpsCoordinates(form, ciGpsCoords);
    EXPECT_EQ(Sent(), Write(0x19, {0x00, 0x00, 0x00, 0x00, 0xC0, 0x40, 0x00, 0x00}));
    EXPECT_EQ(form->editGpsLong->text().toStdString(), "-3");
}

TEST_F(Requests, GpsTextThatDoesNotConvertIsSentAsTheDefault)
{
    form->editGpsLat->setText("north");
    form->editGpsLong->setText("1e3");
    QueueGpsCoordinates(form, ciGpsCoords);
    // 4294967295 rounds to 2^32 in single precision; 1000 is 447A0000.
    EXPECT_EQ(Sent(), Write(0x19, {0x4F, 0x80, 0x00, 0x00, 0x44, 0x7A, 0x00, 0x00}));
}

// ============================================================== telephone numbers and texts

TEST_F(Requests, TelephoneNumbersKeepOnlyDigitsAndPlus)
{
    form->comboHostTel->setEditText("+44 (0) 123-4567"); // 16 characters, 11 kept
    QueueHostTelNumber(form, ciHostNumber);
    const std::string kept = "+4401234567";
    Bytes value(kept.begin(), kept.end());
    value.push_back(0x00);
    ASSERT_EQ(kept.size(), 11u);
    EXPECT_EQ(Sent(), Write(0x03, value));
    EXPECT_EQ(form->txMsg.data[8], 12);
    EXPECT_EQ(form->txMsg.length, 21);
    EXPECT_EQ(form->StatusText(), "  Queueing Host Telephone Number");
}

TEST_F(Requests, EngineerAndSimNumbersAreFilteredToo)
{
    form->comboEngineerTel->setEditText("07700 900123");
    QueueEngineerTelNumber(form, ciEngineerNumber);
    EXPECT_EQ(Sent(), Write(0x04, {'0', '7', '7', '0', '0', '9', '0', '0', '1', '2', '3', 0x00}));
    EXPECT_EQ(form->StatusText(), "  Queueing Engineer's Telephone Number");

    form->editSimNumber->setText("sim: +1-555");
    QueueSimTelNumber(form, ciSimNumber);
    EXPECT_EQ(Sent(), Write(0x1B, {'+', '1', '5', '5', '5', 0x00}));
    EXPECT_EQ(form->StatusText(), "  Queueing SIM Telephone Number");
}

TEST_F(Requests, ANumberWithoutDigitsStillSendsTheNul)
{
    form->comboHostTel->setEditText("none");
    QueueHostTelNumber(form, ciHostNumber);
    EXPECT_EQ(Sent(), Write(0x03, {0x00}));
    EXPECT_EQ(form->txMsg.length, 10);
}

TEST_F(Requests, TestSmsCarriesTheDigitsWithoutNul)
{
    form->comboTestTel->setEditText("+44 7700-900");
    QueueTestSms(form);
    EXPECT_EQ(Sent(), Relay(0xE6, {0x00, '+', '4', '4', '7', '7', '0', '0', '9', '0', '0'}));
    EXPECT_EQ(form->txMsg.length, 7 + 10);
    EXPECT_EQ(form->StatusText(), "  Queueing Test SMS");
}

TEST_F(Requests, PlainTextItemsGoOutByteForByte)
{
    struct Case {
        QLineEdit* edit;
        TConfigRequestEvent builder;
        uint8_t code;
        std::string status;
    };
    const Case cases[] = {
        {form->editApn, &QueueApn, 0x30, "  Queueing Access Point Name"},
        {form->editGprsUser, &QueueGprsUsername, 0x31, "  Queueing GPRS Username"},
        {form->editGprsPass, &QueueGprsPassword, 0x32, "  Queueing GPRS Password"},
        {form->editFtpHost, &QueueFtpHost, 0x33, "  Queueing FTP Host Name"},
        {form->editFtpUser, &QueueFtpUserId, 0x34, "  Queueing FTP User ID"},
        {form->editFtpPass, &QueueFtpPassword, 0x35, "  Queueing FTP Password"},
        {form->editFtpFolder, &QueueFtpFolder, 0x36, "  Queueing FTP Folder"},
    };
    const std::string text = " Pa$$ w0rd ";
    Bytes value(text.begin(), text.end());
    value.push_back(0x00);
    for (const Case& c : cases) {
        c.edit->setText(QString::fromStdString(text));
        c.builder(form, c.code);
        EXPECT_EQ(Sent(), Write(c.code, value)) << int(c.code);
        EXPECT_EQ(form->txMsg.length, text.size() + 10);
        EXPECT_EQ(form->StatusText(), c.status);
    }
}

TEST_F(Requests, AnEmptyFtpFolderIsTheRoot)
{
    form->editFtpFolder->setText("");
    QueueFtpFolder(form, ciFtpFolder);
    EXPECT_EQ(Sent(), Write(0x36, {0x00}));
    EXPECT_EQ(form->txMsg.length, 10);
}

// ============================================================== refused input

TEST_F(Requests, TheLongestTextFillsTheRecordExactly)
{
    const std::string text(kMaxItemText, 'a');
    form->editApn->setText(QString::fromStdString(text));
    EXPECT_TRUE(TextFitsRecord(text));
    EXPECT_TRUE(RequestCanBeBuilt(form, &QueueApn, ciApn));
    QueueApn(form, ciApn);
    EXPECT_EQ(form->txMsg.length, 252);
    EXPECT_EQ(form->txMsg.data[8], 243);
    EXPECT_EQ(form->txMsg.data[251], 0x00);
}

TEST_F(Requests, ATextTooLongForTheRecordIsNotSent)
{
    PresetOldRequest();
    const Bytes before = Sent();
    const std::string text(kMaxItemText + 1, 'a');
    EXPECT_FALSE(TextFitsRecord(text));
    form->editFtpHost->setText(QString::fromStdString(text));
    EXPECT_FALSE(RequestCanBeBuilt(form, &QueueFtpHost, ciFtpHost));
    QueueFtpHost(form, ciFtpHost);
    ExpectRefused(before);
}

TEST_F(Requests, ALongSimNumberCountsOnlyItsKeptCharacters)
{
    // Blanks are dropped, so a long text may still fit.
    std::string spaced;
    for (int i = 0; i < 200; ++i)
        spaced += "1 ";
    EXPECT_TRUE(TelNumberFitsRecord(spaced));
    form->editSimNumber->setText(QString::fromStdString(spaced));
    QueueSimTelNumber(form, ciSimNumber);
    EXPECT_EQ(form->txMsg.length, 210);

    PresetOldRequest();
    const Bytes before = Sent();
    const std::string digits(kMaxItemText + 1, '7');
    EXPECT_FALSE(TelNumberFitsRecord(digits));
    form->editSimNumber->setText(QString::fromStdString(digits));
    EXPECT_FALSE(RequestCanBeBuilt(form, &QueueSimTelNumber, ciSimNumber));
    QueueSimTelNumber(form, ciSimNumber);
    ExpectRefused(before);
}

TEST_F(Requests, AListWithNothingChosenIsNeverUsed)
{
    PresetOldRequest();
    const Bytes before = Sent();
    struct Case {
        QComboBox* combo;
        TConfigRequestEvent builder;
        uint8_t code;
    };
    const Case cases[] = {
        {form->comboRegion, &QueueRegion, ciNone},
        {form->comboLeakAlarm, &QueueAlarmSetting, ciAlarmReport},
        {form->comboGsmBand, &QueueGsmBand, ciGsmBand},
        {form->comboPatrolHour, &QueuePatrolTime, ciPatrolTime},
        {form->comboRetryMinute, &QueuePatrolRetryTime, ciRetryTime},
        {form->comboReportHour, &QueueReportTime, ciReportTime},
        {form->comboPatrolDuration, &QueuePatrolDuration, ciPatrolDuration},
        {form->comboStaggerTime, &QueueReportStagger, ciReportStagger},
        {form->comboSmsRxDuration, &QueueRxWindowDuration, ciRxDuration},
    };
    for (const Case& c : cases) {
        const int kept = c.combo->currentIndex();
        c.combo->setCurrentIndex(-1);
        EXPECT_FALSE(RequestCanBeBuilt(form, c.builder, c.code)) << int(c.code);
        c.builder(form, c.code);
        ExpectRefused(before);
        c.combo->setCurrentIndex(kept);
        EXPECT_TRUE(RequestCanBeBuilt(form, c.builder, c.code)) << int(c.code);
    }
}

TEST_F(Requests, NoReportFormatChosenStopsTheOptionsWrite)
{
    PresetOldRequest();
    const Bytes before = Sent();
    form->opState = osConfigItems;
    form->boxLowNoiseAmp->setChecked(true);
    form->boxReportFormat->setChecked(true);
    form->comboReportFormat->setCurrentIndex(-1);
    EXPECT_FALSE(RequestCanBeBuilt(form, &QueueEcuOptionsStep, ciEcuOptions));
    QueueEcuOptionsStep(form, ciEcuOptions);
    ExpectRefused(before);
    form->boxReportFormat->setChecked(false);
    EXPECT_TRUE(RequestCanBeBuilt(form, &QueueEcuOptionsStep, ciEcuOptions));
}

TEST_F(Requests, NumbersBeyondTheirBytesAreNotCut)
{
    PresetOldRequest();
    const Bytes before = Sent();

    form->editLowRfThresh->setText("256");
    EXPECT_FALSE(RequestCanBeBuilt(form, &QueueLowRfThreshold, ciLowRfThreshold));
    QueueLowRfThreshold(form, ciLowRfThreshold);
    ExpectRefused(before);
    form->editLowRfThresh->setText("-1");
    QueueLowRfThreshold(form, ciLowRfThreshold);
    ExpectRefused(before);

    form->editSerialNum->setText("16777216");
    EXPECT_FALSE(RequestCanBeBuilt(form, &QueueSerialNumber, ciSerialNumber));
    QueueSerialNumber(form, ciSerialNumber);
    ExpectRefused(before);

    form->boxEcuUsesSerial->setChecked(false);
    form->editEcuNum->setMaxLength(8);
    form->editEcuNum->setText("10000");
    EXPECT_FALSE(RequestCanBeBuilt(form, &QueueEcuNumber, ciEcuNumber));
    QueueEcuNumber(form, ciEcuNumber);
    ExpectRefused(before);
}

TEST_F(Requests, GoodInputCanBeBuilt)
{
    form->editLowRfThresh->setText("13");
    form->editSerialNum->setText("0");
    form->editGpsLat->setText("-90");
    form->editGpsLong->setText("180");
    for (auto builder : {&QueueLowRfThreshold, &QueueSerialNumber, &QueueGpsCoordinates, &QueueGsmBand,
                         &QueueRegion, &QueueApn, &QueueHostTelNumber, &QueueClearDatabase, &QueueTime})
        EXPECT_TRUE(RequestCanBeBuilt(form, builder, 0));
}

// ============================================================== packed date and time

TEST(PackedTime, WorkedExamples)
{
    EXPECT_EQ(PackTime(Time(2009, 6, 15, 1, 13, 45, 30)), (TPackedTime {0x5E, 0xDB, 0xF2, 0x2C, 0x01}));
    EXPECT_EQ(PackTime(Time(2010, 12, 31, 5, 23, 59, 59)), (TPackedTime {0xFB, 0x7E, 0xFB, 0x59, 0x01}));
    EXPECT_EQ(PackTime(Time(2000, 1, 1, 6, 0, 0, 0)), (TPackedTime {0x00, 0x00, 0x1C, 0x02, 0x00}));
}

TEST(PackedTime, UnpacksWhatItPacks)
{
    for (const TClockTime& t : {Time(2009, 6, 15, 1, 13, 45, 30), Time(2255, 12, 31, 6, 23, 59, 59),
                                Time(2024, 2, 29, 4, 0, 1, 2)})
        ExpectSameTime(UnpackTime(PackTime(t)), t);
}

TEST(PackedTime, LocalClockReading)
{
    ExpectSameTime(LocalClockTime(Local(2009, 6, 15, 13, 45, 30, 400), 0), Time(2009, 6, 15, 1, 13, 45, 30));
    EXPECT_EQ(PackTime(LocalClockTime(Local(2010, 12, 31, 23, 59, 59, 999), 0)),
              (TPackedTime {0xFB, 0x7E, 0xFB, 0x59, 0x01}));
}

TEST(PackedTime, OffsetMovesTheReadingAcrossDays)
{
    // Friday night + 1 h is Saturday in a new year; Sunday morning - 3 h is Saturday.
    ExpectSameTime(LocalClockTime(Local(2010, 12, 31, 23, 30, 0, 500), 1), Time(2011, 1, 1, 6, 0, 30, 0));
    ExpectSameTime(LocalClockTime(Local(2009, 6, 14, 1, 0, 0, 500), -3), Time(2009, 6, 13, 6, 22, 0, 0));
}

TEST(PackedTime, TheOffsetIsASinglePrecisionDayFraction)
{
    // 7/24 in single precision is a millisecond short of seven hours.
    ExpectSameTime(LocalClockTime(Local(2009, 6, 15, 13, 45, 30, 0), 7), Time(2009, 6, 15, 1, 20, 45, 29));
    ExpectSameTime(LocalClockTime(Local(2009, 6, 15, 13, 45, 30, 0), 6), Time(2009, 6, 15, 1, 19, 45, 30));
}

TEST_F(Requests, SetTimeSendsTheClockWithTheOffset)
{
    // Virtual time stands still, so the builder reads the same clock.
    QueueTime(form, 0);
    TPackedTime packed = PackTime(LocalClockTime(platform::WallClockNow(), 0));
    EXPECT_EQ(Sent(), Relay(0xD0, Bytes(packed.begin(), packed.end())));
    EXPECT_EQ(form->txMsg.length, 11);
    EXPECT_EQ(form->StatusText(), "  Queueing Time");

    QueueTime(form, uint8_t(-3)); // a signed byte
    packed = PackTime(LocalClockTime(platform::WallClockNow(), -3));
    EXPECT_EQ(Sent(), Relay(0xD0, Bytes(packed.begin(), packed.end())));

    form->spinnerTimeZone->setValue(5);
    QueueTime(form, ciUseTimeZone);
    packed = PackTime(LocalClockTime(platform::WallClockNow(), 5));
    EXPECT_EQ(Sent(), Relay(0xD0, Bytes(packed.begin(), packed.end())));
}

// ============================================================== commands

TEST_F(Requests, CommandsAndTheirStatusTexts)
{
    form->rfTestPatrolSeconds = 8;
    struct Case {
        std::function<void()> build;
        Bytes expected;
        std::string status;
    };
    const Case cases[] = {
        {[&] { QueueSleep(form); }, Relay(0xD4, {0x04, 0x55}), "  Queueing Sleep command"},
        {[&] { QueueStartPatrol(form); }, Relay(0xD4, {0x01, 0x08}), "  Queueing Start Patrol"},
        {[&] { QueueGsmNetworkRequest(form, 1); }, Relay(0xD4, {0x00, 0x10}), "  Queueing GSM network request"},
        {[&] { QueueGsmNetworkRequest(form, 0); }, Relay(0xD4, {0x00, 0x1F}), "  Queueing GSM network request"},
        {[&] { QueueDatabaseRequest(form); }, Relay(0xEA, {}), "  Queueing database requests"},
        {[&] { QueueReadDatabaseEntry(form, 5); }, Relay(0xE8, {0x05}), "  Reading database entry #5"},
        {[&] { QueueConfigRequest(form, ciFirmwareVersion); }, Relay(0xC8, {0x20}),
         "  Queueing configuration request #32"},
        {[&] { QueueClockRequest(form, 0x99); }, Relay(0xD2, {}), "  Queueing clock request"},
        {[&] { QueueReadRequest(form, dlSmsReceived, 12); }, Relay(0xEE, {0x06, 0x0C}), "  Queueing read request 12"},
        {[&] { QueueCheckOptions(form); }, Relay(0xC8, {0x0D}), "  Checking existing options"},
        {[&] { QueueEcuOptions(form, 0x1B); }, Write(0x0D, {0x1B}), "  Queueing ECU Options"},
        {[&] { QueueEraseDebugCounter(form, ciSmsSuccessCounter); }, Write(0x0E, {0x00, 0x00}),
         "  Queueing Erase Debug Counter #14"},
        {[&] { QueueEraseBuffer(form, dlSmsSendSuccesses); }, Relay(0xF0, {0x05}), "  Queueing Erase Buffer #5"},
        {[&] { QueueFtpTest(form); }, Relay(0xE6, {0x02}), "  Queueing FTP Connection Test"},
    };
    for (const Case& c : cases) {
        c.build();
        EXPECT_EQ(Sent(), c.expected) << c.status;
        EXPECT_EQ(form->StatusText(), c.status);
    }
}
