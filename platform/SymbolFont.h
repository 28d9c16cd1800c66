#pragma once
// The symbol-font characters the program shows (tick and cross marks, the
// alarm bell, password masks), as Unicode glyphs that an ordinary font draws.
// The stored texts keep the symbol-font character codes; only the drawing
// goes through here.
#include <QString>
#include <cstdint>

namespace platform {

constexpr uint8_t kSymbolTick = 0xFC;
constexpr uint8_t kSymbolCross = 0xFB;
constexpr uint8_t kSymbolBell = 0x25;  // '%'
constexpr uint8_t kSymbolSmiley = 0x4A; // 'J'
constexpr uint8_t kSymbolDot = 0x6C;   // 'l'

// The glyph drawn for a symbol-font character; a character without a glyph of
// its own is shown as the Latin-1 character of the same code.
QString SymbolGlyph(uint8_t symbolChar);

// The same for every character of a text stored in symbol-font codes.
QString SymbolText(const std::string& symbolText);

} // namespace platform
