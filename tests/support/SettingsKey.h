#pragma once
// The program's settings key in tests: the key that a first run saves (see
// startup-settings.reg) with a serial port of the caller's choice, and the
// values a key holds, for comparisons. Fixtures and the demo that choose the
// port store the key whole: the settings load stops at the first value it
// misses, and the port comes last.
#include <map>
#include <string>

// The product key the settings live under.
inline constexpr const char* kSettingsKey = "\\Software\\Drosen\\KVT Config Tool";

// The store file's text with `port` as the port's "Port".
std::string StartUpSettingsText(const std::string& port);
// Writes that text to `registryFile` and points the settings store at it.
void StoreStartUpSettings(const std::string& registryFile, const std::string& port);

// Every value of the product key ("" ) or of its subkey, by name:
// "dword:<decimal>" for integers, the text in quotes for texts. Empty when
// the key is missing.
using SettingsValues = std::map<std::string, std::string>;
SettingsValues ReadSettingsValues(const std::string& subkey = "");
