// Windows-1252, the PC's 8-bit code page: each character one byte, and no
// character without a code ever replaced by another.
#include "platform/CodePage.h"

#include <gtest/gtest.h>
#include <string>

using platform::FromWindows1252;
using platform::ToWindows1252;

TEST(CodePage, CharactersAndTheirBytes)
{
    struct Case {
        char16_t character;
        uint8_t byte;
    };
    const Case cases[] = {
        {u'\0', 0x00},   {u'A', 0x41},    {u'~', 0x7E},    {0x7F, 0x7F},    {0x20AC, 0x80}, // euro
        {0x201A, 0x82},  {0x0192, 0x83},  {0x201E, 0x84},  {0x2026, 0x85},  {0x2020, 0x86},
        {0x2021, 0x87},  {0x02C6, 0x88},  {0x2030, 0x89},  {0x0160, 0x8A},  {0x2039, 0x8B},
        {0x0152, 0x8C},  {0x017D, 0x8E},  {0x2018, 0x91},  {0x2019, 0x92},  {0x201C, 0x93},
        {0x201D, 0x94},  {0x2022, 0x95},  {0x2013, 0x96},  {0x2014, 0x97},  {0x02DC, 0x98},
        {0x2122, 0x99},  {0x0161, 0x9A},  {0x203A, 0x9B},  {0x0153, 0x9C},  {0x017E, 0x9E},
        {0x0178, 0x9F},  {0x00A0, 0xA0},  {0x00E9, 0xE9},  {0x00FF, 0xFF},
        // The five unassigned bytes stand for the controls of their number.
        {0x0081, 0x81},  {0x008D, 0x8D},  {0x008F, 0x8F},  {0x0090, 0x90},  {0x009D, 0x9D},
    };
    for (const Case& c : cases) {
        const QString text(QChar(c.character));
        const auto bytes = ToWindows1252(text);
        ASSERT_TRUE(bytes.has_value()) << std::hex << int(c.character);
        EXPECT_EQ(*bytes, std::string(1, char(c.byte))) << std::hex << int(c.character);
        EXPECT_EQ(FromWindows1252(*bytes), text) << std::hex << int(c.byte);
    }
}

TEST(CodePage, ATextIsOneBytePerCharacter)
{
    EXPECT_EQ(ToWindows1252(QString::fromUtf8("pé")), std::string("p\xE9"));
    EXPECT_EQ(ToWindows1252(QString::fromUtf8("Grüße, 5 €")), std::string("Gr\xFC\xDF" "e, 5 \x80"));
    EXPECT_EQ(ToWindows1252(QString()), std::string());
}

TEST(CodePage, CharactersWithoutACodeMakeTheWholeTextInvalid)
{
    const QString texts[] = {
        QString(QChar(0x0080)),                 // a control whose byte is the euro's
        QString(QChar(0x009F)),                 // likewise Y with diaeresis
        QString::fromUtf8("ł"),                 // Latin Extended, not in the page
        QString::fromUtf8("x\u0100"),           // the first character above Latin-1 that is not in it
        QString::fromUtf8("Ω"),
        QString::fromUtf8("ok \U0001F600"),     // beyond 16 bits: a surrogate pair
        QString(QChar(0xD800)),                 // a lone surrogate
        QString(QChar(0xFFFD)),                 // the replacement character itself
    };
    for (const QString& text : texts)
        EXPECT_FALSE(ToWindows1252(text).has_value()) << text.toStdString();
}

TEST(CodePage, EveryByteComesBackUnchanged)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(char(b));
    const QString text = FromWindows1252(all);
    EXPECT_EQ(text.size(), 256);
    EXPECT_EQ(ToWindows1252(text), all);
}
