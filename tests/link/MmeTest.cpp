// Manual message records: the digits, the two forms and the record's bounds.
#include "link/Mme.h"
#include "link/Serial.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

const uint8_t kAddress[3] = {0x12, 0x34, 0x56};

std::vector<uint8_t> Built(const std::string& text, bool relayed)
{
    TMsgRecord r;
    r.length = 99;
    const bool ok = BuildManualMessage(text, relayed, kAddress, r);
    EXPECT_EQ(ok, r.length > 0) << text;
    return std::vector<uint8_t>(r.data, r.data + r.length);
}

std::string Pairs(int n)
{
    std::string text;
    for (int i = 0; i < n; ++i)
        text += (i ? " " : "") + std::string("A5");
    return text;
}

} // namespace

TEST(ManualMessage, RecordsOfTheExamples)
{
    struct Case {
        const char* text;
        bool relayed;
        std::vector<uint8_t> record;
    } cases[] = {
        {"3A 02", false, {0xC0, 0x3A, 0x02}},
        {"ABC", false, {0xC0, 0x0A, 0xBC}},
        {"abc", false, {0xC0, 0x0A, 0xBC}},
        {"3A 02               ", false, {0xC0, 0x3A, 0x02}}, // the mask's blanks
        {"3G-A!", false, {0xC0, 0x3A}},                        // non-hex characters dropped
        {"7", false, {0xC0, 0x07}},
        {"C8 0D", true, {0xC0, 0xA7, 0xC8, 0x12, 0x34, 0x56, 0x0D}},
        {"C8", true, {0xC0, 0xA7, 0xC8, 0x12, 0x34, 0x56}},
        {"1 23", true, {0xC0, 0xA7, 0x01, 0x12, 0x34, 0x56, 0x23}},
        {"", false, {}},
        {"   ", true, {}},
        {"xyz-", false, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Built(c.text, c.relayed), c.record) << c.text << (c.relayed ? " relayed" : " direct");
}

TEST(ManualMessage, SixtyThreePairsAreSixtyFourBytesDirect)
{
    const auto direct = Built(Pairs(63), false);
    ASSERT_EQ(direct.size(), 64u);
    EXPECT_EQ(direct[0], 0xC0);
    EXPECT_EQ(direct[63], 0xA5);
    EXPECT_EQ(Built(Pairs(63), true).size(), 68u);
}

TEST(ManualMessage, NothingIsWrittenPastTheRecord)
{
    // The record holds 252 data bytes: 251 message bytes direct, 247 relayed.
    EXPECT_EQ(Built(Pairs(251), false).size(), 252u);
    EXPECT_TRUE(Built(Pairs(252), false).empty());
    EXPECT_EQ(Built(Pairs(247), true).size(), 252u);
    EXPECT_TRUE(Built(Pairs(248), true).empty());
    const auto digits300 = Built(std::string(300, '7'), false);
    ASSERT_EQ(digits300.size(), 151u) << "150 bytes fit";
    EXPECT_EQ(digits300[150], 0x77);
    EXPECT_TRUE(Built(std::string(600, '7'), false).empty()) << "300 bytes do not";
    EXPECT_TRUE(Built(std::string(503, '7'), false).empty()) << "252 bytes with the leading 0";
    EXPECT_EQ(Built(std::string(501, '7'), false).size(), 252u);
    EXPECT_TRUE(Built(std::string(5000, 'F'), true).empty());
}
