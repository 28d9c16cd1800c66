// What the user types reaches the repeater as validated: numbers with their
// blanks, texts in the PC's code page, and input that cannot be sent as it
// stands refused before anything goes out.
#include "e2e/Clicks.h"
#include "e2e/Harness.h"

#include "platform/SymbolFont.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace {

bool TickIsDone(const QLabel* tick)
{
    return !tick->isHidden() && tick->text() == platform::SymbolGlyph(0xFC) &&
           tick->palette().color(QPalette::WindowText) == QColor(0, 255, 0);
}

bool TickIsFailed(const QLabel* tick)
{
    return !tick->isHidden() && tick->text() == platform::SymbolGlyph(0xFB) &&
           tick->palette().color(QPalette::WindowText) == QColor(255, 0, 0);
}

sim::Bytes StoredItem(const sim::Repeater* repeater, uint8_t code)
{
    const sim::Bytes* value = repeater->Item(code);
    return value ? *value : sim::Bytes {};
}

} // namespace

class TypedValues : public JobsEndToEnd {
protected:
    // The user presses Configure and the job runs its course.
    void Configure(int64_t ms = 6000)
    {
        ASSERT_TRUE(form->btnConfig->isEnabled());
        clicks::Click(form->btnConfig);
        Advance(ms);
    }

    // "Send this configuration" from the popup menu of an entry's box.
    void SendSingle(int entry, int64_t ms = 3000)
    {
        // Nothing left over from an earlier send may pass for this one's outcome.
        form->SetStatusText("");
        form->SetTicksVisible(false);
        beeps.clear();
        QCheckBox* box = form->configItems[size_t(entry)].box;
        clicks::ChooseFromPopup(box, form->menuPopup, form->menuSendSingleMsg);
        Advance(ms);
    }

    // The refusal of invalid input: the entry's red cross, the text, a beep,
    // the controls back, and nothing on the wire (no calibration poll either).
    void ExpectRefused(int entry)
    {
        EXPECT_EQ(form->StatusText(), "  User input error - Configuration aborted");
        EXPECT_TRUE(TickIsFailed(form->configItems[size_t(entry)].tick)) << "entry " << entry;
        EXPECT_FALSE(beeps.empty() || beeps.back() != 0x10u) << "error beep";
        EXPECT_EQ(form->opState, osIdle);
        EXPECT_TRUE(form->pageMain->isEnabled());
        EXPECT_EQ(sim->CountCommand(0x2D), 0u);
        EXPECT_TRUE(Relays().empty());
    }

    void ExpectCompleted()
    {
        EXPECT_EQ(form->StatusText().rfind("  Configuration successfully completed in", 0), 0u) << form->StatusText();
        EXPECT_EQ(form->opState, osIdle);
    }
};

// ---------------------------------------------------------------- numbers

TEST_F(TypedValues, NumbersGoOutExactlyAsTheyWereValidated)
{
    struct Case {
        const char* lowRf;
        const char* serial;
        const char* ecu;
        bool ecuFromSerial;
        sim::Bytes lowRfSent, serialSent, ecuSent;
    };
    const Case cases[] = {
        // Blanks around a number are the user's, not part of the value.
        {"13 ", "9247 ", "BEE ", false, {0x0D}, {0x00, 0x24, 0x1F}, {0x0B, 0xEE}},
        {" 25", "+1299999", " bee", false, {0x19}, {0x13, 0xD6, 0x1F}, {0x0B, 0xEE}},
        {"255", "12999999", "FFFF", false, {0xFF}, {0xC6, 0x5D, 0x3F}, {0xFF, 0xFF}},
        {"-0", "00000123", "0", false, {0x00}, {0x00, 0x00, 0x7B}, {0x00, 0x00}},
        // The ECU number made from the serial number's last four digits.
        {"7", "9247 ", "zz", true, {0x07}, {0x00, 0x24, 0x1F}, {0x92, 0x47}},
        {"7", "12345678", "", true, {0x07}, {0xBC, 0x61, 0x4E}, {0x56, 0x78}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.lowRf) + "|" + c.serial + "|" + c.ecu);
        form->editLowRfThresh->setText(c.lowRf);
        form->editSerialNum->setText(c.serial);
        form->boxEcuUsesSerial->setChecked(c.ecuFromSerial);
        form->editEcuNum->setText(c.ecu);
        TickOnly({17, 44, 45});
        sim->ClearReceived();
        Configure();
        ExpectCompleted();
        EXPECT_EQ(StoredItem(repeater, 0x16), c.lowRfSent);
        EXPECT_EQ(StoredItem(repeater, 0x00), c.serialSent);
        EXPECT_EQ(StoredItem(repeater, 0x01), c.ecuSent);
        for (int entry : {17, 44, 45})
            EXPECT_TRUE(TickIsDone(form->configItems[size_t(entry)].tick)) << "entry " << entry;
    }
}

TEST_F(TypedValues, NumbersThatAreNotOnesAreRefusedNeverSentAsZero)
{
    struct Case {
        int entry;
        QLineEdit* TformMain::*edit;
        const char* text;
    };
    const Case cases[] = {
        {17, &TformMain::editLowRfThresh, "1 3"}, {17, &TformMain::editLowRfThresh, ""},
        {17, &TformMain::editLowRfThresh, "x"},   {17, &TformMain::editLowRfThresh, "256"},
        {17, &TformMain::editLowRfThresh, "-1"},  {45, &TformMain::editSerialNum, "13000000"},
        {45, &TformMain::editSerialNum, "9 247"}, {45, &TformMain::editSerialNum, "-1"},
        {45, &TformMain::editSerialNum, "1e3"},   {44, &TformMain::editEcuNum, "0xBE"},
        {44, &TformMain::editEcuNum, "-1"},       {44, &TformMain::editEcuNum, ""},
        {44, &TformMain::editEcuNum, "G1"},
    };
    form->boxEcuUsesSerial->setChecked(false);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.entry) + " \"" + c.text + "\"");
        form->editLowRfThresh->setText("13");
        form->editSerialNum->setText("9247");
        form->editEcuNum->setText("BEEF");
        (form->*c.edit)->setText(c.text);
        TickOnly({c.entry});
        sim->ClearReceived();
        Configure(1000);
        ExpectRefused(c.entry);

        // The single send refuses it the same way.
        sim->ClearReceived();
        SendSingle(c.entry, 1000);
        ExpectRefused(c.entry);
    }
}

TEST_F(TypedValues, AnEcuNumberFromASerialThatIsNotOneIsRefusedNotZero)
{
    // A single send of the ECU entry does not validate the serial number's
    // own entry; the ECU number made from it must not become 0000.
    form->boxEcuUsesSerial->setChecked(true);
    form->boxSerialNum->setChecked(true);
    for (const char* serial : {"abc", "", "13000000", "-5"}) {
        SCOPED_TRACE(serial);
        form->editSerialNum->setText(serial);
        sim->ClearReceived();
        SendSingle(44);
        ExpectRefused(44);
    }
    // Without the serial number's box the repeater's address gives it:
    // 12 34 56 is 1193046, so 3046.
    form->boxSerialNum->setChecked(false);
    form->editSerialNum->setText("abc");
    sim->ClearReceived();
    SendSingle(44);
    ExpectCompleted();
    EXPECT_EQ(StoredItem(repeater, 0x01), (sim::Bytes {0x30, 0x46}));
}

// ---------------------------------------------------------------- texts

TEST_F(TypedValues, TextItemsGoOutOneBytePerCharacterInTheCodePage)
{
    const std::pair<int, QLineEdit* TformMain::*> textEntries[] = {
        {34, &TformMain::editApn},     {35, &TformMain::editGprsUser}, {36, &TformMain::editGprsPass},
        {37, &TformMain::editFtpHost}, {38, &TformMain::editFtpUser},  {39, &TformMain::editFtpPass},
        {40, &TformMain::editFtpFolder},
    };
    struct Case {
        QString text;
        sim::Bytes value; // without the NUL
    };
    const Case cases[] = {
        {QString::fromUtf8("pé"), {0x70, 0xE9}},
        {QString::fromUtf8("€‰Ÿ"), {0x80, 0x89, 0x9F}},
        {QString::fromUtf8("Ñandú/ß"), {0xD1, 0x61, 0x6E, 0x64, 0xFA, 0x2F, 0xDF}},
        {QString(), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        for (const auto& [entry, edit] : textEntries)
            (form->*edit)->setText(c.text);
        TickOnly({34, 35, 36, 37, 38, 39, 40});
        sim->ClearReceived();
        Configure(8000);
        ExpectCompleted();
        const auto relays = Relays();
        ASSERT_EQ(relays.size(), std::size(textEntries));
        for (size_t i = 0; i < relays.size(); ++i) {
            const uint8_t code = uint8_t(0x30 + i);
            sim::Bytes args {code, 0x00, uint8_t(c.value.size() + 1)};
            args.insert(args.end(), c.value.begin(), c.value.end());
            args.push_back(0x00);
            EXPECT_EQ(relays[i].RepeaterArgs(), args) << "item " << int(code);
            EXPECT_EQ(relays[i].record.size(), c.value.size() + 10) << "item " << int(code);
        }
    }
}

TEST_F(TypedValues, ACharacterOutsideTheCodePageIsInvalidInput)
{
    // Polish, Greek, a character beyond 16 bits, a C1 control without a code.
    const QString texts[] = {QString::fromUtf8("łódź"), QString::fromUtf8("αβ"), QString::fromUtf8("ok\U0001F600"),
                             QString(QChar(0x80))};
    for (const QString& text : texts) {
        SCOPED_TRACE(text.toStdString());
        form->editApn->setText("internet");
        form->editFtpUser->setText(text);
        TickOnly({34, 38});
        sim->ClearReceived();
        Configure(1000);
        ExpectRefused(38);
        EXPECT_TRUE(form->configItems[34].tick->isHidden()) << "only the invalid entry is marked";

        sim->ClearReceived();
        SendSingle(38, 1000);
        ExpectRefused(38);
    }
}

TEST_F(TypedValues, TelephoneNumbersTakeAtMostTheirLengthAndGoOutWhole)
{
    // Typed digit by digit: the engineer's, test and alarm numbers stop at
    // 50 characters, the host number at 200.
    const std::pair<QComboBox* TformMain::*, int> limits[] = {
        {&TformMain::comboEngineerTel, 50},
        {&TformMain::comboTestTel, 50},
        {&TformMain::comboAlarmTel, 50},
        {&TformMain::comboHostTel, 200},
    };
    for (const auto& [combo, limit] : limits) {
        QLineEdit* edit = (form->*combo)->lineEdit();
        SCOPED_TRACE(edit->parent()->objectName().toStdString());
        (form->*combo)->setEditText("");
        for (int i = 0; i < limit + 5; ++i)
            clicks::Type(edit, char('0' + i % 10));
        EXPECT_EQ(edit->text().size(), limit);
    }

    // The longest engineer's number goes out whole, with its NUL.
    const QString typed = form->comboEngineerTel->currentText();
    TickOnly({9});
    sim->ClearReceived();
    Configure(3000);
    ExpectCompleted();
    const auto relays = Relays();
    ASSERT_EQ(relays.size(), 1u);
    sim::Bytes args {0x04, 0x00, 51};
    for (const QChar c : typed)
        args.push_back(uint8_t(c.toLatin1()));
    args.push_back(0x00);
    EXPECT_EQ(relays[0].RepeaterArgs(), args);
    EXPECT_EQ(repeater->ItemText(0x04), typed.toStdString());
}

TEST_F(TypedValues, TheReportFormatIsNeededOnlyWhereItIsWritten)
{
    form->comboReportFormat->setCurrentIndex(-1);
    TickOnly({});
    sim->ClearReceived();
    SendSingle(13, 1000);
    ExpectRefused(13);

    // The amplifier's own send leaves the format bits as the repeater has them.
    repeater->SetItem(0x0D, {0x1A});
    form->radioEnableLna->setChecked(true);
    sim->ClearReceived();
    SendSingle(7);
    ExpectCompleted();
    EXPECT_EQ(StoredItem(repeater, 0x0D), (sim::Bytes {0x1B}));
}
