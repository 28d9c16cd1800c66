// Tests of the Windows-compatible profile (ini) files (platform/IniFile.h).
#include "platform/IniFile.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sys/stat.h>

#include <QString>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

// ------------------------------------------------------------ read table

struct ReadCase {
    const char* name;
    std::string content;
    const char* section;
    const char* ident;
    std::string expected;  // with the default "<def>"
};

void PrintTo(const ReadCase& c, std::ostream* os)
{
    *os << c.name;
}

const ReadCase kReadCases[] = {
    {"SectionAndKeyIgnoreCase", "[Config]\r\nAlpha=1\r\n", "CONFIG", "alpha", "1"},
    {"LastLetterIgnoresCase", "[Zz]\r\nZip=1\r\n", "zZ", "zIP", "1"},
    {"Cp1252LettersIgnoreCase", "[\xC9t\xE9]\r\n\xC4pfel=ja\r\n", "\xC3\xA9t\xC3\xA9",
     "\xC3\xA4PFEL", "ja"},
    {"FirstDuplicateKeyWins", "[S]\r\nk=first\r\nK=second\r\n", "S", "k", "first"},
    {"FirstDuplicateSectionWins", "[S]\r\na=1\r\n[T]\r\nb=x\r\n[s]\r\na=2\r\n", "s", "a", "1"},
    {"LaterDuplicateSectionIsNotSeen", "[S]\r\na=1\r\n[s]\r\nb=2\r\n", "S", "b", "<def>"},
    {"LinesKeysAndValuesTrimmed", "  [ S ]  \r\n\t  key \t=  value  with  inner  \t\r\n", " S ",
     " key ", "value  with  inner"},
    {"DoubleQuotesStripped", "[S]\r\nk=\" padded \"\r\n", "S", "k", " padded "},
    {"SingleQuotesStripped", "[S]\r\nk='x'\r\n", "S", "k", "x"},
    {"QuotesStrippedAfterTrimming", "[S]\r\nk=  \"x\"  \r\n", "S", "k", "x"},
    {"EmptyQuotes", "[S]\r\nk=\"\"\r\n", "S", "k", ""},
    {"MismatchedQuotesKept", "[S]\r\nk=\"x'\r\n", "S", "k", "\"x'"},
    {"OpeningQuoteOnlyKept", "[S]\r\nk=\"abc\r\n", "S", "k", "\"abc"},
    {"LoneQuoteKept", "[S]\r\nk=\"\r\n", "S", "k", "\""},
    {"InnerQuotesKept", "[S]\r\nk=say \"hi\"\r\n", "S", "k", "say \"hi\""},
    {"CommentLineIsNoKey", "[S]\r\n;k=1\r\n", "S", ";k", "<def>"},
    {"IndentedCommentLineIsNoKey", "[S]\r\n   ; k=1\r\nk=2\r\n", "S", "k", "2"},
    {"SemicolonInValueIsData", "[S]\r\nk=a ; b\r\n", "S", "k", "a ; b"},
    {"HashIsNoComment", "[S]\r\n#k=1\r\n", "S", "#k", "1"},
    {"NoEscapes", "[S]\r\npath=C:\\new\\table\\x41\\\r\n", "S", "path", "C:\\new\\table\\x41\\"},
    {"EqualsInValue", "[S]\r\nk=a=b\r\n", "S", "k", "a=b"},
    {"EmptyValue", "[S]\r\nk=\r\n", "S", "k", ""},
    {"KeyWithoutEqualsHasNoValue", "[S]\r\nflag\r\n", "S", "flag", "<def>"},
    {"KeyWithoutEqualsBlocksALaterDuplicate", "[S]\r\nk\r\nk=1\r\n", "S", "k", "<def>"},
    {"LfLineEnds", "[S]\nk=lf\nj=2\n", "S", "k", "lf"},
    {"CrLineEnds", "[S]\rk=cr\rj=2\r", "S", "j", "2"},
    {"MixedLineEnds", "[A]\r\na=1\n[S]\rk=mixed\r\n", "S", "k", "mixed"},
    {"NoFinalLineEnd", "[S]\r\nk=last", "S", "k", "last"},
    {"BlankLinesAndCtrlZ", "\r\n[S]\r\n\r\n   \r\nk=v\r\n\x1A", "S", "k", "v"},
    {"TextAfterSectionBracket", "[S] ; about S\r\nk=v\r\n", "S", "k", "v"},
    {"KeyBeforeAnySectionNotFound", "k=v\r\n[S]\r\n", "S", "k", "<def>"},
    {"MissingSection", "[S]\r\nk=v\r\n", "T", "k", "<def>"},
    {"MissingKey", "[S]\r\nk=v\r\n", "S", "j", "<def>"},
    {"KeyOfTheNextSectionNotSeen", "[S]\r\n[T]\r\nk=v\r\n", "S", "k", "<def>"},
    {"SectionEndsAtTheNextHeader", "[S]\r\na=1\r\n[T]\r\nb=2\r\n", "S", "b", "<def>"},
    {"KeyAfterTheNextHeaderIsItsOwn", "[S]\r\na=1\r\n[T]\r\nb=2\r\n", "T", "b", "2"},
    {"BracketInsideSectionName", "[a]b]\r\nk=v\r\n", "a]b", "k", "v"},
    {"BracketInsideNameIsNotItsEnd", "[a]b]\r\nk=v\r\n", "a", "k", "<def>"},
    {"UnclosedBracketLineIsNoHeader", "[S]\r\n[broken\r\nk=v\r\n", "S", "k", "v"},
    {"Cp1252HighLettersIgnoreCase", "[\x8A\x8C\x8E\x9F]\r\nk=v\r\n",
     "\xC5\xA1\xC5\x93\xC5\xBE\xC3\xBF", "K", "v"},  // "ŠŒŽŸ" found as "šœžÿ"
    {"TimesAndDivideAreNoLetters", "[\xD7]\r\nk=v\r\n", "\xC3\xB7", "k", "<def>"},  // × is not ÷
    {"SharpSIsNotYDiaeresis", "[\xDF]\r\nk=v\r\n", "\xC3\xBF", "k", "<def>"},  // ß is not ÿ
    {"NulBytesAreData", "[S]\r\nk=a\0b\r\n"s, "S", "k", "a\0b"s},
    {"Cp1252ValueToUtf8", "[S]\r\nk=caf\xE9 \x80\x99\r\n", "S", "k", "caf\xC3\xA9 \xE2\x82\xAC\xE2\x84\xA2"},
};

class IniFileRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(IniFileRead, WindowsProfileBehaviour)
{
    TempDir dir;
    const std::string file = dir.File("case.ini");
    WriteAll(file, GetParam().content);
    TIniFile ini(file);
    EXPECT_EQ(ini.ReadString(GetParam().section, GetParam().ident, "<def>"), GetParam().expected);
    EXPECT_EQ(ini.ValueExists(GetParam().section, GetParam().ident),
              GetParam().expected != "<def>");
}

INSTANTIATE_TEST_SUITE_P(Table, IniFileRead, ::testing::ValuesIn(kReadCases),
                         [](const auto& p) { return std::string(p.param.name); });

// ------------------------------------------------------------ integer table

struct IntCase {
    const char* name;
    const char* line;                // the key line in [S], or nullptr for no key at all
    std::optional<int32_t> expected;  // nullopt: the caller's default
};

const IntCase kIntCases[] = {
    {"Plain", "n=42", 42},
    {"Zero", "n=0", 0},
    {"Negative", "n=-7", -7},
    {"LeadingZeros", "n=007", 7},
    {"BlanksAround", "n= \t 12  ", 12},
    {"Quoted", "n=\"5\"", 5},
    {"Max", "n=2147483647", INT32_MAX},
    {"Min", "n=-2147483648", INT32_MIN},
    {"Hex", "n=0x1F", 31},
    {"HexCapitalX", "n=0XfF", 255},
    {"HexLeadingZeros", "n=0x00000000ff", 255},
    {"HexTopBitIsNegative", "n=0x80000000", INT32_MIN},
    {"HexAllOnesIsMinusOne", "n=0xFFFFFFFF", -1},
    {"TrailingLetters", "n=42A", std::nullopt},
    {"NotANumber", "n=abc", std::nullopt},
    {"Empty", "n=", std::nullopt},
    {"OnlyBlanks", "n=   ", std::nullopt},
    {"Missing", nullptr, std::nullopt},
    {"NoValue", "n", std::nullopt},
    {"Plus", "n=+3", std::nullopt},
    {"SignOnly", "n=-", std::nullopt},
    {"BlankAfterSign", "n=- 5", std::nullopt},
    {"InnerBlank", "n=1 2", std::nullopt},
    {"Decimals", "n=3.9", std::nullopt},
    {"PrefixOnly", "n=0x", std::nullopt},
    {"BadHexDigit", "n=0x1G", std::nullopt},
    {"NegativeHex", "n=-0x10", std::nullopt},
    {"PastMax", "n=2147483648", std::nullopt},
    {"PastMin", "n=-2147483649", std::nullopt},
    {"AllOnesDecimal", "n=4294967295", std::nullopt},
    {"TwoTo32", "n=4294967296", std::nullopt},
    {"HexTwoTo32", "n=0x100000000", std::nullopt},
    {"ManyDigits", "n=123456789012345678901234567890", std::nullopt},
};

class IniFileInteger : public ::testing::TestWithParam<IntCase> {};

TEST_P(IniFileInteger, WholeNumberOrTheDefault)
{
    TempDir dir;
    const std::string file = dir.File("int.ini");
    std::string content = "[S]\r\n";
    if (GetParam().line)
        content += std::string(GetParam().line) + "\r\n";
    WriteAll(file, content);
    TIniFile ini(file);
    const std::optional<int32_t> expected = GetParam().expected;
    EXPECT_EQ(ini.ReadInteger("S", "n", 555), expected.value_or(555));
    // A boolean is the integer != 0, and the default when there is none.
    EXPECT_EQ(ini.ReadBool("S", "n", false), expected.value_or(0) != 0);
    EXPECT_EQ(ini.ReadBool("S", "n", true), expected.value_or(1) != 0);
    // The configuration files use the same rule on the raw value.
    const char* eq = GetParam().line ? std::strchr(GetParam().line, '=') : nullptr;
    if (eq && !std::strchr(eq, '"')) {
        EXPECT_EQ(platform::ParseIniInteger(eq + 1), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, IniFileInteger, ::testing::ValuesIn(kIntCases),
                         [](const auto& p) { return std::string(p.param.name); });

// ------------------------------------------------------------ the rest

class IniFile : public ::testing::Test {
protected:
    TempDir dir_;
    std::string file_ = dir_.File("config.kvt");
};

const std::string kOriginal =
    "; written on a Windows PC\r\n"
    "[Config]\r\n"
    "  Alpha = 1 ; old\r\n"
    "Unknown=keep me\r\n"
    "\r\n"
    "; about Other\r\n"
    "[Other]\r\n"
    "x=y\r\n";

}  // namespace

TEST_F(IniFile, MissingFileReadsEmptyAndConstructionNeverThrows)
{
    TIniFile ini(file_);
    EXPECT_EQ(ini.FileName(), file_);
    EXPECT_EQ(ini.ReadString("Config", "A", "d"), "d");
    EXPECT_EQ(ini.ReadInteger("Config", "A", -3), -3);
    EXPECT_TRUE(ini.ReadBool("Config", "A", true));
    EXPECT_FALSE(ini.SectionExists("Config"));
    EXPECT_NO_THROW(TIniFile(dir_.File("no/such/folder/x.ini")));
    EXPECT_NO_THROW(TIniFile(dir_.Path()));  // a folder
    EXPECT_FALSE(fs::exists(file_));
}

TEST_F(IniFile, UpdateKeepsEveryOtherLineByteForByte)
{
    WriteAll(file_, kOriginal);
    TIniFile ini(file_);
    ini.WriteString("config", "ALPHA", "2");
    EXPECT_EQ(ReadAll(file_),
              "; written on a Windows PC\r\n"
              "[Config]\r\n"
              "Alpha=2\r\n"  // the key keeps its spelling; no blanks around '='
              "Unknown=keep me\r\n"
              "\r\n"
              "; about Other\r\n"
              "[Other]\r\n"
              "x=y\r\n");
    EXPECT_EQ(ini.ReadString("Config", "Alpha", ""), "2");
}

TEST_F(IniFile, NewKeyGoesAfterTheLastKeyOfItsSection)
{
    WriteAll(file_, kOriginal);
    TIniFile ini(file_);
    ini.WriteInteger("Config", "Beta", -5);
    EXPECT_EQ(ReadAll(file_),
              "; written on a Windows PC\r\n"
              "[Config]\r\n"
              "  Alpha = 1 ; old\r\n"
              "Unknown=keep me\r\n"
              "Beta=-5\r\n"
              "\r\n"
              "; about Other\r\n"
              "[Other]\r\n"
              "x=y\r\n");
    ini.WriteBool("Other", "Flag", true);
    ini.WriteBool("Other", "Off", false);
    EXPECT_EQ(ReadAll(file_).substr(ReadAll(file_).find("[Other]")),
              "[Other]\r\nx=y\r\nFlag=1\r\nOff=0\r\n");
    EXPECT_EQ(ini.ReadInteger("Config", "Beta", 0), -5);
    EXPECT_TRUE(ini.ReadBool("Other", "Flag", false));
    EXPECT_FALSE(ini.ReadBool("Other", "Off", true));
}

TEST_F(IniFile, NewKeyInASectionWithoutKeysFollowsItsHeader)
{
    WriteAll(file_, "[Empty]\r\n; only a comment\r\n\r\n[Next]\r\n");
    TIniFile ini(file_);
    ini.WriteString("Empty", "k", "v");
    EXPECT_EQ(ReadAll(file_), "[Empty]\r\nk=v\r\n; only a comment\r\n\r\n[Next]\r\n");
}

TEST_F(IniFile, NewSectionGoesAtTheEndOfTheFile)
{
    WriteAll(file_, kOriginal);
    TIniFile ini(file_);
    ini.WriteString("New", "Key", "value");
    EXPECT_EQ(ReadAll(file_), kOriginal + "\r\n[New]\r\nKey=value\r\n");
    EXPECT_TRUE(ini.SectionExists("NEW"));
}

TEST_F(IniFile, NewFileIsCreated)
{
    TIniFile ini(file_);
    ini.WriteString("Config", "Tx Status 1", "0");
    ini.WriteInteger("Config", "Time Zone", -5);
    EXPECT_EQ(ReadAll(file_), "[Config]\r\nTx Status 1=0\r\nTime Zone=-5\r\n");
}

TEST_F(IniFile, LfFileKeepsItsLinesAndGetsCrLfForWrittenOnes)
{
    WriteAll(file_, "[S]\nk=1\nj=2");  // LF, no line end at the end
    TIniFile ini(file_);
    ini.WriteString("S", "n", "3");
    EXPECT_EQ(ReadAll(file_), "[S]\nk=1\nj=2\r\nn=3\r\n");
    ini.WriteString("S", "k", "9");
    EXPECT_EQ(ReadAll(file_), "[S]\nk=9\r\nj=2\r\nn=3\r\n");

    WriteAll(file_, "[S]\rk=1");
    TIniFile cr(file_);
    cr.WriteString("T", "a", "b");
    EXPECT_EQ(ReadAll(file_), "[S]\rk=1\r\n\r\n[T]\r\na=b\r\n");
}

TEST_F(IniFile, FirstDuplicateIsTheOneUpdated)
{
    const std::string dup = "[S]\r\nk=1\r\nk=2\r\n[s]\r\nk=3\r\nj=4\r\n";
    WriteAll(file_, dup);
    TIniFile ini(file_);
    ini.WriteString("S", "K", "9");
    EXPECT_EQ(ReadAll(file_), "[S]\r\nk=9\r\nk=2\r\n[s]\r\nk=3\r\nj=4\r\n");
    // A key only in the later duplicate section is new to the first.
    ini.WriteString("s", "j", "5");
    EXPECT_EQ(ReadAll(file_), "[S]\r\nk=9\r\nk=2\r\nj=5\r\n[s]\r\nk=3\r\nj=4\r\n");
    ini.DeleteKey("S", "k");
    EXPECT_EQ(ReadAll(file_), "[S]\r\nk=2\r\nj=5\r\n[s]\r\nk=3\r\nj=4\r\n");
    EXPECT_EQ(ini.ReadString("S", "k", ""), "2");
    ini.EraseSection("s");
    EXPECT_EQ(ReadAll(file_), "[s]\r\nk=3\r\nj=4\r\n");
    EXPECT_EQ(ini.ReadString("S", "k", ""), "3");
}

TEST_F(IniFile, KeyWithoutValueGetsItsValueInPlace)
{
    WriteAll(file_, "[S]\r\n  flag  \r\nother=1\r\n");
    TIniFile ini(file_);
    std::vector<std::string> keys;
    ini.ReadSection("S", keys);
    EXPECT_EQ(keys, std::vector<std::string>{"other"});  // as Windows lists them
    ini.WriteBool("S", "FLAG", true);
    EXPECT_EQ(ReadAll(file_), "[S]\r\nflag=1\r\nother=1\r\n");
    EXPECT_TRUE(ini.ReadBool("S", "flag", false));
}

TEST_F(IniFile, WritingTheSameValueLeavesTheLineAlone)
{
    const std::string content = "[S]\r\n  k  =  v  \r\n";
    WriteAll(file_, content);
    TIniFile ini(file_);
    ini.WriteString("S", "k", "v");
    EXPECT_EQ(ReadAll(file_), content);
}

TEST_F(IniFile, DeleteKeyAndEraseSectionExactBytes)
{
    WriteAll(file_, kOriginal);
    TIniFile ini(file_);
    ini.DeleteKey("CONFIG", "alpha");
    EXPECT_EQ(ReadAll(file_),
              "; written on a Windows PC\r\n"
              "[Config]\r\n"
              "Unknown=keep me\r\n"
              "\r\n"
              "; about Other\r\n"
              "[Other]\r\n"
              "x=y\r\n");
    EXPECT_FALSE(ini.ValueExists("Config", "Alpha"));
    const std::string before = ReadAll(file_);
    ini.DeleteKey("Config", "Missing");  // nothing to do: file untouched
    ini.DeleteKey("Missing", "x");
    ini.EraseSection("Missing");
    EXPECT_EQ(ReadAll(file_), before);
    // Erasing takes the section's lines up to the next section.
    ini.EraseSection("config");
    EXPECT_EQ(ReadAll(file_), "; written on a Windows PC\r\n[Other]\r\nx=y\r\n");
    EXPECT_FALSE(ini.SectionExists("Config"));
    ini.EraseSection("Other");
    EXPECT_EQ(ReadAll(file_), "; written on a Windows PC\r\n");
    // Deleting from a missing file creates nothing.
    TIniFile none(dir_.File("none.ini"));
    none.DeleteKey("S", "k");
    none.EraseSection("S");
    EXPECT_FALSE(fs::exists(dir_.File("none.ini")));
}

TEST_F(IniFile, SectionListsAndExistence)
{
    WriteAll(file_, "top=0\r\n[A]\r\nb=1\r\n;c=2\r\nnovalue\r\nB=3\r\nd=\r\n[Empty]\r\n[a]\r\ne=5\r\n");
    TIniFile ini(file_);
    std::vector<std::string> list = {"stale"};
    ini.ReadSections(list);
    EXPECT_EQ(list, (std::vector<std::string>{"A", "Empty", "a"}));
    ini.ReadSection("a", list);
    EXPECT_EQ(list, (std::vector<std::string>{"b", "B", "d"}));
    ini.ReadSection("Missing", list);
    EXPECT_TRUE(list.empty());
    EXPECT_TRUE(ini.SectionExists("empty"));
    EXPECT_FALSE(ini.SectionExists("top"));
    EXPECT_TRUE(ini.ValueExists("A", "d"));
    EXPECT_FALSE(ini.ValueExists("A", "e"));  // only in the later duplicate
    EXPECT_FALSE(ini.ValueExists("A", "novalue"));
}

TEST_F(IniFile, ReadsSeeOwnWritesAndTwoObjectsDoNotClobber)
{
    WriteAll(file_, "[S]\r\nk=old\r\n");
    TIniFile a(file_), b(file_);
    a.WriteString("S", "a", "from a");
    b.WriteString("S", "b", "from b");  // b starts from the file as a left it
    EXPECT_EQ(ReadAll(file_), "[S]\r\nk=old\r\na=from a\r\nb=from b\r\n");
    EXPECT_EQ(b.ReadString("S", "a", ""), "from a");
    EXPECT_EQ(a.ReadString("S", "a", ""), "from a");
    // A change made behind an object's back is seen only after it writes.
    WriteAll(file_, "[S]\r\nk=changed\r\n");
    EXPECT_EQ(a.ReadString("S", "k", ""), "old");
    TIniFile c(file_);
    EXPECT_EQ(c.ReadString("S", "k", ""), "changed");
}

TEST_F(IniFile, Cp1252BothWays)
{
    TIniFile ini(file_);
    // UTF-8 in, cp1252 in the file; characters outside cp1252 become '?'.
    ini.WriteString("Sektion \xC3\x84", "Gr\xC3\xBC\xC3\x9F" "e", "\xE2\x82\xAC" "5 \xC2\xA3 \xCE\xA9 \xE2\x80\x9Cq\xE2\x80\x9D");
    EXPECT_EQ(ReadAll(file_), "[Sektion \xC4]\r\nGr\xFC\xDF" "e=\x80" "5 \xA3 ? \x93q\x94\r\n");
    EXPECT_EQ(ini.ReadString("sektion \xC3\xA4", "GR\xC3\x9C\xC3\x9F" "E", ""),
              "\xE2\x82\xAC" "5 \xC2\xA3 ? \xE2\x80\x9Cq\xE2\x80\x9D");
    // Invalid UTF-8 is written as '?'.
    ini.WriteString("S", "bad", "a\xFF" "b");
    EXPECT_NE(ReadAll(file_).find("bad=a?b\r\n"), std::string::npos);
}

TEST_F(IniFile, EveryByteRoundTrips)
{
    std::string value = "<";
    for (int b = 1; b < 256; ++b)
        if (b != '\r' && b != '\n')
            value += static_cast<char>(b);
    value += ">";
    const std::string content = "[S]\r\nk=" + value + "\r\n";
    WriteAll(file_, content);
    std::string utf8;
    {
        TIniFile ini(file_);
        utf8 = ini.ReadString("S", "k", "");
        // The five bytes cp1252 leaves undefined read as C1 controls.
        EXPECT_NE(utf8.find("\xC2\x81"), std::string::npos);
        EXPECT_NE(utf8.find("\xC2\x8D\xC5\xBD\xC2\x8F\xC2\x90"), std::string::npos);
        EXPECT_NE(utf8.find("\xC2\x9D"), std::string::npos);
        EXPECT_NE(utf8.find("\xC3\xBF>"), std::string::npos);  // ÿ
    }
    WriteAll(file_, "[S]\r\n");
    TIniFile ini(file_);
    ini.WriteString("S", "k", utf8);
    EXPECT_EQ(ReadAll(file_), content);
}

// ------------------------------------------------------------ Unicode files

namespace {

enum class Mark { Utf8, Utf16LE, Utf16BE };
enum class Written { ExistingKey, NewKey, NewSection };

// UTF-8 text as a file in that encoding, with its byte-order mark (by Qt's
// own conversion, not the one under test).
std::string InFile(Mark mark, const std::string& utf8)
{
    if (mark == Mark::Utf8)
        return "\xEF\xBB\xBF" + utf8;
    const std::u16string units = u'\uFEFF' + QString::fromUtf8(utf8).toStdU16String();
    std::string bytes;
    for (const char16_t u : units) {
        const char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
        bytes += mark == Mark::Utf16LE ? std::string{lo, hi} : std::string{hi, lo};
    }
    return bytes;
}

const std::pair<const char*, const char*> kScripts[] = {
    {"Latin", "\xC5\x81\xC3\xB3" "d\xC5\xBA \xC3\xA9t\xC3\xA9"},             // Łódź été
    {"ArrowAndHan", "\xE2\x86\x92 \xE4\xB8\xAD\xE6\x96\x87"},                  // → 中文
    {"Cyrillic", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},          // Привет
    {"BeyondTheBmp", "\xF0\x9F\x98\x80 \xF0\x9D\x84\x9E"},                      // 😀 𝄞
};

class IniFileUnicode : public ::testing::TestWithParam<std::tuple<Mark, size_t, Written>> {};

std::string UnicodeCaseName(const ::testing::TestParamInfo<IniFileUnicode::ParamType>& info)
{
    static const char* const marks[] = {"Utf8", "Utf16LE", "Utf16BE"};
    static const char* const writes[] = {"ExistingKey", "NewKey", "NewSection"};
    return std::string(marks[int(std::get<0>(info.param))]) + "_" + kScripts[std::get<1>(info.param)].first + "_" +
           writes[int(std::get<2>(info.param))];
}

}  // namespace

TEST_P(IniFileUnicode, KeepsEveryLineItDoesNotWriteAndWritesTheRestWhole)
{
    const auto [mark, script, written] = GetParam();
    const std::string text = kScripts[script].second;
    const std::string head = "[Config]\r\nAPN=x\r\n", rest = "; comment " + text + "\r\n[Other]\r\nname=" + text + "\r\n";
    TempDir dir;
    const std::string file = dir.File("unicode.kvt");
    WriteAll(file, InFile(mark, head + rest));
    TIniFile ini(file);
    EXPECT_EQ(ini.ReadString("other", "NAME", ""), text);
    std::string section = "Config", key = "APN", expected;
    switch (written) {
    case Written::ExistingKey:
        expected = "[Config]\r\nAPN=new " + text + "\r\n" + rest;
        break;
    case Written::NewKey:
        key = "Key " + text;
        expected = head + key + "=new " + text + "\r\n" + rest;
        break;
    case Written::NewSection:
        section = "Section " + text;
        key = "k";
        expected = head + rest + "\r\n[" + section + "]\r\nk=new " + text + "\r\n";
        break;
    }
    ini.WriteString(section, key, "new " + text);
    EXPECT_EQ(ReadAll(file), InFile(mark, expected));
    TIniFile again(file);
    EXPECT_EQ(again.ReadString(section, key, ""), "new " + text);
    EXPECT_EQ(again.ReadString("Other", "name", ""), text);
}

INSTANTIATE_TEST_SUITE_P(Table, IniFileUnicode,
                         ::testing::Combine(::testing::Values(Mark::Utf8, Mark::Utf16LE, Mark::Utf16BE),
                                            ::testing::Range(size_t(0), std::size(kScripts)),
                                            ::testing::Values(Written::ExistingKey, Written::NewKey,
                                                              Written::NewSection)),
                         UnicodeCaseName);

TEST_F(IniFile, AUnicodeFileKeepsBytesItCannotHoldAndMatchesNamesAsCp1252Does)
{
    // A cp1252 byte in a UTF-8 file (an ANSI editor's hand edit) reads as
    // its character; writing that value back leaves the line alone.
    const std::string utf8 = "\xEF\xBB\xBF[S]\r\nk=caf\xE9\r\nkeep=caf\xE9\r\n";
    WriteAll(file_, utf8);
    TIniFile ini(file_);
    EXPECT_EQ(ini.ReadString("S", "k", ""), "caf\xC3\xA9");
    ini.WriteString("S", "k", "caf\xC3\xA9");
    EXPECT_EQ(ReadAll(file_), utf8);
    ini.WriteString("S", "k", "new \xFF");  // invalid UTF-8 of the program's
    EXPECT_EQ(ReadAll(file_), "\xEF\xBB\xBF[S]\r\nk=new ?\r\nkeep=caf\xE9\r\n");

    // A lone surrogate and an odd last byte of a UTF-16 file.
    const std::string utf16("\xFF\xFE[\0S\0]\0\r\0\n\0a\0=\0\x00\xD8\r\0\n\0!", 23);
    WriteAll(file_, utf16);
    TIniFile wide(file_);
    EXPECT_EQ(wide.ReadString("S", "a", ""), "\xEF\xBF\xBD");
    wide.WriteString("S", "b", "2");
    EXPECT_EQ(ReadAll(file_), utf16.substr(0, 22) + std::string("b\0=\0" "2\0\r\0\n\0!", 11));

    // Names of any encoding ignore the case of cp1252 letters.
    WriteAll(file_, "\xEF\xBB\xBF[\xC3\x89T\xC3\x89 \xC5\xA0]\r\n\xC3\x84pfel=ja\r\n");
    EXPECT_EQ(TIniFile(file_).ReadString("\xC3\xA9t\xC3\xA9 \xC5\xA1", "\xC3\xA4PFEL", ""), "ja");
}

TEST_F(IniFile, InvalidNamesAndValuesRaise)
{
    TIniFile ini(file_);
    EXPECT_THROW(ini.WriteString("S", "a=b", "v"), EIniFileException);
    EXPECT_THROW(ini.WriteString("S", "", "v"), EIniFileException);
    EXPECT_THROW(ini.WriteString("S", ";c", "v"), EIniFileException);
    EXPECT_THROW(ini.WriteString("S", "[x]", "v"), EIniFileException);
    EXPECT_THROW(ini.WriteString("", "k", "v"), EIniFileException);
    EXPECT_THROW(ini.WriteString("S\r\n[T]", "k", "v"), EIniFileException);
    EXPECT_THROW(ini.WriteString("S", "k", "line\r\nbreak"), EIniFileException);
    EXPECT_THROW(ini.WriteString("S", "k", "nul\0"s), EIniFileException);
    EXPECT_FALSE(fs::exists(file_));
    // Values that are written but, as on Windows, read back changed.
    ini.WriteString("S", "k", "  'quoted'  ");
    EXPECT_EQ(ReadAll(file_), "[S]\r\nk=  'quoted'  \r\n");
    EXPECT_EQ(ini.ReadString("S", "k", ""), "quoted");
}

TEST_F(IniFile, WriteFailuresRaiseWithFileNameAndSystemError)
{
    const std::string noFolder = dir_.File("missing-folder/config.kvt");
    TIniFile a(noFolder);
    try {
        a.WriteString("Config", "k", "v");
        FAIL() << "no exception";
    } catch (const EIniFileException& e) {
        EXPECT_NE(std::string(e.what()).find(noFolder), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos)
            << e.what();
    }

    const std::string plainFile = dir_.File("plain");
    WriteAll(plainFile, "x");
    TIniFile b(plainFile + "/config.kvt");
    try {
        b.WriteInteger("Config", "k", 1);
        FAIL() << "no exception";
    } catch (const EIniFileException& e) {
        EXPECT_NE(std::string(e.what()).find("Not a directory"), std::string::npos) << e.what();
    }
    EXPECT_THROW(b.DeleteKey("Config", "k"), EIniFileException);  // cannot be read either

    // A read-only file is refused (also for root) and stays as it was.
    WriteAll(file_, "[Config]\r\nk=1\r\n");
    ASSERT_EQ(::chmod(file_.c_str(), 0444), 0);
    TIniFile c(file_);
    try {
        c.WriteString("Config", "k", "2");
        FAIL() << "no exception";
    } catch (const EIniFileException& e) {
        EXPECT_NE(std::string(e.what()).find("read-only"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadAll(file_), "[Config]\r\nk=1\r\n");
    // The exception is the program's Exception and a std::runtime_error.
    EXPECT_THROW(c.WriteString("Config", "k", "3"), Exception);
    EXPECT_THROW(c.WriteString("Config", "k", "3"), std::runtime_error);

    // A folder in the file's place.
    const std::string folder = dir_.File("folder.kvt");
    fs::create_directory(folder);
    TIniFile d(folder);
    EXPECT_THROW(d.WriteString("S", "k", "v"), EIniFileException);
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(FilesIn(dir_.Path()),
              (std::vector<std::string>{"config.kvt", "folder.kvt", "plain"}));  // no temp files
}

TEST_F(IniFile, AtomicRewriteKeepsPermissionsAndLinks)
{
    WriteAll(file_, "[S]\r\nk=1\r\n");
    ASSERT_EQ(::chmod(file_.c_str(), 0640), 0);
    TIniFile ini(file_);
    for (int i = 0; i < 5; ++i)
        ini.WriteInteger("S", "k", i);
    struct stat st {};
    ASSERT_EQ(::stat(file_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(FilesIn(dir_.Path()), std::vector<std::string>{"config.kvt"});

    const std::string link = dir_.File("link.kvt");
    fs::create_symlink(file_, link);
    TIniFile viaLink(link);
    viaLink.WriteString("S", "k", "through the link");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadAll(file_), "[S]\r\nk=through the link\r\n");
}

TEST_F(IniFile, NonTextContentDoesNotCrash)
{
    std::string junk = "[S]\r\nk=v\r\n";
    for (int i = 0; i < 100000; ++i)
        junk += static_cast<char>((i * 131) % 256);
    junk += "\r\n" + std::string(2000000, 'x') + "=" + std::string(1000, '\0') + "\r\n";
    WriteAll(file_, junk);
    TIniFile ini(file_);
    EXPECT_EQ(ini.ReadString("S", "k", ""), "v");
    std::vector<std::string> keys;
    ini.ReadSection("S", keys);
    ini.ReadSections(keys);
    (void)ini.ReadInteger("S", std::string(2000000, 'x'), 0);
    ini.WriteString("Appended", "k", "v");
    const std::string after = ReadAll(file_);
    EXPECT_EQ(after.substr(0, junk.size()), junk);  // everything kept
    EXPECT_EQ(after.substr(junk.size()), "\r\n[Appended]\r\nk=v\r\n");
}

TEST_F(IniFile, BatchOfWritesReplacesTheFileOnce)
{
    WriteAll(file_, kOriginal);
    TIniFile ini(file_);
    EXPECT_EQ(ini.ReadError(), 0);
    ini.BeginUpdate();
    ini.WriteString("Config", "Alpha", "2");
    ini.WriteInteger("Config", "Beta", -5);
    ini.DeleteKey("Other", "x");
    // Nothing reaches the disk before UpdateFile; reads see the batch.
    EXPECT_EQ(ReadAll(file_), kOriginal);
    EXPECT_EQ(ini.ReadInteger("Config", "beta", 0), -5);
    ini.UpdateFile();
    EXPECT_EQ(ReadAll(file_),
              "; written on a Windows PC\r\n[Config]\r\nAlpha=2\r\nUnknown=keep me\r\nBeta=-5\r\n\r\n"
              "; about Other\r\n[Other]\r\n");
    EXPECT_EQ(FilesIn(dir_.Path()), std::vector<std::string>{"config.kvt"});
    ini.UpdateFile();  // no batch open: nothing to do
    // After the batch each change goes to disk again at once.
    ini.WriteString("Config", "Alpha", "3");
    EXPECT_NE(ReadAll(file_).find("Alpha=3\r\n"), std::string::npos);

    // A new key after deleting a section's last key, or its only one, goes
    // after the keys that remain, before the lines that follow them.
    WriteAll(file_, "[A]\r\na=1\r\nb=2\r\n; about B\r\n[B]\r\nonly=1\r\n\r\n; end\r\n");
    ini.BeginUpdate();
    ini.DeleteKey("A", "b");
    ini.WriteString("A", "c", "3");
    ini.DeleteKey("B", "only");
    ini.WriteString("B", "new", "4");
    ini.UpdateFile();
    EXPECT_EQ(ReadAll(file_), "[A]\r\na=1\r\nc=3\r\n; about B\r\n[B]\r\nnew=4\r\n\r\n; end\r\n");
}

TEST_F(IniFile, BatchStartsFromTheFileAsItIsThen)
{
    TIniFile ini(file_);
    EXPECT_EQ(ini.ReadError(), ENOENT);
    WriteAll(file_, "[Config]\r\nlater=1\r\n");
    ini.BeginUpdate();
    ini.WriteString("Config", "k", "v");
    ini.UpdateFile();
    EXPECT_EQ(ReadAll(file_), "[Config]\r\nlater=1\r\nk=v\r\n");

    // A batch that changes nothing leaves the file (and a missing file) alone.
    TIniFile same(file_);
    same.BeginUpdate();
    same.WriteString("Config", "k", "v");
    const auto before = fs::last_write_time(file_);
    same.UpdateFile();
    EXPECT_EQ(fs::last_write_time(file_), before);
    TIniFile none(dir_.File("none.kvt"));
    none.BeginUpdate();
    none.DeleteKey("Config", "k");
    none.UpdateFile();
    EXPECT_FALSE(fs::exists(dir_.File("none.kvt")));

    // An object dropped before UpdateFile writes nothing.
    {
        TIniFile dropped(file_);
        dropped.BeginUpdate();
        dropped.WriteString("Config", "k", "lost");
    }
    EXPECT_EQ(ReadAll(file_), "[Config]\r\nlater=1\r\nk=v\r\n");
}

TEST_F(IniFile, BatchFailuresLeaveTheFileAsItWas)
{
    // A file that cannot be read cannot start a batch.
    TIniFile folder(dir_.Path());
    EXPECT_EQ(folder.ReadError(), EISDIR);
    EXPECT_THROW(folder.BeginUpdate(), EIniFileException);

    WriteAll(file_, "[Config]\r\nk=1\r\n");
    ASSERT_EQ(::chmod(file_.c_str(), 0444), 0);
    TIniFile ini(file_);
    ini.BeginUpdate();
    ini.WriteString("Config", "k", "2");
    ini.WriteString("Config", "j", "3");
    EXPECT_THROW(ini.UpdateFile(), EIniFileException);
    EXPECT_EQ(ReadAll(file_), "[Config]\r\nk=1\r\n");
    EXPECT_EQ(FilesIn(dir_.Path()), std::vector<std::string>{"config.kvt"});

    // An invalid value raises at its write, before anything is written.
    ASSERT_EQ(::chmod(file_.c_str(), 0644), 0);
    TIniFile bad(file_);
    bad.BeginUpdate();
    bad.WriteString("Config", "k", "2");
    EXPECT_THROW(bad.WriteString("Config", "j", "two\nlines"), EIniFileException);
    EXPECT_EQ(ReadAll(file_), "[Config]\r\nk=1\r\n");
}
