// The configuration item table: its entries, the input checks, the reply
// checks, the walk of SendNextConfigItem and the tick marks.
#include "app/ConfigItems.h"
#include "app/ConfigPage.h"
#include "app/Main.h"
#include "app/Rxcallback.h"
#include "app/Validate.h"
#include "link/Requests.h"
#include "platform/Clock.h"
#include "platform/SymbolFont.h"
#include "support/MainWindowFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <gtest/gtest.h>
#include <set>
#include <vector>

namespace {

class ConfigItems : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        form.Create(); // builds the item table and wires the page
        for (const TConfigItem& item : form->configItems)
            item.box->setChecked(false);
    }
};

// ---------------------------------------------------------------- the table

TEST_F(ConfigItems, TableTiesEachBoxToItsCodeBuilderCheckAndTick)
{
    const uint8_t codes[kConfigItemCount] = {0x11, 0x7F, 0xFF, 0x19, 0x05, 0x0B, 0x07, 0x0D, 0x03, 0x04, 0x08, 0x18,
                                             0x09, 0x0D, 0x0D, 0x1A, 0x0A, 0x16, 0x17, 0xFF, 0x0E, 0x0F, 0x0C, 0x10,
                                             0x12, 0x13, 0x15, 0x05, 0x04, 0x00, 0x03, 0x02, 0x01, 0x06, 0x30, 0x31,
                                             0x32, 0x33, 0x34, 0x35, 0x36, 0x1B, 0x06, 0x14, 0x01, 0x00};
    std::set<const QObject*> boxes, ticks;
    for (int i = 0; i < kConfigItemCount; ++i) {
        const TConfigItem& item = form->configItems[size_t(i)];
        SCOPED_TRACE(i);
        EXPECT_EQ(item.code, codes[i]);
        ASSERT_NE(item.box, nullptr);
        ASSERT_NE(item.tick, nullptr);
        EXPECT_NE(item.request, nullptr);
        EXPECT_NE(item.replyCheck, nullptr);
        boxes.insert(item.box);
        ticks.insert(item.tick);
        // Only four entries have a validator of their own.
        const bool validated = i == 3 || i == 17 || i == 44 || i == 45;
        EXPECT_EQ(item.validate != nullptr, validated);
    }
    EXPECT_EQ(boxes.size(), size_t(kConfigItemCount));
    EXPECT_EQ(ticks.size(), size_t(kConfigItemCount));

    const auto& t = form->configItems;
    EXPECT_EQ(t[27].box, form->boxClearSMSSuccLog);
    EXPECT_EQ(t[27].tick, form->tickClearSmsSuccessLog);
    EXPECT_EQ(t[45].validate, &ValidateSerialNumber);
    // The low-noise amplifier and report format share the options step.
    EXPECT_EQ(t[7].request, &QueueEcuOptionsStep);
    EXPECT_EQ(t[13].request, &QueueEcuOptionsStep);
    EXPECT_EQ(t[14].request, &QueueEcuOptionsF2);
    EXPECT_EQ(t[1].replyCheck, &ReplyCheckD1);
    EXPECT_EQ(t[2].replyCheck, &ReplyCheckE5);
    EXPECT_EQ(t[14].replyCheck, &ReplyCheckF3);
    EXPECT_EQ(t[19].replyCheck, &ReplyCheckED);
    for (int i = 20; i <= 26; ++i) {
        EXPECT_EQ(t[size_t(i)].request, &QueueEraseDebugCounter);
        EXPECT_EQ(t[size_t(i)].replyCheck, &ReplyCheckDefault);
    }
    for (int i = 27; i <= 33; ++i) {
        EXPECT_EQ(t[size_t(i)].request, &QueueEraseBuffer);
        EXPECT_EQ(t[size_t(i)].replyCheck, &ReplyCheckF1);
    }
}

// ---------------------------------------------------------------- validators

TEST_F(ConfigItems, GpsValidatorStripsTheFieldsAndBoundsBothRanges)
{
    auto check = [this](const char* lat, const char* lon) {
        form->editGpsLat->setText(lat);
        form->editGpsLong->setText(lon);
        return ValidateGpsCoords(form);
    };
    EXPECT_EQ(check("  51.5\t", " -3.0 "), irValid);
    EXPECT_EQ(form->editGpsLat->text(), "51.5");
    EXPECT_EQ(form->editGpsLong->text(), "-3.0");
    EXPECT_EQ(check("", ""), irValid);
    EXPECT_EQ(check("   ", ""), irValid);
    EXPECT_EQ(form->editGpsLat->text(), "");
    EXPECT_EQ(check("90", "-180"), irValid);
    EXPECT_EQ(check("-90", "180"), irValid);
    EXPECT_EQ(check("90.01", "0"), irInvalid);
    EXPECT_EQ(check("0", "-180.01"), irInvalid);
    EXPECT_EQ(check("0", "180.5"), irInvalid);
    EXPECT_EQ(check("north", "0"), irInvalid);
    EXPECT_EQ(check("0", "12x"), irInvalid);
    EXPECT_EQ(check("nan", "0"), irInvalid);
    EXPECT_EQ(check("0", "inf"), irInvalid);
}

TEST_F(ConfigItems, NumberValidatorsAcceptExactlyTheirRanges)
{
    auto lowRf = [this](const char* text) {
        form->editLowRfThresh->setText(text);
        return ValidateLowRfThreshold(form);
    };
    EXPECT_EQ(lowRf("0"), irValid);
    EXPECT_EQ(lowRf("255"), irValid);
    EXPECT_EQ(lowRf("256"), irInvalid);
    EXPECT_EQ(lowRf("-1"), irInvalid);
    EXPECT_EQ(lowRf("ab"), irInvalid);
    EXPECT_EQ(lowRf(""), irInvalid);

    auto ecu = [this](const char* text, bool usesSerial) {
        form->editEcuNum->setText(text);
        form->boxEcuUsesSerial->setChecked(usesSerial);
        return ValidateEcuNumber(form);
    };
    EXPECT_EQ(ecu("FFFF", false), irValid);
    EXPECT_EQ(ecu("0", false), irValid);
    EXPECT_EQ(ecu("1a2B", false), irValid);
    EXPECT_EQ(ecu("G1", false), irInvalid);
    EXPECT_EQ(ecu("", false), irInvalid);
    EXPECT_EQ(ecu("-1", false), irInvalid);
    EXPECT_EQ(ecu("zz", true), irValid);
    EXPECT_EQ(ecu("", true), irValid);

    auto serial = [this](const char* text) {
        form->editSerialNum->setText(text);
        return ValidateSerialNumber(form);
    };
    EXPECT_EQ(serial("0"), irValid);
    EXPECT_EQ(serial("12999999"), irValid);
    EXPECT_EQ(serial("13000000"), irInvalid);
    EXPECT_EQ(serial("-5"), irInvalid);
    EXPECT_EQ(serial("12.5"), irInvalid);
    EXPECT_EQ(serial(""), irInvalid);
}

TEST_F(ConfigItems, EntryInputRefusesTooLongTextsAndEmptySelections)
{
    // The entry's own validator is part of it.
    form->editLowRfThresh->setText("256");
    EXPECT_EQ(ValidateEntryInput(form, 17), irInvalid);
    form->editLowRfThresh->setText("13");
    EXPECT_EQ(ValidateEntryInput(form, 17), irValid);

    // A text item carries at most 242 bytes: longer is refused, not cut.
    form->editApn->setText(QString(242, 'a'));
    EXPECT_EQ(ValidateEntryInput(form, 34), irValid);
    form->editApn->setText(QString(243, 'a'));
    EXPECT_EQ(ValidateEntryInput(form, 34), irInvalid);
    EXPECT_EQ(form->editApn->text().size(), 243);
    form->editFtpFolder->setText(QString(300, '/'));
    EXPECT_EQ(ValidateEntryInput(form, 40), irInvalid);
    form->editFtpFolder->setText("");
    EXPECT_EQ(ValidateEntryInput(form, 40), irValid);

    // Telephone numbers count only the characters that are sent.
    form->editSimNumber->setText(QString(240, '1') + QString(60, ' '));
    EXPECT_EQ(ValidateEntryInput(form, 41), irValid);
    form->editSimNumber->setText(QString(243, '1'));
    EXPECT_EQ(ValidateEntryInput(form, 41), irInvalid);

    // A list with nothing chosen has no value to send.
    ASSERT_EQ(form->configItems[2].box, form->boxRegion);
    form->comboRegion->setCurrentIndex(0);
    EXPECT_EQ(ValidateEntryInput(form, 2), irValid);
    form->comboRegion->setCurrentIndex(-1);
    EXPECT_EQ(ValidateEntryInput(form, 2), irInvalid);
    form->comboPatrolHour->setCurrentIndex(7);
    form->comboPatrolMinute->setCurrentIndex(-1);
    EXPECT_EQ(ValidateEntryInput(form, 4), irInvalid);
    form->comboPatrolMinute->setCurrentIndex(0);
    EXPECT_EQ(ValidateEntryInput(form, 4), irValid);

    // Outside the table.
    EXPECT_EQ(ValidateEntryInput(form, -1), irInvalid);
    EXPECT_EQ(ValidateEntryInput(form, kConfigItemCount), irInvalid);
}

// ---------------------------------------------------------------- reply checks

struct ReplyCase {
    const char* what;
    TConfigReplyCheckEvent check;
    int itemIndex;
    std::vector<uint8_t> bytes; // the counted data bytes
    TItemResult expected;
};

TMsgRecord Record(const std::vector<uint8_t>& bytes)
{
    TMsgRecord msg;
    msg.length = uint16_t(bytes.size());
    for (size_t i = 0; i < bytes.size() && i < sizeof msg.data; ++i)
        msg.data[i] = bytes[i];
    return msg;
}

TEST_F(ConfigItems, ReplyChecksDecideOnCodeCountAndCurrentItem)
{
    const uint8_t a = 0x12, b = 0x34, c = 0x56; // the repeater's address
    // Entry 17 writes 0x16; 7, 13 and 14 all write 0x0D; 28 erases log 4.
    const std::vector<ReplyCase> cases = {
        {"write ack", ReplyCheckDefault, 17, {0xA8, 0xCB, a, b, c, 0x16}, irDone},
        {"write ack, more bytes", ReplyCheckDefault, 17, {0xA8, 0xCB, a, b, c, 0x16, 9, 9}, irDone},
        {"write ack for another item", ReplyCheckDefault, 17, {0xA8, 0xCB, a, b, c, 0x17}, irNotMine},
        {"options ack, LNA", ReplyCheckDefault, 7, {0xA8, 0xCB, a, b, c, 0x0D}, irDone},
        {"options ack, report format", ReplyCheckDefault, 13, {0xA8, 0xCB, a, b, c, 0x0D}, irDone},
        {"refused write, any error and item", ReplyCheckDefault, 17, {0xA8, 0xFF, a, b, c, 0xCA, 0x77}, irRejected},
        {"refused write, short", ReplyCheckDefault, 0, {0xA8, 0xFF, a, b, c, 0xCA}, irRejected},
        {"error to another command", ReplyCheckDefault, 17, {0xA8, 0xFF, a, b, c, 0xF0, 3}, irNotMine},
        {"read reply", ReplyCheckDefault, 17, {0xA8, 0xC9, a, b, c, 0x16, 1}, irNotMine},
        {"no entry in progress", ReplyCheckDefault, -1, {0xA8, 0xCB, a, b, c, 0x11}, irNotMine},
        {"past the table", ReplyCheckDefault, 46, {0xA8, 0xCB, a, b, c, 0x00}, irNotMine},
        {"clock, any data", ReplyCheckD1, 1, {0xA8, 0xD1, 0, 0, 0}, irDone},
        {"clock, count 6", ReplyCheckD1, 1, {0xA8, 0xD1, a, b, c, 0}, irNotMine},
        {"clock error", ReplyCheckD1, 1, {0xA8, 0xFF, a, b, c}, irNotMine},
        {"region, any data", ReplyCheckE5, 2, {0xA8, 0xE5, a, b, c, 0x99}, irDone},
        {"region, count 5", ReplyCheckE5, 2, {0xA8, 0xE5, a, b, c}, irNotMine},
        {"region error", ReplyCheckE5, 2, {0xA8, 0xFF, a, b, c, 0xE4}, irNotMine},
        {"clear database", ReplyCheckED, 19, {0xA8, 0xED, a, b, c}, irDone},
        {"clear database, count 6", ReplyCheckED, 19, {0xA8, 0xED, a, b, c, 0}, irNotMine},
        {"erase log 4", ReplyCheckF1, 28, {0xA8, 0xF1, a, b, c, 0x04}, irDone},
        {"erase another log", ReplyCheckF1, 28, {0xA8, 0xF1, a, b, c, 0x05}, irNotMine},
        {"erase log, count 7", ReplyCheckF1, 28, {0xA8, 0xF1, a, b, c, 0x04, 0}, irNotMine},
        {"erase log refused", ReplyCheckF1, 28, {0xA8, 0xFF, a, b, c, 0xF0, 3}, irNotMine},
        {"service ack", ReplyCheckF3, 14, {0xA8, 0xF3, a, b, c, 0x0D}, irDone},
        {"service ack, other item", ReplyCheckF3, 14, {0xA8, 0xF3, a, b, c, 0x0E}, irNotMine},
        {"service refused, code 3", ReplyCheckF3, 14, {0xA8, 0xFF, a, b, c, 0xF2, 3}, irRejected},
        {"service refused, code 2", ReplyCheckF3, 14, {0xA8, 0xFF, a, b, c, 0xF2, 2}, irNotMine},
        {"service refused, count 8", ReplyCheckF3, 14, {0xA8, 0xFF, a, b, c, 0xF2, 3, 0}, irNotMine},
        {"service write ack 0xCB", ReplyCheckF3, 14, {0xA8, 0xCB, a, b, c, 0x0D}, irNotMine},
        {"empty record", ReplyCheckDefault, 17, {}, irNotMine},
        {"empty record, service", ReplyCheckF3, 14, {}, irNotMine},
    };
    for (const ReplyCase& rc : cases) {
        SCOPED_TRACE(rc.what);
        form->itemIndex = rc.itemIndex;
        const TMsgRecord msg = Record(rc.bytes);
        EXPECT_EQ(rc.check(form, &msg), rc.expected);
    }
}

TEST_F(ConfigItems, ReplyChecksNeverReadPastTheRecordsCount)
{
    // Each record's count stops just short of a byte that would make it a
    // match; the bytes beyond the count are laid out as the match would be.
    struct Short {
        const char* what;
        TConfigReplyCheckEvent check;
        int itemIndex;
        std::vector<uint8_t> full;
        uint16_t count;
    };
    const std::vector<Short> cases = {
        {"write ack without its item byte", ReplyCheckDefault, 17, {0xA8, 0xCB, 1, 2, 3, 0x16}, 5},
        {"refusal without the refused command", ReplyCheckDefault, 17, {0xA8, 0xFF, 1, 2, 3, 0xCA}, 5},
        {"reply code only beyond the count", ReplyCheckDefault, 17, {0xA8, 0xCB, 1, 2, 3, 0x16}, 1},
        {"nothing counted", ReplyCheckD1, 1, {0xA8, 0xD1, 1, 2, 3}, 0},
        {"erase ack without its log index", ReplyCheckF1, 28, {0xA8, 0xF1, 1, 2, 3, 0x04}, 5},
        {"service refusal without the error code", ReplyCheckF3, 14, {0xA8, 0xFF, 1, 2, 3, 0xF2, 3}, 6},
    };
    for (const Short& sc : cases) {
        SCOPED_TRACE(sc.what);
        form->itemIndex = sc.itemIndex;
        TMsgRecord msg = Record(sc.full);
        msg.length = sc.count;
        EXPECT_EQ(sc.check(form, &msg), irNotMine);
    }
    // A count beyond the record's storage reads only what the record holds.
    TMsgRecord corrupt = Record({0xA8, 0xCB, 1, 2, 3, 0x16});
    corrupt.length = 0xFFFF;
    form->itemIndex = 17;
    EXPECT_EQ(ReplyCheckDefault(form, &corrupt), irDone);
    EXPECT_EQ(ReplyCheckF3(form, &corrupt), irNotMine);
    EXPECT_EQ(ReplyCheckDefault(form, nullptr), irNotMine);
}

// ---------------------------------------------------------------- SendNextConfigItem

std::vector<std::pair<int, uint8_t>> sentRequests;
TformMain* requestForm = nullptr;

bool RecordRequest(TformMain* form, uint8_t code)
{
    sentRequests.emplace_back(form->itemIndex, code);
    requestForm = form;
    return true;
}

TEST_F(ConfigItems, SendNextSkipsUntickedEntriesAndPausesOncePerSentItem)
{
    for (TConfigItem& item : form->configItems)
        item.request = RecordRequest;
    sentRequests.clear();

    // Only the serial number: 45 entries skipped, one pause.
    form->boxSerialNum->setChecked(true);
    form->itemIndex = -1;
    int64_t start = platform::MonotonicMs();
    EXPECT_EQ(SendNextConfigItem(form), irSent);
    EXPECT_EQ(platform::MonotonicMs() - start, 250);
    ASSERT_EQ(sentRequests.size(), 1u);
    EXPECT_EQ(sentRequests[0], std::make_pair(45, uint8_t(0x00)));
    EXPECT_EQ(requestForm, form);

    // Nothing after it: no pause, nothing sent, the index rests at 46.
    start = platform::MonotonicMs();
    EXPECT_EQ(SendNextConfigItem(form), irNoneLeft);
    EXPECT_EQ(platform::MonotonicMs() - start, 0);
    EXPECT_EQ(form->itemIndex, 46);
    EXPECT_EQ(sentRequests.size(), 1u);

    // An unticked entry between ticked ones adds no pause of its own; the
    // items keep table order and carry their codes.
    form->boxSerialNum->setChecked(false);
    sentRequests.clear();
    for (QCheckBox* box : {form->boxRetryTime, form->boxLowNoiseAmp, form->boxService, form->boxClearCc1100FailLog})
        box->setChecked(true);
    form->itemIndex = -1;
    start = platform::MonotonicMs();
    int sent = 0;
    while (SendNextConfigItem(form) == irSent)
        ++sent;
    EXPECT_EQ(sent, 4);
    EXPECT_EQ(platform::MonotonicMs() - start, 4 * 250);
    const std::vector<std::pair<int, uint8_t>> expected = {{5, 0x0B}, {7, 0x0D}, {14, 0x0D}, {29, 0x00}};
    EXPECT_EQ(sentRequests, expected);

    // Nothing ticked at all.
    for (QCheckBox* box : {form->boxRetryTime, form->boxLowNoiseAmp, form->boxService, form->boxClearCc1100FailLog})
        box->setChecked(false);
    form->itemIndex = -1;
    start = platform::MonotonicMs();
    EXPECT_EQ(SendNextConfigItem(form), irNoneLeft);
    EXPECT_EQ(platform::MonotonicMs() - start, 0);

    // A hidden box that is ticked is still sent: unticking hidden boxes is
    // the job's business, not the walk's.
    form->boxGpsCoords->setChecked(true);
    form->itemIndex = -1;
    sentRequests.clear();
    EXPECT_EQ(SendNextConfigItem(form), irSent);
    ASSERT_EQ(sentRequests.size(), 1u);
    EXPECT_EQ(sentRequests[0], std::make_pair(3, uint8_t(0x19)));
}

TEST_F(ConfigItems, SendNextCallsTheEntrysBuilderWithItsCode)
{
    // Through the real builders: what lands in txMsg shows which builder ran
    // and with which code.
    struct Expect {
        QCheckBox* box;
        uint8_t command;
        int codeByte;   // data index of the item code or log index, -1 none
        uint8_t code;
    };
    const Expect cases[] = {
        {form->boxClearSmsFail, 0xCA, 6, 0x0F},
        {form->boxClearSmsFailLog, 0xF0, 6, 0x04},
        {form->boxClock, 0xD0, -1, 0},
        {form->boxRegion, 0xE4, -1, 0},
        {form->boxClearDb, 0xEC, -1, 0},
        {form->boxHistDays, 0xCA, 6, 0x1A},
    };
    for (const Expect& e : cases) {
        SCOPED_TRACE(e.box->objectName().toStdString());
        e.box->setChecked(true);
        form->itemIndex = -1;
        InitMsg(form->txMsg);
        EXPECT_EQ(SendNextConfigItem(form), irSent);
        ASSERT_GE(form->txMsg.length, 6);
        EXPECT_EQ(form->txMsg.data[2], e.command);
        if (e.codeByte >= 0) {
            ASSERT_GT(form->txMsg.length, e.codeByte);
            EXPECT_EQ(form->txMsg.data[e.codeByte], e.code);
        }
        e.box->setChecked(false);
        form->EndOperation();
    }
}

// ---------------------------------------------------------------- ticks

TEST_F(ConfigItems, TicksShowALimeTickOrARedCross)
{
    QLabel* tick = form->tickLowRf;
    EXPECT_TRUE(tick->isHidden());
    ShowTickDone(tick);
    EXPECT_FALSE(tick->isHidden());
    EXPECT_EQ(tick->text(), QString(QChar(0x2714)));
    EXPECT_EQ(tick->palette().color(QPalette::WindowText), QColor(0, 255, 0));
    ShowTickFailed(tick);
    EXPECT_EQ(tick->text(), QString(QChar(0x2718)));
    EXPECT_EQ(tick->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    ShowTickDone(nullptr); // no label, nothing to show

    EXPECT_EQ(platform::SymbolGlyph(platform::kSymbolTick), QString(QChar(0x2714)));
    EXPECT_EQ(platform::SymbolGlyph(0xFB), QString(QChar(0x2718)));
    const QString bell = platform::SymbolGlyph('%');
    EXPECT_FALSE(bell.isEmpty());
    EXPECT_NE(bell, "%");
    EXPECT_EQ(platform::SymbolGlyph('A'), "A");
    EXPECT_EQ(platform::SymbolText("\xFC%"), QString(QChar(0x2714)) + bell);
}

} // namespace
