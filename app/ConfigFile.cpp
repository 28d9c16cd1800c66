#include "app/ConfigFile.h"

#include "app/ConfigPage.h"
#include "app/Languages.h"
#include "app/Main.h"
#include "platform/Dialogs.h"
#include "platform/FileDialogs.h"
#include "platform/IniFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMetaObject>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTreeWidget>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

const char* const kConfigSection = "Config";
const char* const kConfigFileFilter = "Vantelox SMS Repeater files (*.kvt)|*.kvt|All files|*.*";
const char* const kConfigFileExt = "kvt";
const char* const kSaveConfigTitle = "Save KVT Configuration";

namespace {

using T = ConfigValueType;
using Box = QCheckBox* Ui_TformMain::*;
using Radio = QRadioButton* Ui_TformMain::*;
using Combo = QComboBox* Ui_TformMain::*;
using Edit = QLineEdit* Ui_TformMain::*;

const char* const kPhoneBookPrefix = "Phonebook ";

ConfigDatum Number(int32_t n) { return ConfigDatum{n, {}}; }
ConfigDatum Text(const QString& s) { return ConfigDatum{0, s.toStdString()}; }

// A box without click behaviour: nothing runs when its state is put back.
ConfigValue Tick(const char* key, Box box)
{
    return {key, T::Boolean, [box](TformMain* f) { return Number((f->*box)->isChecked() ? 1 : 0); },
            [box](TformMain* f, const ConfigDatum& d) {
                const QSignalBlocker quiet(f->*box);
                (f->*box)->setChecked(d.number != 0);
            }};
}

// An "Every Day" box: a change runs its click behaviour (through toggled).
// Already ticked and loaded ticked, the click runs as well, so the day boxes
// just set from the file's mask are remembered and shown all ticked and
// locked, as the days sent with a ticked box are.
ConfigValue EveryDay(const char* key, Box box, void (*click)(TformMain*))
{
    return {key, T::Boolean, [box](TformMain* f) { return Number((f->*box)->isChecked() ? 1 : 0); },
            [box, click](TformMain* f, const ConfigDatum& d) {
                const bool ticked = d.number != 0;
                if ((f->*box)->isChecked() != ticked)
                    (f->*box)->setChecked(ticked);
                else if (ticked)
                    click(f);
            }};
}

// Checking a button unchecks its partner; false checks the partner, as an
// exclusive pair cannot be left with neither checked and Qt would otherwise
// keep the old choice.
ConfigValue Choice(const char* key, Radio radio, Radio partner)
{
    return {key, T::Boolean, [radio](TformMain* f) { return Number((f->*radio)->isChecked() ? 1 : 0); },
            [radio, partner](TformMain* f, const ConfigDatum& d) {
                const QSignalBlocker quiet(f->*radio), quietToo(f->*partner);
                (d.number != 0 ? f->*radio : f->*partner)->setChecked(true);
            }};
}

// The selected index; one outside the list selects nothing. Selecting runs
// no change behaviour.
ConfigValue Index(const char* key, Combo combo)
{
    return {key, T::Integer, [combo](TformMain* f) { return Number((f->*combo)->currentIndex()); },
            [combo](TformMain* f, const ConfigDatum& d) {
                QComboBox* c = f->*combo;
                const QSignalBlocker quiet(c);
                c->setCurrentIndex(d.number >= 0 && d.number < c->count() ? d.number : -1);
            }};
}

// setText cuts a text to the edit's maximum length, which is meant for
// typing: a loaded value keeps its whole text, so that validation sees what
// the store held. While the text is longer than the limit, the limit is
// raised to its length, so typing still cannot make it longer.
void PutWholeText(QLineEdit* edit, const QString& text)
{
    static const char* const kTypingLimit = "typingLimit";
    if (!edit->property(kTypingLimit).isValid()) {
        edit->setProperty(kTypingLimit, edit->maxLength());
        QObject::connect(edit, &QLineEdit::textChanged, edit, [edit](const QString& now) {
            edit->setMaxLength(std::max(int(now.size()), edit->property(kTypingLimit).toInt()));
        });
    }
    const QSignalBlocker quiet(edit);
    edit->setMaxLength(std::max(int(text.size()), edit->property(kTypingLimit).toInt()));
    edit->setText(text);
}

ConfigValue EditText(const char* key, Edit edit)
{
    return {key, T::Text, [edit](TformMain* f) { return Text((f->*edit)->text()); },
            [edit](TformMain* f, const ConfigDatum& d) { PutWholeText(f->*edit, QString::fromStdString(d.text)); }};
}

// A telephone combo's edit field; its list is the telephone book.
ConfigValue ComboText(const char* key, Combo combo)
{
    return {key, T::Text, [combo](TformMain* f) { return Text((f->*combo)->currentText()); },
            [combo](TformMain* f, const ConfigDatum& d) {
                const QSignalBlocker quiet(f->*combo);
                PutWholeText((f->*combo)->lineEdit(), QString::fromStdString(d.text));
            }};
}

// The positions a masked field shows: for each, whether it takes input,
// and the separator it shows otherwise.
struct MaskPosition {
    bool input;
    QChar literal;
};

std::vector<MaskPosition> MaskPositions(const QString& mask)
{
    static const QString inputChars = "AaNnXx90Dd#HhBb";
    std::vector<MaskPosition> positions;
    for (int i = 0; i < mask.size() && mask[i] != ';'; ++i) {
        const QChar m = mask[i];
        if (m == '>' || m == '<' || m == '!')
            continue;
        if (m == '\\' && i + 1 < mask.size())
            positions.push_back({false, mask[++i]});
        else
            positions.push_back({inputChars.contains(m), m});
    }
    return positions;
}

// What was typed into a masked field: the characters at its input positions,
// without the mask's separators and without the empty positions at its end
// ("C0 3A 02" is "C03A02").
QString TypedText(const QLineEdit* edit)
{
    if (edit->inputMask().isEmpty())
        return edit->text();
    const QString shown = edit->displayText();
    QString typed;
    const auto positions = MaskPositions(edit->inputMask());
    for (size_t at = 0; at < positions.size() && int(at) < shown.size(); ++at)
        if (positions[at].input)
            typed += shown[int(at)];
    while (!typed.isEmpty() && typed.back() == ' ')
        typed.chop(1);
    return typed;
}

// Whether a position of mask character `m` takes `c`; a blank is an empty
// position anywhere.
bool FitsPosition(QChar m, QChar c)
{
    if (c == ' ')
        return true;
    switch (m.unicode()) {
    case 'h':
    case 'H': return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    case '9':
    case '0': return c >= '0' && c <= '9';
    default: return true;
    }
}

int InputCount(const QString& mask)
{
    int inputs = 0;
    for (const MaskPosition& p : MaskPositions(mask))
        inputs += p.input ? 1 : 0;
    return inputs;
}

// `mask` with its last group (from its last separator on) repeated until it
// has at least `inputs` input positions.
QString WidenedMask(const QString& mask, int inputs)
{
    static const QString inputChars = "AaNnXx90Dd#HhBb";
    const int semicolon = int(mask.indexOf(';'));
    QString body = semicolon < 0 ? mask : mask.left(semicolon);
    const QString tail = semicolon < 0 ? QString() : mask.mid(semicolon);
    int from = int(body.size()) - 1;
    while (from > 0 && (inputChars.contains(body[from]) || body[from] == '>' || body[from] == '<'))
        --from;
    const QString unit = body.mid(from);
    const int perUnit = int(std::count_if(unit.begin(), unit.end(), [](QChar c) { return inputChars.contains(c); }));
    if (perUnit == 0)
        return mask;
    for (int have = InputCount(body); have < inputs; have += perUnit)
        body += unit;
    return body + tail;
}

// Shows `typed` in a field of mask `mask`, each character at its input
// position (the field's own placing would let a blank fill a separator and
// shift what follows).
void ShowTyped(QLineEdit* edit, const QString& mask, const QString& typed)
{
    if (edit->inputMask() != mask)
        edit->setInputMask(mask);
    QString shown;
    int next = 0;
    for (const MaskPosition& p : MaskPositions(mask))
        shown += !p.input ? p.literal : next < typed.size() ? typed[next++] : QChar(' ');
    edit->setText(shown);
}

const char* const kDesignMask = "designMask";

// While a field holds more than its design mask takes, the mask is widened
// to hold it whole; once what it holds fits again, the design mask is back,
// so typing cannot make it longer than it was loaded.
void KeepDesignMaskWhenItFits(QLineEdit* edit)
{
    const QString design = edit->property(kDesignMask).toString();
    if (edit->inputMask() == design)
        return;
    const QString typed = TypedText(edit);
    if (typed.size() > InputCount(design))
        return;
    const int cursor = edit->cursorPosition();
    const QSignalBlocker quiet(edit);
    ShowTyped(edit, design, typed);
    edit->setCursorPosition(std::min(cursor, int(edit->displayText().size())));
}

// Each typed character back at its input position. Characters the field
// would not take (a hand-edited "C0-3A-02") are dropped, as typing them
// would be; a text longer than the mask takes is kept whole.
void PutTypedText(QLineEdit* edit, const QString& stored)
{
    if (edit->inputMask().isEmpty() && !edit->property(kDesignMask).isValid()) {
        edit->setText(stored);
        return;
    }
    if (!edit->property(kDesignMask).isValid()) {
        edit->setProperty(kDesignMask, edit->inputMask());
        // After the key has been handled: the field is not changed under it.
        QObject::connect(edit, &QLineEdit::textChanged, edit, [edit] {
            QMetaObject::invokeMethod(edit, [edit] { KeepDesignMaskWhenItFits(edit); }, Qt::QueuedConnection);
        });
    }
    const QString design = edit->property(kDesignMask).toString();
    std::vector<QChar> kinds;
    for (const MaskPosition& p : MaskPositions(design))
        if (p.input)
            kinds.push_back(p.literal);
    QString typed;
    for (QChar c : stored)
        if (kinds.empty() || FitsPosition(kinds[std::min(size_t(typed.size()), kinds.size() - 1)], c))
            typed += c;
    while (!typed.isEmpty() && typed.back() == ' ')
        typed.chop(1);
    ShowTyped(edit, typed.size() > InputCount(design) ? WidenedMask(design, int(typed.size())) : design, typed);
}

// Entries first .. first+count-1 of the configuration table as bits 0 ..
// count-1; higher bits of a stored value are ignored.
ConfigValue TxStatus(const char* key, int first, int count)
{
    return {key, T::Integer,
            [first, count](TformMain* f) {
                uint32_t bits = 0;
                for (int i = 0; i < count; ++i)
                    if (f->configItems[size_t(first + i)].box->isChecked())
                        bits |= 1u << i;
                return Number(int32_t(bits));
            },
            [first, count](TformMain* f, const ConfigDatum& d) {
                const uint32_t bits = uint32_t(d.number);
                for (int i = 0; i < count; ++i) {
                    QCheckBox* box = f->configItems[size_t(first + i)].box;
                    const QSignalBlocker quiet(box);
                    box->setChecked((bits >> i) & 1u);
                }
            }};
}

// A day mask: the remembered days while "Every Day" is ticked, else the day
// boxes. Put back whole into the remembered days, its low 8 bits into the
// boxes; its "Every Day" box is put back after it.
ConfigValue DayMask(const char* key, Box everyDay, uint32_t TformMain::*remembered,
                    uint8_t (*boxes)(TformMain*), void (*setBoxes)(TformMain*, uint8_t))
{
    return {key, T::Integer,
            [=](TformMain* f) { return Number(int32_t((f->*everyDay)->isChecked() ? f->*remembered : boxes(f))); },
            [=](TformMain* f, const ConfigDatum& d) {
                f->*remembered = uint32_t(d.number);
                setBoxes(f, uint8_t(d.number & 0xFF));
            }};
}

std::vector<ConfigValue> BuildValues()
{
    using F = TformMain;
    std::vector<ConfigValue> v;
    v.push_back(TxStatus("Tx Status 1", 0, 32));
    v.push_back(TxStatus("Tx Status 2", 32, kConfigItemCount - 32));
    v.push_back(EveryDay("Patrol Daily", &F::boxPatrolDaily, boxPatrolDailyClick));
    v.push_back(Choice("Enable LNA", &F::radioEnableLna, &F::radioDisableLna));
    v.push_back(EveryDay("Daily Histogarm", &F::boxHistDaily, boxHistDailyClick));
    v.push_back(Tick("Fortnightly Histogram", &F::boxHistFortnightly));
    v.push_back(EveryDay("Report Daily", &F::boxReportDaily, boxReportDailyClick));
    v.push_back(Tick("Report Fortnightly", &F::boxReportFortnightly));
    v.push_back(Tick("Low Q+ Battery", &F::boxLowVantBat));
    v.push_back(Tick("Low Q+ RF", &F::boxLowVantRf));
    v.push_back(Tick("Low KVT Battery", &F::boxLowKvtBat));
    v.push_back(Tick("Change Via SMS", &F::boxChangeViaSms));
    // "Clear All": a change runs its click behaviour. Unticked, that puts
    // back the remembered clearing ticks, which at this point are an earlier
    // run's ("Debug Counters" comes later): the ticks just loaded with "Tx
    // Status" are kept instead. Ticked and already ticked, the click runs so
    // that the fourteen boxes show ticked and locked.
    v.push_back({"Clear All Counters", T::Boolean, [](F* f) { return Number(f->boxClearAll->isChecked() ? 1 : 0); },
                 [](F* f, const ConfigDatum& d) {
                     const bool ticked = d.number != 0;
                     if (f->boxClearAll->isChecked() == ticked) {
                         if (ticked)
                             boxClearAllClick(f);
                         return;
                     }
                     if (!ticked)
                         f->debugCounters = GetDebugClearMask(f);
                     f->boxClearAll->setChecked(ticked);
                 }});
    v.push_back(Choice("ECU Active", &F::radioEcuActive, &F::radioEcuInactive));
    // Its click behaviour (greying the ECU number) runs through toggled.
    v.push_back({"ECU Uses Serial", T::Boolean, [](F* f) { return Number(f->boxEcuUsesSerial->isChecked() ? 1 : 0); },
                 [](F* f, const ConfigDatum& d) { f->boxEcuUsesSerial->setChecked(d.number != 0); }});
    v.push_back(Tick("Message To Repeater", &F::checkSendToRepeater));
    v.push_back(Choice("Enable GPRS", &F::radioGprs, &F::radioSms));
    v.push_back(Index("GSM Band", &F::comboGsmBand));
    v.push_back(Index("Region", &F::comboRegion));
    v.push_back(Index("Patrol Hour", &F::comboPatrolHour));
    v.push_back(Index("Patrol Minute", &F::comboPatrolMinute));
    v.push_back(Index("Retry Hour", &F::comboRetryHour));
    v.push_back(Index("Retry Minute", &F::comboRetryMinute));
    v.push_back(Index("Patrol Duration", &F::comboPatrolDuration));
    v.push_back(Index("Report Hour", &F::comboReportHour));
    v.push_back(Index("Report Minute", &F::comboReportMinute));
    v.push_back(Index("Stagger Digits", &F::comboStaggerDigits));
    v.push_back(Index("Stagger Time", &F::comboStaggerTime));
    v.push_back(Index("Report Format", &F::comboReportFormat));
    v.push_back(Index("Leak Alarm", &F::comboLeakAlarm));
    v.push_back(Index("SMS Rx Duration", &F::comboSmsRxDuration));
    v.push_back(EditText("GPS Latitude", &F::editGpsLat));
    v.push_back(EditText("GPS Longitude", &F::editGpsLong));
    v.push_back(ComboText("Host Number", &F::comboHostTel));
    v.push_back(ComboText("Engineer Number", &F::comboEngineerTel));
    v.push_back(ComboText("Alarm Number", &F::comboAlarmTel));
    v.push_back(EditText("Alarm Text", &F::editAlarmMsg));
    v.push_back(EditText("Low RF Threshold", &F::editLowRfThresh));
    v.push_back(EditText("Serial Number", &F::editSerialNum));
    v.push_back(EditText("ECU Number", &F::editEcuNum));
    v.push_back(ComboText("Test Number", &F::comboTestTel));
    v.push_back(EditText("APN", &F::editApn));
    v.push_back(EditText("GPRS Username", &F::editGprsUser));
    v.push_back(EditText("GPRS Password", &F::editGprsPass));
    v.push_back(EditText("FTP Host", &F::editFtpHost));
    v.push_back(EditText("FTP User ID", &F::editFtpUser));
    v.push_back(EditText("FTP Password", &F::editFtpPass));
    v.push_back(EditText("FTP Folder", &F::editFtpFolder));
    v.push_back(EditText("SIM Number", &F::editSimNumber));
    v.push_back({kPhoneBookPrefix, T::PhoneBook, nullptr, nullptr});
    const Edit manual[] = {&F::editManualMsg1, &F::editManualMsg2, &F::editManualMsg3, &F::editManualMsg4,
                           &F::editManualMsg5, &F::editManualMsg6, &F::editManualMsg7, &F::editManualMsg8};
    static const char* const kManualKeys[] = {"MME1", "MME2", "MME3", "MME4", "MME5", "MME6", "MME7", "MME8"};
    // A manual message is taken as what was typed at the input positions of
    // its mask, blanks and all, and put back at the same positions; a store
    // that keeps messages as their digits alone strips the blanks.
    for (size_t i = 0; i < 8; ++i)
        v.push_back({kManualKeys[i], T::Text, [edit = manual[i]](F* f) { return Text(TypedText(f->*edit)); },
                     [edit = manual[i]](F* f, const ConfigDatum& d) {
                         const QSignalBlocker quiet(f->*edit);
                         PutTypedText(f->*edit, QString::fromStdString(d.text));
                     },
                     true});
    // The up-down's position; its edit shows it, as an associated edit does.
    v.push_back({"Time Zone", T::Integer, [](F* f) { return Number(f->spinnerTimeZone->value()); },
                 [](F* f, const ConfigDatum& d) { f->spinnerTimeZone->setValue(d.number); }});
    v.push_back({"Debug Counters", T::Integer, [](F* f) { return Number(int32_t(f->debugCounters)); },
                 [](F* f, const ConfigDatum& d) { f->debugCounters = uint32_t(d.number); }});
    v.push_back(DayMask("Patrol Days", &F::boxPatrolDaily, &F::patrolDays, GetPatrolDaysMask, SetPatrolDaysMask));
    v.push_back(DayMask("Report Days", &F::boxReportDaily, &F::reportDays, GetReportDaysMask, SetReportDaysMask));
    v.push_back(DayMask("Histogram Days", &F::boxHistDaily, &F::histDays, GetHistDaysMask, SetHistDaysMask));
    return v;
}

std::vector<ConfigLoadStep> BuildLoadOrder()
{
    std::vector<ConfigLoadStep> steps;
    auto n = [&](const char* key, int32_t def) { steps.push_back({key, ConfigDatum{def, {}}}); };
    auto t = [&](const char* key, const char* def) { steps.push_back({key, ConfigDatum{0, def}}); };
    n("Tx Status 1", 0);
    n("Tx Status 2", 0);
    for (const char* key : {"Enable LNA", "Fortnightly Histogram", "Report Fortnightly", "Low Q+ Battery",
                            "Low Q+ RF", "Low KVT Battery", "Change Via SMS", "Clear All Counters", "ECU Active",
                            "ECU Uses Serial"})
        n(key, 0);
    n("Message To Repeater", 1);
    n("Enable GPRS", 0);
    n("GSM Band", 0);
    n("Region", 0);
    n("Patrol Hour", 7);
    n("Patrol Minute", 0);
    n("Retry Hour", 22);
    n("Retry Minute", 0);
    n("Patrol Duration", 2);
    n("Report Hour", 8);
    for (const char* key : {"Report Minute", "Stagger Digits", "Stagger Time", "Report Format", "Leak Alarm"})
        n(key, 0);
    n("SMS Rx Duration", 7);
    for (const char* key : {"GPS Latitude", "GPS Longitude", "Host Number", "Engineer Number", "Alarm Number",
                            "Alarm Text"})
        t(key, "");
    t("Low RF Threshold", "0");
    for (const char* key : {"Serial Number", "ECU Number", "Test Number", "APN", "GPRS Username", "GPRS Password",
                            "FTP Host", "FTP User ID", "FTP Password", "FTP Folder", "SIM Number"})
        t(key, "");
    t(kPhoneBookPrefix, "");
    for (const char* key : {"MME1", "MME2", "MME3", "MME4", "MME5", "MME6", "MME7", "MME8"})
        t(key, "");
    n("Time Zone", 0);
    n("Debug Counters", 0);
    // Each day mask just before its "Every Day" box, so that the remembered
    // days and the day boxes are in place when the box's click runs.
    n("Patrol Days", 0);
    n("Patrol Daily", 0);
    n("Report Days", 0);
    n("Report Daily", 0);
    n("Histogram Days", 0);
    n("Daily Histogarm", 0);
    return steps;
}

// The section "Config" of a configuration file. Each key it writes is left
// once in the section: a copy further down (a file edited by hand) would
// come back at the next load once the first is gone.
class IniStore : public ConfigStore {
public:
    explicit IniStore(TIniFile& ini) : ini_(ini) {}
    bool MessagesAsDigits() const override { return true; }
    void WriteInteger(const std::string& key, int32_t value) override
    {
        ini_.WriteInteger(kConfigSection, key, value);
        ini_.DeleteLaterCopies(kConfigSection, key);
    }
    void WriteBool(const std::string& key, bool value) override
    {
        ini_.WriteBool(kConfigSection, key, value);
        ini_.DeleteLaterCopies(kConfigSection, key);
    }
    void WriteText(const std::string& key, const std::string& value) override
    {
        // A line of the file cannot hold a line break or NUL: each is kept
        // as a blank (and a NUL is read so, see ReadText).
        std::string line = value;
        for (char& c : line)
            if (c == '\r' || c == '\n' || c == '\0')
                c = ' ';
        // A reader trims the value and strips one pair of quotes around it:
        // quoted, blanks at its ends and quotes of its own come back.
        const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1A'; };
        if (!line.empty() && (blank(line.front()) || blank(line.back()) ||
                              (line.size() >= 2 && (line[0] == '"' || line[0] == '\'') && line.back() == line[0])))
            line = '"' + line + '"';
        ini_.WriteString(kConfigSection, key, line);
        ini_.DeleteLaterCopies(kConfigSection, key);
    }
    bool ValueExists(const std::string& key) override { return ini_.ValueExists(kConfigSection, key); }
    void DeleteValue(const std::string& key) override
    {
        ini_.DeleteLaterCopies(kConfigSection, key);
        ini_.DeleteKey(kConfigSection, key);
    }
    std::string ReadText(const std::string& key) override
    {
        std::string text = ini_.ReadString(kConfigSection, key, "");
        std::replace(text.begin(), text.end(), '\0', ' ');
        return text;
    }
    std::optional<int32_t> ReadInteger(const std::string& key) override
    {
        if (!ini_.ValueExists(kConfigSection, key))
            return std::nullopt;
        return platform::ParseIniInteger(ini_.ReadString(kConfigSection, key, ""));
    }

private:
    TIniFile& ini_;
};

void ShowUnableToOpen(TformMain* form, const std::string& detail)
{
    const std::string text = GetLangString(form, 185, "Unable to open the file");
    form->SetStatusText("  " + text);
    platform::MessageBeep(platform::MB_ICONHAND);
    platform::MessageDlg(text + "\n\n" + detail, platform::MsgDlgType::Error, platform::mbOK);
}

} // namespace

// ---------------------------------------------------------------- the table

const std::vector<ConfigValue>& ConfigValues()
{
    static const std::vector<ConfigValue> values = BuildValues();
    return values;
}

const ConfigValue* FindConfigValue(std::string_view key)
{
    for (const ConfigValue& v : ConfigValues())
        if (key == v.key)
            return &v;
    return nullptr;
}

const std::vector<ConfigLoadStep>& ConfigFileLoadOrder()
{
    static const std::vector<ConfigLoadStep> steps = BuildLoadOrder();
    return steps;
}

namespace {

// A value of either table by its key.
const ConfigValue& StoredValue(std::string_view key)
{
    if (const ConfigValue* shared = FindConfigValue(key))
        return *shared;
    for (const ConfigValue& v : SettingsOnlyValues())
        if (key == v.key)
            return v;
    throw std::logic_error("no stored value " + std::string(key));
}

// ---------------------------------------------------------------- walks

// A manual message as the store keeps it.
std::string Stored(const ConfigValue& v, const ConfigStore& store, std::string text)
{
    if (v.manualMessage && store.MessagesAsDigits())
        text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    return text;
}

std::string ColumnKey(int n)
{
    return "Col " + std::to_string(n);
}

// Writes "Phonebook " + n for each entry of the book up to the first empty
// one, then deletes the keys an earlier, longer book left, up to the first
// index with no key. Keys past the book's bound were never loaded, so they
// are not the book's to delete: the user's store keeps them.
void WritePhoneBook(TformMain* form, ConfigStore& store)
{
    uint32_t n = 0;
    for (; n < kPhoneBookLimit; ++n) {
        const std::string entry = GetPhoneListItem(form, uint16_t(n));
        if (entry.empty())
            break;
        store.WriteText(PhoneBookKey(n), entry);
    }
    for (uint32_t k = n; k < kPhoneBookLimit && store.ValueExists(PhoneBookKey(k)); ++k)
        store.DeleteValue(PhoneBookKey(k));
}

// Adds "Phonebook " + n for n = 0 up while that key exists, as far as the
// book holds. The book is not emptied first.
void ReadPhoneBook(TformMain* form, ConfigStore& store)
{
    std::vector<std::string> numbers;
    try {
        for (uint32_t n = 0; n < kPhoneBookLimit && store.ValueExists(PhoneBookKey(n)); ++n)
            numbers.push_back(store.ReadText(PhoneBookKey(n)));
    } catch (...) {
        // An entry the store cannot read ends the load there, after the
        // entries before it, as one at a time would have added them.
        AddNumbersToLists(form, numbers);
        throw;
    }
    AddNumbersToLists(form, numbers);
}

} // namespace

std::string PhoneBookKey(uint32_t n)
{
    return kPhoneBookPrefix + std::to_string(n);
}

void SaveStoredValues(TformMain* form, ConfigStore& store, const std::vector<const char*>& keys)
{
    for (const char* key : keys) {
        const ConfigValue& v = StoredValue(key);
        switch (v.type) {
        case T::Integer: store.WriteInteger(v.key, v.get(form).number); break;
        case T::Boolean: store.WriteBool(v.key, v.get(form).number != 0); break;
        case T::Text: store.WriteText(v.key, Stored(v, store, v.get(form).text)); break;
        case T::PhoneBook: WritePhoneBook(form, store); break;
        case T::Columns:
            for (int c = 0; c < form->viewDatabase->columnCount(); ++c)
                store.WriteInteger(ColumnKey(c), form->viewDatabase->columnWidth(c));
            break;
        }
    }
}

bool LoadStoredValues(TformMain* form, ConfigStore& store, const std::vector<ConfigLoadStep>& steps)
{
    for (const ConfigLoadStep& step : steps) {
        const ConfigValue& v = StoredValue(step.key);
        switch (v.type) {
        case T::Integer:
        case T::Boolean: {
            const std::optional<int32_t> n = store.ReadInteger(v.key);
            if (!n && step.required)
                return false;
            const int32_t number = n.value_or(step.def.number);
            v.put(form, Number(v.type == T::Boolean ? number != 0 : number));
            break;
        }
        case T::Text: {
            const bool exists = store.ValueExists(v.key);
            if (!exists && step.required)
                return false;
            v.put(form, ConfigDatum{0, Stored(v, store, exists ? store.ReadText(v.key) : step.def.text)});
            break;
        }
        case T::PhoneBook: ReadPhoneBook(form, store); break;
        case T::Columns:
            for (int c = 0; c < form->viewDatabase->columnCount(); ++c) {
                const std::optional<int32_t> width = store.ReadInteger(ColumnKey(c));
                if (!width)
                    return false;
                form->viewDatabase->setColumnWidth(c, std::max(*width, 0));
            }
            break;
        }
    }
    return true;
}

// ---------------------------------------------------------------- the file

void SaveConfigValues(TformMain* form, ConfigStore& store)
{
    static const std::vector<const char*> order = [] {
        std::vector<const char*> keys;
        for (const ConfigValue& v : ConfigValues())
            keys.push_back(v.key);
        return keys;
    }();
    SaveStoredValues(form, store, order);
}

void SaveConfigFile(TformMain* form, TIniFile& ini)
{
    ini.BeginUpdate();
    IniStore store(ini);
    SaveConfigValues(form, store);
    ini.UpdateFile();
}

void LoadConfigFile(TformMain* form, TIniFile& ini)
{
    IniStore store(ini);
    LoadStoredValues(form, store, ConfigFileLoadOrder());
}

// ---------------------------------------------------------------- File menu

void TformMain::menuSaveClick()
{
    platform::FileDialogOptions options;
    options.title = kSaveConfigTitle;
    options.filter = kConfigFileFilter;
    options.defaultExt = kConfigFileExt;
    options.overwritePrompt = true;
    const auto chosen = platform::SaveDialog(options);
    if (!chosen)
        return;
    try {
        TIniFile ini(chosen->path);
        SaveConfigFile(this, ini);
    } catch (const std::exception& e) {
        ShowUnableToOpen(this, e.what());
    }
}

void TformMain::menuLoadClick()
{
    platform::FileDialogOptions options;
    options.filter = kConfigFileFilter;
    options.filterIndex = 1;
    options.defaultExt = kConfigFileExt;
    options.fileMustExist = true;
    const auto chosen = platform::OpenDialog(options);
    if (!chosen)
        return;
    TIniFile ini(chosen->path);
    if (const int error = ini.ReadError()) {
        // A FIFO, a device or a socket is refused before it is opened.
        ShowUnableToOpen(this, error == EINVAL
                                   ? "\"" + chosen->path + "\" is not a regular file."
                                   : "Cannot read the file \"" + chosen->path + "\": " + std::strerror(error));
        return;
    }
    // Loading a file of another kind would put every default over the
    // page: it is refused as one that cannot be read.
    if (!ini.SectionExists(kConfigSection)) {
        ShowUnableToOpen(this, "The file \"" + chosen->path + "\" holds no configuration.");
        return;
    }
    LoadConfigFile(this, ini);
}
