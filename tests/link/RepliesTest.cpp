// Texts of the reply handlers: the GSM log-on failure reasons and the time a
// job took. Without a main window every text is its English default.
#include "link/Responses.h"

#include <gtest/gtest.h>

TEST(GsmErrorText, NamedCodesFirstThenTheHighNibble)
{
    const std::pair<uint8_t, const char*> cases[] = {
        {0x27, "Illegal GSM Band"},         {0x33, "SIM Card Not Detected"},  {0x31, "SIM Card Is Locked"},
        {0x32, "SIM Card Is Locked"},       {0x42, "Registration Not Allowed"}, {0x41, "Network Not Found"},
        {0x45, "Network Not Found"},        {0x46, "No GPRS connection"},     {0x2F, "Modem Communication Error"},
        {0x34, "SIM Error"},                {0x4F, "Network Error"},          {0x50, "Unknown Error"},
        {0x00, "Unknown Error"},
    };
    for (const auto& [code, reason] : cases)
        EXPECT_EQ(GsmErrorText(nullptr, code), std::string("Logon Failed - ") + reason) << int(code);
}

TEST(ElapsedTimeText, MinutesSecondsAndMilliseconds)
{
    auto days = [](double seconds) { return seconds / 86400.0; };
    EXPECT_EQ(ElapsedTimeText(nullptr, days(59.9)), "59.900 seconds");
    EXPECT_EQ(ElapsedTimeText(nullptr, days(60.5)), "1 minute, 0.500 seconds");
    EXPECT_EQ(ElapsedTimeText(nullptr, days(127.045)), "2 minutes, 7.045 seconds");
    EXPECT_EQ(ElapsedTimeText(nullptr, days(3600 + 61.001)), "1 minute, 1.001 seconds") << "hours are not shown";
    EXPECT_EQ(ElapsedTimeText(nullptr, 0.0), "0.000 seconds");
}

TEST(RepeaterIdText, PictureWithAtLeastEightDigits)
{
    EXPECT_EQ(RepeaterIdText(9247), " 0000-9247");
    EXPECT_EQ(RepeaterIdText(12345678), " 1234-5678");
    EXPECT_EQ(RepeaterIdText(4194305), " 0419-4305");
    EXPECT_EQ(IdPicture(1234567), "0123-4567");
    EXPECT_EQ(IdPicture(5), "0000-0005");
    EXPECT_EQ(IdPicture(1073741823), "107374-1823");
}
