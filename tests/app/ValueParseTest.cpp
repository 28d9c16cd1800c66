// The number fields: one reading serves their validators and their request
// builders, so that what passes validation is exactly what is sent.
#include "app/Main.h"
#include "app/Validate.h"
#include "link/Requests.h"
#include "support/MainWindowFixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <gtest/gtest.h>
#include <limits>
#include <optional>
#include <string>
#include <vector>

TEST(ParseIntegerText, DecimalAndHexadecimal)
{
    struct Case {
        const char* text;
        int base;
        std::optional<int64_t> value;
    };
    constexpr auto none = std::nullopt;
    const Case cases[] = {
        {"13", 10, 13},
        {"13 ", 10, 13},
        {" 13", 10, 13},
        {"\t13\n", 10, 13},
        {"+13", 10, 13},
        {"-1", 10, -1},
        {"-0", 10, 0},
        {"007", 10, 7},
        {"9223372036854775807", 10, std::numeric_limits<int64_t>::max()},
        {"-9223372036854775808", 10, std::numeric_limits<int64_t>::min()},
        {"9223372036854775808", 10, none},
        {"99999999999999999999", 10, none},
        {"", 10, none},
        {"   ", 10, none},
        {"+", 10, none},
        {"-", 10, none},
        {"+-1", 10, none},
        {"1 3", 10, none},
        {"13x", 10, none},
        {"1e3", 10, none},
        {"1.0", 10, none},
        {"0x10", 10, none},
        {"\xC2\xA0" "13", 10, none}, // a no-break space is not a blank
        {"A", 10, none},
        {"BEE", 16, 0xBEE},
        {"BEE ", 16, 0xBEE},
        {" bee", 16, 0xBEE},
        {"FFFF", 16, 0xFFFF},
        {"0", 16, 0},
        {"7fffffffffffffff", 16, std::numeric_limits<int64_t>::max()},
        {"8000000000000000", 16, none},
        {"0xBE", 16, none},
        {"-1", 16, none},
        {"+1", 16, none},
        {"G1", 16, none},
        {"B EE", 16, none},
        {"", 16, none},
        {"12", 8, none}, // no other base
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseIntegerText(c.text, c.base), c.value) << '"' << c.text << "\" base " << c.base;
}

namespace {

class NumberFields : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        form.Create();
        form->adminOptions = 8;
        form->repeaterAddr[0] = 0x12;
        form->repeaterAddr[1] = 0x34;
        form->repeaterAddr[2] = 0x56;
        form->editEcuNum->setMaxLength(8);
        form->editSerialNum->setMaxLength(12);
        form->editLowRfThresh->setMaxLength(12);
    }

    void TearDown() override
    {
        form->portVigilator->Close();
        MainWindowFixture::TearDown();
    }

    // The value bytes the entry's builder sends, or nothing when it refuses;
    // and the entry's validator must agree.
    std::optional<std::vector<uint8_t>> Sent(int entry)
    {
        const TConfigItem& item = form->configItems[size_t(entry)];
        form->txMsg.length = 0;
        const bool valid = ValidateEntryInput(form, entry) == irValid;
        const bool sent = item.request(form, item.code);
        EXPECT_EQ(valid, sent) << "validator and builder disagree on entry " << entry;
        if (!sent) {
            EXPECT_EQ(form->txMsg.length, 0) << "a refusing builder leaves the record alone";
            return std::nullopt;
        }
        // C0 A7 CA a1 a2 a3 code 00 N value...
        return std::vector<uint8_t>(form->txMsg.data + 9, form->txMsg.data + form->txMsg.length);
    }
};

using Value = std::optional<std::vector<uint8_t>>;

} // namespace

TEST_F(NumberFields, LowRfThreshold)
{
    const std::pair<const char*, Value> cases[] = {
        {"13", Value {{13}}},  {"13 ", Value {{13}}}, {" 0", Value {{0}}},   {"255", Value {{255}}},
        {"256", std::nullopt}, {"-1", std::nullopt},  {"", std::nullopt},    {"x", std::nullopt},
        {"1 3", std::nullopt}, {"0x1", std::nullopt}, {"+255", Value {{255}}},
    };
    for (const auto& [text, value] : cases) {
        form->editLowRfThresh->setText(text);
        EXPECT_EQ(Sent(17), value) << '"' << text << '"';
    }
}

TEST_F(NumberFields, SerialNumber)
{
    const std::pair<const char*, Value> cases[] = {
        {"9247 ", Value {{0x00, 0x24, 0x1F}}},    {"12999999", Value {{0xC6, 0x5D, 0x3F}}},
        {"0", Value {{0, 0, 0}}},                 {"00000008", Value {{0, 0, 8}}},
        {"13000000", std::nullopt},               {"16777216", std::nullopt},
        {"-1", std::nullopt},                     {"", std::nullopt},
        {"9,247", std::nullopt},
    };
    for (const auto& [text, value] : cases) {
        form->editSerialNum->setText(text);
        EXPECT_EQ(Sent(45), value) << '"' << text << '"';
    }
}

TEST_F(NumberFields, EcuNumberTyped)
{
    form->boxEcuUsesSerial->setChecked(false);
    const std::pair<const char*, Value> cases[] = {
        {"BEE ", Value {{0x0B, 0xEE}}}, {"beef", Value {{0xBE, 0xEF}}}, {"0", Value {{0, 0}}},
        {" FFFF ", Value {{0xFF, 0xFF}}}, {"10000", std::nullopt},      {"", std::nullopt},
        {"0xBE", std::nullopt},          {"-1", std::nullopt},          {"G", std::nullopt},
    };
    for (const auto& [text, value] : cases) {
        form->editEcuNum->setText(text);
        EXPECT_EQ(Sent(44), value) << '"' << text << '"';
    }
}

TEST_F(NumberFields, EcuNumberFromTheSerialNumber)
{
    form->boxEcuUsesSerial->setChecked(true);
    form->editEcuNum->setText("zz"); // not looked at
    struct Case {
        bool serialTicked;
        const char* serial;
        Value value;
    };
    const Case cases[] = {
        {true, "9247 ", Value {{0x92, 0x47}}},
        {true, "12345678", Value {{0x56, 0x78}}},
        {true, "70042", Value {{0x00, 0x42}}},
        {true, "abc", std::nullopt}, // never 0000
        {true, "", std::nullopt},
        {true, "13000000", std::nullopt},
        {false, "abc", Value {{0x30, 0x46}}}, // the address 12 34 56 is 1193046
    };
    for (const Case& c : cases) {
        form->boxSerialNum->setChecked(c.serialTicked);
        form->editSerialNum->setText(c.serial);
        EXPECT_EQ(Sent(44), c.value) << '"' << c.serial << '"';
    }
}

// ---------------------------------------------------------------- a builder that refuses

namespace {

int refusals = 0;

bool RefuseToSend(TformMain*, uint8_t)
{
    ++refusals;
    return false;
}

} // namespace

TEST_F(NumberFields, ABuilderThatRefusesEndsTheJobInsteadOfWaiting)
{
    // Input that changed after validation: the entry is refused when its
    // turn comes, the job ends, and nothing waits for a reply.
    for (TConfigItem& item : form->configItems)
        item.box->setChecked(false);
    form->configItems[4].box->setChecked(true);
    form->configItems[4].request = RefuseToSend;
    form->configItems[45].box->setChecked(true);
    form->EnableControls(false);
    form->opState = osConfigItems;
    form->itemIndex = -1;
    refusals = 0;
    EXPECT_EQ(SendNextConfigItem(form), irInvalid);
    EXPECT_EQ(refusals, 1);
    EXPECT_EQ(form->itemIndex, 4);
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_TRUE(form->pageMain->isEnabled());
    EXPECT_FALSE(form->timerConnectionManager->Enabled());
    EXPECT_FALSE(form->timerMsgTimeout->Enabled());
    EXPECT_EQ(form->StatusText(), "  User input error - Configuration aborted");
    const QLabel* tick = form->configItems[4].tick;
    EXPECT_FALSE(tick->isHidden());
    EXPECT_EQ(tick->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_TRUE(form->configItems[45].tick->isHidden()) << "the entries after it are not sent";
}
