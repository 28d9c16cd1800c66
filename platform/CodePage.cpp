#include "platform/CodePage.h"

#include <array>
#include <cstdint>

namespace platform {

namespace {

// Characters of the bytes 80..9F; the unassigned ones stand for themselves.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98..9F
};

std::optional<uint8_t> ByteOf(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return uint8_t(c);
    for (std::size_t i = 0; i < kHighControls.size(); ++i)
        if (kHighControls[i] == c)
            return uint8_t(0x80 + i);
    return std::nullopt;
}

} // namespace

std::optional<std::string> ToWindows1252(const QString& text)
{
    std::string bytes;
    bytes.reserve(std::size_t(text.size()));
    // A character beyond 16 bits is a surrogate pair here; neither half has a code.
    for (const QChar c : text) {
        const auto byte = ByteOf(c.unicode());
        if (!byte)
            return std::nullopt;
        bytes.push_back(char(*byte));
    }
    return bytes;
}

QString FromWindows1252(std::string_view bytes)
{
    QString text;
    text.reserve(qsizetype(bytes.size()));
    for (const char b : bytes) {
        const uint8_t byte = uint8_t(b);
        text.append(QChar(byte >= 0x80 && byte <= 0x9F ? kHighControls[byte - 0x80] : char16_t(byte)));
    }
    return text;
}

} // namespace platform
