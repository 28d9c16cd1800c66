// The VT52 and VT100 escape codes: parsing and generating, as golden tables.
#include "serial/PortEscapes.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

const char* const kNames[kEscapeCodeCount] = {
    "Unknown", "NotCompleted", "CursorUp", "CursorDown", "CursorLeft", "CursorRight", "CursorHome",
    "CursorMove", "ReverseLineFeed", "AppCursorLeft", "AppCursorRight", "AppCursorUp", "AppCursorDown",
    "EraseLineFrom", "EraseScreenFrom", "EraseLine", "EraseScreen", "SetTab", "ClearTab", "ClearAllTabs",
    "Identify", "IdentResponse", "QueryDevice", "ReportDeviceOK", "ReportDeviceFailure", "QueryCursorPos",
    "ReportCursorPos", "Attributes", "SetMode", "ResetMode", "Reset", "SaveCaretAndAttr",
    "RestoreCaretAndAttr", "SaveCaret", "RestoreCaret", "Test"};

// Feeds the bytes one at a time and writes what came out: plain characters
// as they are, codes as <Name p1|p2>, the way a terminal would take them.
std::string Parse(TEscapeCodes& codes, const std::string& input)
{
    std::string out;
    for (char c : input) {
        switch (codes.ProcessChar(c)) {
        case erChar: out += codes.Character; break;
        case erCode: {
            out += "<";
            out += kNames[codes.Code];
            for (size_t i = 0; i < codes.Params.size(); ++i)
                out += (i == 0 ? " " : "|") + codes.Params[i];
            out += ">";
            codes.Params.clear();
            break;
        }
        case erNothing: break;
        }
    }
    return out;
}

struct Row {
    const char* input;
    const char* expected;
};

const std::string E = "\x1b";

} // namespace

TEST(EscapesVT100, ParsesAsTabled)
{
    const Row rows[] = {
        {"plain text\r\n", "plain text\r\n"},
        {"\x1b[A\x1b[B\x1b[C\x1b[D", "<CursorUp><CursorDown><CursorRight><CursorLeft>"},
        {"\x1b[3A\x1b[12C", "<CursorUp 3><CursorRight 12>"},
        {"\x1b[5;10H", "<CursorHome 5|10>"},
        {"\x1b[H", "<CursorHome>"},
        {"\x1b[7;8f", "<CursorMove 7|8>"},
        // A ";" with nothing before it joins the next parameter.
        {"\x1b[;5H", "<CursorHome ;5>"},
        {"\x1b[5;;6H", "<CursorHome 5|;6>"},
        {"\x1b[;;H", "<CursorHome ;>"},
        {"\x1b[5;H", "<CursorHome 5>"},
        // J, K, g and n drop their parameters.
        {"\x1b[J\x1b[0J\x1b[2J\x1b[1J", "<EraseScreenFrom><EraseScreenFrom><EraseScreen><Unknown>"},
        {"\x1b[K\x1b[0K\x1b[2K\x1b[1K", "<EraseLineFrom><EraseLineFrom><EraseLine><Unknown>"},
        {"\x1b[g\x1b[0g\x1b[3g\x1b[2g", "<ClearTab><ClearTab><ClearAllTabs><Unknown>"},
        {"\x1b[0n\x1b[3n\x1b[5n\x1b[6n\x1b[n\x1b[7n",
         "<ReportDeviceOK><ReportDeviceFailure><QueryDevice><QueryCursorPos><Unknown><Unknown>"},
        {"\x1b[20J\x1b[6;1n", "<EraseScreen><QueryCursorPos>"}, // the first character decides
        {"\x1b[c\x1b[0c\x1b[?1;2c", "<Identify><Identify 0><IdentResponse ?1|2>"},
        {"\x1b[1c\x1b[?1c\x1b[?2;2c", "<Unknown 1><Unknown ?1><Unknown ?2|2>"},
        {"\x1b[24;80R", "<ReportCursorPos 24|80>"},
        {"\x1b[?1h\x1b[?3l\x1b[7h", "<SetMode ?1><ResetMode ?3><SetMode 7>"},
        {"\x1b[m\x1b[1;4;7m", "<Attributes><Attributes 1|4|7>"},
        {"\x1b[s\x1b[u", "<SaveCaret><RestoreCaret>"},
        {"\x1b[5x\x1b[z", "<Unknown 5><Unknown>"},
        {"\x1bH\x1b" "7\x1b" "8\x1b" "c", "<SetTab><SaveCaretAndAttr><RestoreCaretAndAttr><Reset>"},
        {"\x1b#8\x1b#9", "<Test><Unknown>"},
        {"\x1bOA\x1bOB\x1bOC\x1bOD\x1bOE", "<AppCursorUp><AppCursorDown><AppCursorRight><AppCursorLeft><Unknown>"},
        // A character with no meaning after ESC ends the sequence at once.
        {"\x1bxy", "<Unknown>y"},
        {"\x1b\x1b[A", "<Unknown>[A"},
        // Digits, signs and other characters are collected until a letter.
        {"\x1b[12;-3;?=B", "<CursorDown 12|-3|?=>"},
        {"\x1b[1\r\n2B", "<CursorDown 1\r\n2>"},
        {"ab\x1b[", "ab"},
    };
    for (const Row& row : rows) {
        TEscapeCodesVT100 codes;
        EXPECT_EQ(Parse(codes, row.input), row.expected) << "input " << testing::PrintToString(std::string(row.input));
    }
}

TEST(EscapesVT100, GeneratesAsTabled)
{
    TEscapeCodesVT100 codes;
    const TStrings two {"12", "34"};
    const std::pair<TEscapeCode, std::string> rows[] = {
        {ecUnknown, ""}, {ecNotCompleted, ""}, {ecCursorUp, E + "[A"}, {ecCursorDown, E + "[B"},
        {ecCursorLeft, E + "[D"}, {ecCursorRight, E + "[C"}, {ecCursorHome, E + "[H"},
        {ecCursorMove, E + "[12;34f"}, {ecReverseLineFeed, ""}, {ecAppCursorLeft, E + "OD"},
        {ecAppCursorRight, E + "OC"}, {ecAppCursorUp, E + "OA"}, {ecAppCursorDown, E + "OB"},
        {ecEraseLineFrom, E + "[K"}, {ecEraseScreenFrom, E + "[J"}, {ecEraseLine, E + "[2K"},
        {ecEraseScreen, E + "[2J"}, {ecSetTab, E + "H"}, {ecClearTab, E + "[g"}, {ecClearAllTabs, E + "[3g"},
        {ecIdentify, E + "[c"}, {ecIdentResponse, E + "[?1;12c"}, {ecQueryDevice, E + "[5n"},
        {ecReportDeviceOK, E + "[0n"}, {ecReportDeviceFailure, E + "[3n"}, {ecQueryCursorPos, E + "[6n"},
        {ecReportCursorPos, E + "[12;34R"}, {ecAttributes, E + "[m"}, {ecSetMode, E + "[h"},
        {ecResetMode, E + "[l"}, {ecReset, E + "c"}, {ecSaveCaretAndAttr, E + "7"},
        {ecRestoreCaretAndAttr, E + "8"}, {ecSaveCaret, E + "[s"}, {ecRestoreCaret, E + "[u"},
        {ecTest, E + "#8"}};
    ASSERT_EQ(std::size(rows), size_t(kEscapeCodeCount));
    for (const auto& [code, text] : rows)
        EXPECT_EQ(codes.EscCodeToStr(code, &two), text) << kNames[code];
    // Missing parameters read as 1.
    EXPECT_EQ(codes.EscCodeToStr(ecCursorMove, nullptr), E + "[1;1f");
    EXPECT_EQ(codes.EscCodeToStr(ecReportCursorPos, nullptr), E + "[1;1R");
}

TEST(EscapesVT100, EveryGeneratedSequenceParsesBackToItsCode)
{
    TEscapeCodesVT100 codes;
    const TStrings two {"12", "34"};
    for (int c = ecCursorUp; c < kEscapeCodeCount; ++c) {
        const std::string text = codes.EscCodeToStr(TEscapeCode(c), &two);
        if (text.empty())
            continue;
        TEscapeCodesVT100 parser;
        const std::string parsed = Parse(parser, text);
        EXPECT_EQ(parsed.substr(0, parsed.find_first_of(" >")), std::string("<") + kNames[c]);
    }
}

TEST(EscapesVT100, AnUnfinishedSequenceEndsAsUnknownAtItsLimit)
{
    TEscapeCodesVT100 codes;
    EXPECT_EQ(codes.ProcessChar('\x1b'), erNothing);
    size_t collected = 0;
    // "[" and then digits: never a final letter.
    EXPECT_EQ(codes.ProcessChar('['), erNothing);
    ++collected;
    while (collected + 1 < TEscapeCodes::kMaxSequence) {
        ASSERT_EQ(codes.ProcessChar('9'), erNothing);
        ++collected;
    }
    EXPECT_TRUE(codes.InSequence());
    EXPECT_EQ(codes.Data().size(), TEscapeCodes::kMaxSequence - 1) << "every character is kept until then";
    EXPECT_EQ(codes.ProcessChar('9'), erCode);
    EXPECT_EQ(codes.Code, ecUnknown);
    EXPECT_TRUE(codes.Params.empty());
    EXPECT_FALSE(codes.InSequence());
    EXPECT_FALSE(codes.InCSI());
    // The parser is plain again, and a new sequence works.
    EXPECT_EQ(Parse(codes, "9x\x1b[2A"), "9x<CursorUp 2>");
}

TEST(EscapesVT52, ParsesAsTabled)
{
    const Row rows[] = {
        {"\x1b" "A\x1b" "B\x1b" "C\x1b" "D\x1bH\x1bI",
         "<CursorUp><CursorDown><CursorRight><CursorLeft><CursorHome><ReverseLineFeed>"},
        {"\x1bJ\x1bK\x1bZ\x1b/Z\x1b/X", "<EraseScreenFrom><EraseLineFrom><Identify><IdentResponse><Unknown>"},
        {"\x1bY%*", "<CursorMove 6|11>"},
        {"\x1bY  x", "<CursorMove 1|1>x"},
        {"\x1bY\x1f\x01", "<CursorMove 0|-30>"},
        // Bytes above 127 are taken unsigned.
        {"\x1bY\xff\x80", "<CursorMove 224|97>"},
        {"\x1b[A\x1bx", "<Unknown>A<Unknown>"},
        {"\x1bY%", ""},
    };
    for (const Row& row : rows) {
        TEscapeCodesVT52 codes;
        EXPECT_EQ(Parse(codes, row.input), row.expected) << "input " << testing::PrintToString(std::string(row.input));
    }
}

TEST(EscapesVT52, GeneratesAsTabled)
{
    TEscapeCodesVT52 codes;
    const TStrings pos {"6", "11"};
    EXPECT_EQ(codes.EscCodeToStr(ecCursorUp, nullptr), E + "A");
    EXPECT_EQ(codes.EscCodeToStr(ecCursorDown, nullptr), E + "B");
    EXPECT_EQ(codes.EscCodeToStr(ecCursorLeft, nullptr), E + "D");
    EXPECT_EQ(codes.EscCodeToStr(ecCursorRight, nullptr), E + "C");
    EXPECT_EQ(codes.EscCodeToStr(ecCursorHome, nullptr), E + "H");
    EXPECT_EQ(codes.EscCodeToStr(ecCursorMove, &pos), E + "Y%*");
    EXPECT_EQ(codes.EscCodeToStr(ecReverseLineFeed, nullptr), E + "I");
    EXPECT_EQ(codes.EscCodeToStr(ecEraseLineFrom, nullptr), E + "K");
    EXPECT_EQ(codes.EscCodeToStr(ecEraseScreenFrom, nullptr), E + "J");
    EXPECT_EQ(codes.EscCodeToStr(ecIdentify, nullptr), E + "Z");
    EXPECT_EQ(codes.EscCodeToStr(ecIdentResponse, nullptr), E + "/Z");
    for (TEscapeCode c : {ecUnknown, ecEraseScreen, ecEraseLine, ecQueryCursorPos, ecReportCursorPos, ecAttributes,
                          ecSetMode, ecTest, ecAppCursorUp, ecSetTab})
        EXPECT_EQ(codes.EscCodeToStr(c, &pos), "") << kNames[c];
    // Positions that do not fit in a byte are held at its ends.
    const TStrings far {"2147483647", "-2147483648"};
    EXPECT_EQ(codes.EscCodeToStr(ecCursorMove, &far), E + "Y\xff" + std::string(1, '\0'));
    // What it generates parses back.
    TEscapeCodesVT52 parser;
    EXPECT_EQ(Parse(parser, codes.EscCodeToStr(ecCursorMove, &pos)), "<CursorMove 6|11>");
}

TEST(Escapes, GetParamReadsIntegersAndOneForAnythingElse)
{
    const TStrings params {"0", "5", "-7", "+3", "abc", "", "?1", "2147483647", "2147483648", "-2147483648",
                           "99999999999999999999", "1 ", " 1", "0x10"};
    const int32_t expected[] = {0, 5, -7, 3, 1, 1, 1, 2147483647, 1, -2147483647 - 1, 1, 1, 1, 1};
    for (size_t i = 0; i < params.size(); ++i)
        EXPECT_EQ(TEscapeCodes::GetParam(int(i + 1), &params), expected[i]) << "'" << params[i] << "'";
    EXPECT_EQ(TEscapeCodes::GetParam(1, nullptr), 1);
    EXPECT_EQ(TEscapeCodes::GetParam(int(params.size()) + 1, &params), 1);
    EXPECT_EQ(TEscapeCodes::GetParam(0, &params), 1);
    EXPECT_EQ(TEscapeCodes::GetParam(-1, &params), 1);
}
