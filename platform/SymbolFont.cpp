#include "platform/SymbolFont.h"

#include <string>

namespace platform {

QString SymbolGlyph(uint8_t symbolChar)
{
    switch (symbolChar) {
    case kSymbolTick:
        return QString(QChar(char16_t(0x2714))); // heavy check mark
    case kSymbolCross:
        return QString(QChar(char16_t(0x2718))); // heavy ballot x
    case kSymbolBell:
        // The bell emoji is missing from the common desktop fonts; the warning
        // sign is in all of them and reads as an alarm just as well.
        return QString(QChar(char16_t(0x26A0)));
    case kSymbolSmiley:
        return QString(QChar(char16_t(0x263A)));
    case kSymbolDot:
        return QString(QChar(char16_t(0x25CF)));
    default:
        return QString(QChar(char16_t(symbolChar)));
    }
}

QString SymbolText(const std::string& symbolText)
{
    QString out;
    for (char c : symbolText)
        out += SymbolGlyph(uint8_t(c));
    return out;
}

} // namespace platform
