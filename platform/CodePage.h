#pragma once
// The PC's 8-bit code page, Windows-1252: the text the repeaters store and
// the configuration files hold is one byte per character in it.
#include <QString>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The text one byte per character; empty when a character has no code in
// the code page (it is never replaced by another).
std::optional<std::string> ToWindows1252(const QString& text);

// Every byte is a character: the five bytes the code page leaves unassigned
// (81, 8D, 8F, 90, 9D) become the control characters of the same number, so
// that any byte string comes back unchanged through ToWindows1252.
QString FromWindows1252(std::string_view bytes);

} // namespace platform
