#include "app/Registry.h"

#include "app/ConfigFile.h"
#include "app/Main.h"
#include "platform/Registry.h"

#include <QAction>
#include <QRect>
#include <QTabWidget>

const char* const kProductRegistryPath = "HKEY_CURRENT_USER\\Software\\Drosen\\KVT Config Tool";

namespace {

const char* const kProductKey = "\\Software\\Drosen\\KVT Config Tool";

// Code of the port library's "Failed to load settings".
constexpr int32_t kPortLoadFailed = 17;

using T = ConfigValueType;

ConfigDatum Number(int32_t n) { return ConfigDatum{n, {}}; }

// A field of the window kept whole (the option words) or cut to its width
// when read back ("Wait" keeps 16 bits, "Patrol Time" 8).
template <typename Field>
ConfigValue Word(const char* key, Field TformMain::*field)
{
    return {key, T::Integer, [field](TformMain* f) { return Number(int32_t(f->*field)); },
            [field](TformMain* f, const ConfigDatum& d) { f->*field = Field(uint32_t(d.number)); }};
}

// One bound of the main window. The bounds are the client area's, saved and
// put back alike: a window manager's frame is not known before the window is
// first shown.
ConfigValue Bound(const char* key, int (QRect::*get)() const, void (QRect::*set)(int))
{
    return {key, T::Integer, [get](TformMain* f) { return Number((f->geometry().*get)()); },
            [set](TformMain* f, const ConfigDatum& d) {
                QRect bounds = f->geometry();
                (bounds.*set)(d.number);
                f->setGeometry(bounds);
            }};
}

ConfigValue Page(const char* key, QTabWidget* Ui_TformMain::*page)
{
    return {key, T::Integer, [page](TformMain* f) { return Number((f->*page)->currentIndex()); },
            [page](TformMain* f, const ConfigDatum& d) { (f->*page)->setCurrentIndex(d.number); }};
}

std::vector<ConfigValue> BuildSettingsOnlyValues()
{
    using F = TformMain;
    std::vector<ConfigValue> v;
    // Read by the window's create handler, not by the load.
    v.push_back({"Language", T::Integer, [](F* f) { return Number(int32_t(f->languageIndex)); }, nullptr});
    // True maximizes the window (after its bounds are set); false changes nothing.
    v.push_back({"Max", T::Boolean, [](F* f) { return Number(f->isMaximized() ? 1 : 0); },
                 [](F* f, const ConfigDatum& d) {
                     if (d.number)
                         f->setWindowState(f->windowState() | Qt::WindowMaximized);
                 }});
    v.push_back(Bound("Top", &QRect::top, &QRect::moveTop));
    v.push_back(Bound("Height", &QRect::height, &QRect::setHeight));
    v.push_back(Bound("Left", &QRect::left, &QRect::moveLeft));
    v.push_back(Bound("Width", &QRect::width, &QRect::setWidth));
    v.push_back(Word("Delay", &F::adminOptions));
    v.push_back(Word("Split", &F::distOptions));
    v.push_back(Word("RTFM", &F::infoFormFlags));
    v.push_back(Word("Wait", &F::linkTimeoutMs));
    // Read true, the hidden item's click runs (its handler does nothing).
    v.push_back({"Show Hints", T::Boolean, [](F* f) { return Number(f->menuShowHints->isChecked() ? 1 : 0); },
                 [](F* f, const ConfigDatum& d) {
                     if (d.number)
                         f->menuShowHints->trigger();
                 }});
    v.push_back(Page("Active Config Page", &F::pageKvt));
    v.push_back(Page("Active Main Page", &F::pageMain));
    v.push_back(Word("Patrol Time", &F::rfTestPatrolSeconds));
    v.push_back({"Col ", T::Columns, nullptr, nullptr});
    return v;
}

// The shared values from "Tx Status 1" to "SIM Number" in the file's order,
// less the three "Every Day" boxes, which each store places itself.
std::vector<const char*> SharedFromTxStatus(std::initializer_list<const char*> skipped)
{
    std::vector<const char*> keys;
    for (const ConfigValue& v : ConfigValues()) {
        if (v.type == T::PhoneBook)
            break;
        if (std::find_if(skipped.begin(), skipped.end(), [&](const char* k) { return std::string_view(k) == v.key; }) ==
            skipped.end())
            keys.push_back(v.key);
    }
    return keys;
}

const char* const kEveryDay[] = {"Patrol Daily", "Report Daily", "Daily Histogarm"};
const char* const kManualMessages[] = {"MME1", "MME2", "MME3", "MME4", "MME5", "MME6", "MME7", "MME8"};

const std::vector<const char*>& SaveOrder()
{
    static const std::vector<const char*> order = [] {
        std::vector<const char*> o = {"Language", "Max", "Top", "Height", "Left", "Width", "Delay", "Split",
                                      "RTFM", "Wait", "Tx Status 1", "Tx Status 2", "Patrol Daily", "Report Daily"};
        for (const char* key : SharedFromTxStatus({"Tx Status 1", "Tx Status 2", "Patrol Daily", "Report Daily"}))
            o.push_back(key);
        o.push_back("Phonebook ");
        o.insert(o.end(), std::begin(kManualMessages), std::end(kManualMessages));
        for (const char* key : {"Time Zone", "Show Hints", "Active Config Page", "Active Main Page", "Patrol Time",
                                "Debug Counters", "Patrol Days", "Report Days", "Histogram Days", "Col "})
            o.push_back(key);
        return o;
    }();
    return order;
}

// Every integer and boolean is required: a missing or ill-typed one ends the
// load. A missing text is emptied and the load goes on.
const std::vector<ConfigLoadStep>& LoadOrder()
{
    static const std::vector<ConfigLoadStep> steps = [] {
        std::vector<const char*> keys = {"Top", "Height", "Left", "Width", "Max", "Delay", "Split", "RTFM", "Wait"};
        for (const char* key : SharedFromTxStatus({kEveryDay[0], kEveryDay[1], kEveryDay[2], "Alarm Number"})) {
            keys.push_back(key);
            if (std::string_view(key) == "Low RF Threshold")
                keys.push_back("Alarm Number");
        }
        keys.push_back("Phonebook ");
        keys.insert(keys.end(), std::begin(kManualMessages), std::end(kManualMessages));
        for (const char* key : {"Time Zone", "Show Hints", "Col ", "Active Config Page", "Active Main Page",
                                "Patrol Time", "Debug Counters", "Patrol Days", "Patrol Daily", "Report Days",
                                "Report Daily", "Histogram Days", "Daily Histogarm"})
            keys.push_back(key);
        std::vector<ConfigLoadStep> s;
        for (const char* key : keys) {
            const ConfigValue* shared = FindConfigValue(key);
            s.push_back({key, {}, !shared || shared->type != T::Text});
        }
        return s;
    }();
    return steps;
}

// The open product key.
class RegistryStore : public ConfigStore {
public:
    explicit RegistryStore(TRegistry& reg) : reg_(reg) {}
    void WriteInteger(const std::string& key, int32_t value) override { reg_.WriteInteger(key, value); }
    void WriteBool(const std::string& key, bool value) override { reg_.WriteBool(key, value); }
    void WriteText(const std::string& key, const std::string& value) override { reg_.WriteString(key, value); }
    bool ValueExists(const std::string& key) override { return reg_.ValueExists(key); }
    void DeleteValue(const std::string& key) override { reg_.DeleteValue(key); }
    // A text of another type raises ERegistryException: the load ends.
    std::string ReadText(const std::string& key) override { return reg_.ReadString(key); }
    std::optional<int32_t> ReadInteger(const std::string& key) override
    {
        try {
            return reg_.ReadInteger(key);
        } catch (const ERegistryException&) {
            return std::nullopt;
        }
    }

private:
    TRegistry& reg_;
};

} // namespace

const std::vector<ConfigValue>& SettingsOnlyValues()
{
    static const std::vector<ConfigValue> values = BuildSettingsOnlyValues();
    return values;
}

void LoadRegistrySettings(TformMain* form)
{
    TRegistry reg(KEY_READ);
    reg.SetRootKey(HKEY_CURRENT_USER);
    try {
        reg.OpenKeyReadOnly(kProductKey);
        RegistryStore store(reg);
        if (!LoadStoredValues(form, store, LoadOrder()))
            return;
        // The port library would create a missing subkey and then fail on
        // it; without one the port keeps its own settings.
        if (!reg.KeyExists(std::string(kProductKey) + "\\" + form->portVigilator->Name()))
            return;
        try {
            form->portVigilator->LoadSettings(stRegistry, kProductRegistryPath);
        } catch (const EComPort& e) {
            // The port is closed while the settings load, so only the store
            // can fail here: a missing or ill-typed value ends the load
            // silently, as it does for the values above.
            if (e.Code() != kPortLoadFailed)
                throw;
        }
        reg.CloseKey();
    } catch (const ERegistryException&) {
    }
}

void SaveRegistrySettings(TformMain* form)
{
    // The key and the port's subkey go to disk in one replacement of the
    // file: a crash leaves the old settings or the new ones, never half.
    platform::RegistryWriteBatch batch;
    TRegistry reg(KEY_ALL_ACCESS);
    reg.SetRootKey(HKEY_CURRENT_USER);
    reg.OpenKey(kProductKey, true);
    RegistryStore store(reg);
    SaveStoredValues(form, store, SaveOrder());
    form->portVigilator->StoreSettings(stRegistry, kProductRegistryPath);
    reg.CloseKey();
    batch.Commit();
}
