#pragma once
// The state of the configuration controls kept in a store: the shared table
// of configuration values (key, type, how the value is taken from its control
// and put back), the telephone-book walks, and the ".kvt" configuration
// files of the File menu. The registry settings use the same table.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TformMain;
class TIniFile;

enum class ConfigValueType { Integer, Boolean, Text, PhoneBook };

// A value in transit: `number` for integers and booleans (0 or 1), `text`
// for texts.
struct ConfigDatum {
    int32_t number = 0;
    std::string text;
};

struct ConfigValue {
    const char* key;  // for PhoneBook the prefix of its keys, "Phonebook "
    ConfigValueType type;
    // Taking the value from its control (whatever the control's visibility
    // or enabled state) and putting it back. Putting back runs the click
    // behaviour of the Every Day boxes, "Clear All" and "ECU Uses Serial"
    // when their state changes, and no other change handler. PhoneBook
    // entries have neither: see WritePhoneBook and ReadPhoneBook.
    std::function<ConfigDatum(TformMain*)> get;
    std::function<void(TformMain*, const ConfigDatum&)> put;
};

// Every shared configuration value, in the order a configuration file is
// written; the telephone book is the one PhoneBook entry.
const std::vector<ConfigValue>& ConfigValues();
// The entry of `key` (exact spelling); null when there is none.
const ConfigValue* FindConfigValue(std::string_view key);

// One step of loading a configuration file: the key, in the order the
// values are read, and the value a missing or unreadable one takes.
struct ConfigLoadStep {
    const char* key;
    ConfigDatum def;
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
    // Only the telephone book reads through the store interface: its walk
    // is the same in both stores.
    virtual std::string ReadText(const std::string& key) = 0;
};

// Writes "Phonebook " + n for each entry of the book up to the first empty
// one, then deletes the keys an earlier, longer book left, up to the first
// index with no key.
void WritePhoneBook(TformMain* form, ConfigStore& store);
// Adds "Phonebook " + n for n = 0 up while that key exists. The book is not
// emptied first. A number that is empty or only blanks is skipped (a saved
// book would end at it and lose the numbers after it); the walk goes on.
void ReadPhoneBook(TformMain* form, ConfigStore& store);
// The key of telephone book entry n: "Phonebook 0", "Phonebook 1", ...
std::string PhoneBookKey(uint32_t n);

// Writes every value of ConfigValues(), in order.
void SaveConfigValues(TformMain* form, ConfigStore& store);

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
