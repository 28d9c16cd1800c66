#include "serial/PortEscapes.h"

#include <algorithm>
#include <limits>

namespace {

constexpr char kEsc = 27;

bool IsLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// A decimal integer with an optional sign, the whole text, within 32 bits.
bool ParseInt(const std::string& text, int32_t& value)
{
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        return false;
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        v = v * 10 + (text[i] - '0');
        if (v > int64_t(std::numeric_limits<int32_t>::max()) + 1)
            return false;
    }
    if (negative)
        v = -v;
    if (v > std::numeric_limits<int32_t>::max() || v < std::numeric_limits<int32_t>::min())
        return false;
    value = int32_t(v);
    return true;
}

// The character with code p + 31 (VT52 line and column), kept within a byte.
char Vt52Position(int32_t p)
{
    const int64_t code = std::clamp<int64_t>(int64_t(p) + 31, 0, 255);
    return char(uint8_t(code));
}

} // namespace

int32_t TEscapeCodes::GetParam(int Num, const TStrings* Params)
{
    if (!Params || Num < 1 || size_t(Num) > Params->size())
        return 1;
    int32_t value = 0;
    return ParseInt((*Params)[size_t(Num) - 1], value) ? value : 1;
}

TEscapeResult TEscapeCodes::Step(char Ch)
{
    if (!inSequence_) {
        if (Ch == kEsc) {
            data_.clear();
            inSequence_ = true;
            return erNothing;
        }
        Character = Ch;
        return erChar;
    }
    data_ += Ch;
    TEscapeCode code = Classify();
    if (code == ecNotCompleted) {
        if (data_.size() < kMaxSequence)
            return erNothing;
        code = ecUnknown;
    }
    Code = code;
    LeaveSequence();
    return erCode;
}

// ------------------------------------------------------------------ VT52

TEscapeCode TEscapeCodesVT52::DetectCode(const std::string& Str)
{
    if (Str.empty())
        return ecNotCompleted;
    switch (Str[0]) {
    case 'A': return ecCursorUp;
    case 'B': return ecCursorDown;
    case 'C': return ecCursorRight;
    case 'D': return ecCursorLeft;
    case 'H': return ecCursorHome;
    case 'I': return ecReverseLineFeed;
    case 'J': return ecEraseScreenFrom;
    case 'K': return ecEraseLineFrom;
    case 'Z': return ecIdentify;
    case 'Y':
        if (Str.size() < 3)
            return ecNotCompleted;
        // Line and column travel as single bytes offset by 31, taken unsigned.
        Params.clear();
        Params.push_back(std::to_string(int(uint8_t(Str[1])) - 31));
        Params.push_back(std::to_string(int(uint8_t(Str[2])) - 31));
        return ecCursorMove;
    case '/':
        if (Str.size() < 2)
            return ecNotCompleted;
        return Str[1] == 'Z' ? ecIdentResponse : ecUnknown;
    default: return ecUnknown;
    }
}

std::string TEscapeCodesVT52::EscCodeToStr(TEscapeCode ACode, const TStrings* AParams)
{
    const std::string esc(1, kEsc);
    switch (ACode) {
    case ecCursorUp: return esc + "A";
    case ecCursorDown: return esc + "B";
    case ecCursorLeft: return esc + "D";
    case ecCursorRight: return esc + "C";
    case ecCursorHome: return esc + "H";
    case ecCursorMove:
        return esc + "Y" + Vt52Position(GetParam(1, AParams)) + Vt52Position(GetParam(2, AParams));
    case ecReverseLineFeed: return esc + "I";
    case ecEraseLineFrom: return esc + "K";
    case ecEraseScreenFrom: return esc + "J";
    case ecIdentify: return esc + "Z";
    case ecIdentResponse: return esc + "/Z";
    default: return {};
    }
}

// ------------------------------------------------------------------ VT100

TEscapeCode TEscapeCodesVT100::Classify()
{
    if (inCSI_)
        return DetectExtCode(data_);
    if (data_ == "[") {
        inCSI_ = true;
        return ecNotCompleted;
    }
    return DetectCode(data_);
}

TEscapeCode TEscapeCodesVT100::DetectCode(const std::string& Str)
{
    if (Str.size() == 1) {
        switch (Str[0]) {
        case 'H': return ecSetTab;
        case '7': return ecSaveCaretAndAttr;
        case '8': return ecRestoreCaretAndAttr;
        case 'c': return ecReset;
        case '#':
        case 'O': return ecNotCompleted;
        default: return ecUnknown;
        }
    }
    if (Str == "#8")
        return ecTest;
    if (Str == "OA")
        return ecAppCursorUp;
    if (Str == "OB")
        return ecAppCursorDown;
    if (Str == "OC")
        return ecAppCursorRight;
    if (Str == "OD")
        return ecAppCursorLeft;
    return Str.empty() ? ecNotCompleted : ecUnknown;
}

TEscapeCode TEscapeCodesVT100::DetectExtCode(const std::string& Str)
{
    if (Str.size() < 2 || !IsLetter(Str.back()))
        return ecNotCompleted;

    // A ";" ends a parameter only after at least one character; one with
    // nothing before it belongs to the next parameter's text.
    Params.clear();
    std::string current;
    for (size_t i = 1; i + 1 < Str.size(); ++i) {
        const char c = Str[i];
        if (c == ';' && !current.empty()) {
            Params.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty())
        Params.push_back(current);

    const char first = Params.empty() ? '\0' : (Params[0].empty() ? '\0' : Params[0][0]);
    TEscapeCode code = ecUnknown;
    bool dropParams = false;
    switch (Str.back()) {
    case 'A': code = ecCursorUp; break;
    case 'B': code = ecCursorDown; break;
    case 'C': code = ecCursorRight; break;
    case 'D': code = ecCursorLeft; break;
    case 'H': code = ecCursorHome; break;
    case 'f': code = ecCursorMove; break;
    case 'J':
        code = (Params.empty() || first == '0') ? ecEraseScreenFrom : first == '2' ? ecEraseScreen : ecUnknown;
        dropParams = true;
        break;
    case 'K':
        code = (Params.empty() || first == '0') ? ecEraseLineFrom : first == '2' ? ecEraseLine : ecUnknown;
        dropParams = true;
        break;
    case 'g':
        code = (Params.empty() || first == '0') ? ecClearTab : first == '3' ? ecClearAllTabs : ecUnknown;
        dropParams = true;
        break;
    case 'n':
        code = Params.empty() ? ecUnknown
               : first == '0' ? ecReportDeviceOK
               : first == '3' ? ecReportDeviceFailure
               : first == '5' ? ecQueryDevice
               : first == '6' ? ecQueryCursorPos
                              : ecUnknown;
        dropParams = true;
        break;
    case 'c':
        if (Params.empty() || (Params.size() == 1 && Params[0] == "0"))
            code = ecIdentify;
        else if (Params.size() == 2 && Params[0] == "?1")
            code = ecIdentResponse;
        break;
    case 'R': code = ecReportCursorPos; break;
    case 'h': code = ecSetMode; break;
    case 'l': code = ecResetMode; break;
    case 'm': code = ecAttributes; break;
    case 's': code = ecSaveCaret; break;
    case 'u': code = ecRestoreCaret; break;
    default: break;
    }
    if (dropParams)
        Params.clear();
    return code;
}

std::string TEscapeCodesVT100::EscCodeToStr(TEscapeCode ACode, const TStrings* AParams)
{
    const std::string esc(1, kEsc);
    const std::string csi = esc + "[";
    auto p = [AParams](int n) { return std::to_string(GetParam(n, AParams)); };
    switch (ACode) {
    case ecCursorUp: return csi + "A";
    case ecCursorDown: return csi + "B";
    case ecCursorLeft: return csi + "D";
    case ecCursorRight: return csi + "C";
    case ecCursorHome: return csi + "H";
    case ecCursorMove: return csi + p(1) + ";" + p(2) + "f";
    case ecAppCursorLeft: return esc + "OD";
    case ecAppCursorRight: return esc + "OC";
    case ecAppCursorUp: return esc + "OA";
    case ecAppCursorDown: return esc + "OB";
    case ecEraseLineFrom: return csi + "K";
    case ecEraseScreenFrom: return csi + "J";
    case ecEraseLine: return csi + "2K";
    case ecEraseScreen: return csi + "2J";
    case ecSetTab: return esc + "H";
    case ecClearTab: return csi + "g";
    case ecClearAllTabs: return csi + "3g";
    case ecIdentify: return csi + "c";
    case ecIdentResponse: return csi + "?1;" + p(1) + "c";
    case ecQueryDevice: return csi + "5n";
    case ecReportDeviceOK: return csi + "0n";
    case ecReportDeviceFailure: return csi + "3n";
    case ecQueryCursorPos: return csi + "6n";
    case ecReportCursorPos: return csi + p(1) + ";" + p(2) + "R";
    case ecAttributes: return csi + "m";
    case ecSetMode: return csi + "h";
    case ecResetMode: return csi + "l";
    case ecReset: return esc + "c";
    case ecSaveCaretAndAttr: return esc + "7";
    case ecRestoreCaretAndAttr: return esc + "8";
    case ecSaveCaret: return csi + "s";
    case ecRestoreCaret: return csi + "u";
    case ecTest: return esc + "#8";
    default: return {};
    }
}
