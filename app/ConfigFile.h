#pragma once
// The state of the main window kept in a store: the table of values (key,
// type, how the value is taken from its control and put back), the orders in
// which the configuration file and the registry settings write and read
// them, one walk for both stores, and the ".kvt" configuration files of the
// File menu. What the stores do differently is data of their orders.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TformMain;
class TIniFile;

// PhoneBook: "Phonebook " + n for each entry. Columns: "Col " + n for each
// column of the repeater database list.
enum class ConfigValueType { Integer, Boolean, Text, PhoneBook, Columns };

// A value in transit: `number` for integers and booleans (0 or 1), `text`
// for texts.
struct ConfigDatum {
    int32_t number = 0;
    std::string text;
};

struct ConfigValue {
    const char* key;  // for PhoneBook and Columns the prefix of their keys
    ConfigValueType type;
    // Taking the value from its control (whatever the control's visibility
    // or enabled state) and putting it back. Putting back runs the click
    // behaviour of the Every Day boxes, "Clear All" and "ECU Uses Serial"
    // when their state changes, and no other change handler; a text keeps
    // its whole length, a manual message too (its mask is widened to hold
    // it). PhoneBook and Columns entries have neither: the
    // walk handles them. A value that is never read back has no put.
    std::function<ConfigDatum(TformMain*)> get;
    std::function<void(TformMain*, const ConfigDatum&)> put;
    // A manual message: what was typed at the input positions of its mask.
    bool manualMessage = false;
};

// The values shared by both stores, in the order a configuration file is
// written; the telephone book is the one PhoneBook entry.
const std::vector<ConfigValue>& ConfigValues();
// The entry of `key` (exact spelling) among them; null when there is none.
const ConfigValue* FindConfigValue(std::string_view key);

// One step of a load: the key, in the order the values are read, and the
// value a missing or unreadable one takes; when `required`, a missing or
// unreadable value ends the load there instead.
struct ConfigLoadStep {
    const char* key;
    ConfigDatum def;
    bool required = false;
};
const std::vector<ConfigLoadStep>& ConfigFileLoadOrder();

// Where values are kept: the configuration file's section or a registry key.
class ConfigStore {
public:
    virtual ~ConfigStore() = default;
    virtual void WriteInteger(const std::string& key, int32_t value) = 0;
    virtual void WriteBool(const std::string& key, bool value) = 0;
    virtual void WriteText(const std::string& key, const std::string& value) = 0;
    virtual bool ValueExists(const std::string& key) = 0;
    virtual void DeleteValue(const std::string& key) = 0;
    // The text of a value that exists.
    virtual std::string ReadText(const std::string& key) = 0;
    // Missing or not a number: none. A store that keeps no numbers has none.
    virtual std::optional<int32_t> ReadInteger(const std::string&) { return std::nullopt; }
    // Manual messages kept as their hex digits alone (a configuration
    // file), not as typed, blanks in place (the registry settings).
    virtual bool MessagesAsDigits() const { return false; }
};

// The key of telephone book entry n: "Phonebook 0", "Phonebook 1", ...
std::string PhoneBookKey(uint32_t n);

// Writes every value of ConfigValues(), in order.
void SaveConfigValues(TformMain* form, ConfigStore& store);

// The values of `keys` (of ConfigValues() and the registry's own values,
// SettingsOnlyValues()) written in that order, and read back in the order of
// `steps`. The load returns false where a required value ended it.
void SaveStoredValues(TformMain* form, ConfigStore& store, const std::vector<const char*>& keys);
bool LoadStoredValues(TformMain* form, ConfigStore& store, const std::vector<ConfigLoadStep>& steps);
// The values only the registry settings hold.
const std::vector<ConfigValue>& SettingsOnlyValues();

// The section of a configuration file.
extern const char* const kConfigSection;

// The configuration file `ini` (already read) written with the window's
// values as one change: read afresh, changed in memory and replaced once,
// atomically. Raises EIniFileException, and the file stays as it was.
void SaveConfigFile(TformMain* form, TIniFile& ini);
// The values of the configuration file `ini` put back in the load order,
// missing and unreadable ones taking their defaults. Never fails on content.
void LoadConfigFile(TformMain* form, TIniFile& ini);

// The dialogs of the File menu's load and save items.
extern const char* const kConfigFileFilter;
extern const char* const kConfigFileExt;
extern const char* const kSaveConfigTitle;
