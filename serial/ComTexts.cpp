// The port list and the text forms of the settings.
#include "serial/ComTexts.h"
#include "serial/ComError.h"
#include "serial/PortInternal.h"

#include "platform/SerialPorts.h"

#include <algorithm>
#include <climits>
#include <cstdint>

std::string serial_detail::Upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return s;
}

namespace {

using serial_detail::Upper;

const char* const kBaudRateTexts[] = {"Custom", "110",   "300",   "600",   "1200",   "2400",   "4800",   "9600",
                                      "14400",  "19200", "38400", "56000", "57600", "115200", "128000", "256000"};
const char* const kStopBitsTexts[] = {"1", "1.5", "2"};
const char* const kDataBitsTexts[] = {"5", "6", "7", "8"};
const char* const kParityTexts[] = {"None", "Odd", "Even", "Mark", "Space"};
const char* const kFlowControlTexts[] = {"Hardware", "Software", "None", "Custom"};
const char* const kDTRTexts[] = {"Disable", "Enable", "Handshake"};
const char* const kRTSTexts[] = {"Disable", "Enable", "Handshake", "Toggle"};

template <class E, size_t N>
E FromText(const char* const (&table)[N], const std::string& text, E def)
{
    const std::string up = Upper(text);
    for (size_t i = 0; i < N; ++i)
        if (Upper(table[i]) == up)
            return E(i);
    return def;
}

template <size_t N>
std::string ToText(const char* const (&table)[N], unsigned index)
{
    return index < N ? table[index] : std::string();
}

} // namespace

void EnumComPorts(std::vector<std::string>& Ports)
{
    std::vector<std::string> found;
    int error = 0;
    if (!platform::ListSerialPorts(found, &error))
        throw EComPort(23, error);
    std::stable_sort(found.begin(), found.end(),
                     [](const std::string& a, const std::string& b) { return Upper(a) < Upper(b); });
    Ports = std::move(found);
}

std::string BaudRateToStr(TBaudRate v) { return ToText(kBaudRateTexts, v); }
std::string StopBitsToStr(TStopBits v) { return ToText(kStopBitsTexts, v); }
std::string DataBitsToStr(TDataBits v) { return ToText(kDataBitsTexts, v); }
std::string ParityToStr(TParityBits v) { return ToText(kParityTexts, v); }
std::string FlowControlToStr(TFlowControl v) { return ToText(kFlowControlTexts, v); }
std::string DTRToStr(TDTRFlowControl v) { return ToText(kDTRTexts, v); }
std::string RTSToStr(TRTSFlowControl v) { return ToText(kRTSTexts, v); }
TBaudRate StrToBaudRate(const std::string& s) { return FromText(kBaudRateTexts, s, br9600); }
TStopBits StrToStopBits(const std::string& s) { return FromText(kStopBitsTexts, s, sbOneStopBit); }
TDataBits StrToDataBits(const std::string& s) { return FromText(kDataBitsTexts, s, dbEight); }
TParityBits StrToParity(const std::string& s) { return FromText(kParityTexts, s, prNone); }
TFlowControl StrToFlowControl(const std::string& s) { return FromText(kFlowControlTexts, s, fcCustom); }
TDTRFlowControl StrToDTR(const std::string& s) { return FromText(kDTRTexts, s, dtrDisable); }
TRTSFlowControl StrToRTS(const std::string& s) { return FromText(kRTSTexts, s, rtsDisable); }

std::string BoolToYesNo(bool B) { return B ? "Yes" : "No"; }
bool YesNoToBool(const std::string& Str) { return Upper(Str) == "YES"; }

std::string CharToStr(char Ch)
{
    const unsigned char c = static_cast<unsigned char>(Ch);
    if (c >= 33 && c <= 127)
        return std::string(1, Ch);
    return "#" + std::to_string(c);
}

char StrToChar(const std::string& Str)
{
    if (Str.empty())
        return 0;
    if (Str.size() >= 2 && Str[0] == '#') {
        const std::string digits = Str.substr(1);
        // A valid number: optional sign, then decimal digits, within 32 bits.
        const bool negative = digits[0] == '-';
        size_t i = (negative || digits[0] == '+') ? 1 : 0;
        if (i == digits.size() || digits.find_first_not_of("0123456789", i) != std::string::npos)
            return 0;
        int64_t value = 0;
        for (; i < digits.size(); ++i) {
            value = value * 10 + (digits[i] - '0');
            if (value > int64_t(INT32_MAX) + 1)
                return 0;
        }
        if (negative)
            value = -value;
        if (value > INT32_MAX)
            return 0;
        return char(uint8_t(value & 0xFF));
    }
    return Str[0];
}

int32_t BaudRateValue(TBaudRate BaudRate)
{
    static const int32_t rates[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                    14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
    return BaudRate <= br256000 ? rates[BaudRate] : 0;
}
