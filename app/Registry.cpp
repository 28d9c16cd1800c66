#include "app/Registry.h"

#include "app/ConfigPage.h"
#include "app/Main.h"
#include "platform/Registry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTreeWidget>
#include <array>
#include <vector>

const char* const kProductRegistryPath = "HKEY_CURRENT_USER\\Software\\Drosen\\KVT Config Tool";

namespace {

const char* const kProductKey = "\\Software\\Drosen\\KVT Config Tool";

// Code of the port library's "Failed to load settings".
constexpr int32_t kPortLoadFailed = 17;

std::string PhonebookName(unsigned n) { return "Phonebook " + std::to_string(n); }
std::string ColumnName(int n) { return "Col " + std::to_string(n); }

std::array<QLineEdit*, 8> ManualMessages(TformMain* f)
{
    return {f->editManualMsg1, f->editManualMsg2, f->editManualMsg3, f->editManualMsg4,
            f->editManualMsg5, f->editManualMsg6, f->editManualMsg7, f->editManualMsg8};
}

// ---------------------------------------------------------------- taking values

// Bit i set when entry first+i of the configuration table is ticked.
int32_t TxStatus(TformMain* f, int first, int count)
{
    uint32_t bits = 0;
    for (int i = 0; i < count; ++i)
        if (f->configItems[size_t(first + i)].box->isChecked())
            bits |= 1u << i;
    return int32_t(bits);
}

int32_t DaysToSave(QCheckBox* everyDay, uint32_t remembered, uint8_t shown)
{
    return int32_t(everyDay->isChecked() ? remembered : shown);
}

std::string Text(const QLineEdit* edit) { return edit->text().toStdString(); }
std::string Text(const QComboBox* combo) { return combo->currentText().toStdString(); }

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
// ("C0 3A 02" is kept as "C03A02").
std::string TypedText(const QLineEdit* edit)
{
    if (edit->inputMask().isEmpty())
        return Text(edit);
    const QString shown = edit->displayText();
    const auto positions = MaskPositions(edit->inputMask());
    QString typed;
    for (size_t at = 0; at < positions.size() && int(at) < shown.size(); ++at)
        if (positions[at].input)
            typed += shown[int(at)];
    while (!typed.isEmpty() && typed.back() == ' ')
        typed.chop(1);
    return typed.toStdString();
}

// ---------------------------------------------------------------- putting values back

void PutTxStatus(TformMain* f, int first, int count, int32_t value)
{
    for (int i = 0; i < count; ++i)
        f->configItems[size_t(first + i)].box->setChecked((uint32_t(value) >> i) & 1u);
}

// Unchecking a checked exclusive radio button is ignored by the toolkit, so
// false checks the partner: the pair then shows what was stored.
void PutRadio(QRadioButton* named, QRadioButton* partner, bool on)
{
    (on ? named : partner)->setChecked(true);
}

// A value outside the list leaves no item selected; selecting runs none of
// the combo's change behaviour.
void PutIndex(QComboBox* combo, int32_t index)
{
    const QSignalBlocker quiet(combo);
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

void PutText(QLineEdit* edit, const std::string& text) { edit->setText(QString::fromStdString(text)); }

// Each typed character back at its input position (the field's own
// placing would let a blank fill a separator and shift what follows).
void PutTypedText(QLineEdit* edit, const std::string& text)
{
    if (edit->inputMask().isEmpty()) {
        PutText(edit, text);
        return;
    }
    const QString typed = QString::fromStdString(text);
    QString shown;
    int next = 0;
    for (const MaskPosition& p : MaskPositions(edit->inputMask()))
        shown += !p.input ? p.literal : next < typed.size() ? typed[next++] : QChar(' ');
    edit->setText(shown);
}
void PutText(QComboBox* combo, const std::string& text) { combo->setEditText(QString::fromStdString(text)); }

// An "Every Day" box read after its day mask. Its click remembers the days
// just put in the boxes and locks all seven ticked; a box that is ticked
// already is run through its click again, or the locked boxes would show
// (and send) the partial mask.
void PutEveryDay(QCheckBox* everyDay, bool on)
{
    if (on && everyDay->isChecked())
        everyDay->setChecked(false);
    everyDay->setChecked(on);
}

// Unticking a ticked "Clear All" box puts back the remembered clearing
// ticks; those were an earlier run's, so the ticks just read from the
// "Tx Status" values are remembered first. A ticked box is run through its
// click again so that all fourteen boxes end ticked and locked.
void PutClearAll(TformMain* f, bool on)
{
    if (!f->boxClearAll->isChecked()) {
        f->boxClearAll->setChecked(on);
        return;
    }
    f->debugCounters = GetDebugClearMask(f);
    f->boxClearAll->setChecked(false);
    f->boxClearAll->setChecked(on);
}

void PutColumnWidth(QTreeWidget* view, int column, int32_t width)
{
    view->setColumnWidth(column, width < 0 ? 0 : width);
}

// Reads in the load's order; the first integer or boolean that is missing or
// of another type raises ERegistryException and ends the load there.
void LoadValues(TformMain* f, TRegistry& reg)
{
    // The bounds are the client area's, as the save takes them: a window
    // manager's frame is not known before the window is first shown.
    auto bound = [f](auto change) {
        QRect bounds = f->geometry();
        change(bounds);
        f->setGeometry(bounds);
    };
    bound([&](QRect& r) { r.moveTop(reg.ReadInteger("Top")); });
    bound([&](QRect& r) { r.setHeight(reg.ReadInteger("Height")); });
    bound([&](QRect& r) { r.moveLeft(reg.ReadInteger("Left")); });
    bound([&](QRect& r) { r.setWidth(reg.ReadInteger("Width")); });
    if (reg.ReadBool("Max"))
        f->setWindowState(f->windowState() | Qt::WindowMaximized);
    f->adminOptions = uint32_t(reg.ReadInteger("Delay"));
    f->distOptions = uint32_t(reg.ReadInteger("Split"));
    f->infoFormFlags = uint32_t(reg.ReadInteger("RTFM"));
    f->linkTimeoutMs = uint16_t(reg.ReadInteger("Wait"));
    PutTxStatus(f, 0, 32, reg.ReadInteger("Tx Status 1"));
    PutTxStatus(f, 32, kConfigItemCount - 32, reg.ReadInteger("Tx Status 2"));
    PutRadio(f->radioEnableLna, f->radioDisableLna, reg.ReadBool("Enable LNA"));
    f->boxHistFortnightly->setChecked(reg.ReadBool("Fortnightly Histogram"));
    f->boxReportFortnightly->setChecked(reg.ReadBool("Report Fortnightly"));
    f->boxLowVantBat->setChecked(reg.ReadBool("Low Q+ Battery"));
    f->boxLowVantRf->setChecked(reg.ReadBool("Low Q+ RF"));
    f->boxLowKvtBat->setChecked(reg.ReadBool("Low KVT Battery"));
    f->boxChangeViaSms->setChecked(reg.ReadBool("Change Via SMS"));
    PutClearAll(f, reg.ReadBool("Clear All Counters"));
    PutRadio(f->radioEcuActive, f->radioEcuInactive, reg.ReadBool("ECU Active"));
    f->boxEcuUsesSerial->setChecked(reg.ReadBool("ECU Uses Serial"));
    f->checkSendToRepeater->setChecked(reg.ReadBool("Message To Repeater"));
    PutRadio(f->radioGprs, f->radioSms, reg.ReadBool("Enable GPRS"));
    PutIndex(f->comboGsmBand, reg.ReadInteger("GSM Band"));
    PutIndex(f->comboRegion, reg.ReadInteger("Region"));
    PutIndex(f->comboPatrolHour, reg.ReadInteger("Patrol Hour"));
    PutIndex(f->comboPatrolMinute, reg.ReadInteger("Patrol Minute"));
    PutIndex(f->comboRetryHour, reg.ReadInteger("Retry Hour"));
    PutIndex(f->comboRetryMinute, reg.ReadInteger("Retry Minute"));
    PutIndex(f->comboPatrolDuration, reg.ReadInteger("Patrol Duration"));
    PutIndex(f->comboReportHour, reg.ReadInteger("Report Hour"));
    PutIndex(f->comboReportMinute, reg.ReadInteger("Report Minute"));
    PutIndex(f->comboStaggerDigits, reg.ReadInteger("Stagger Digits"));
    PutIndex(f->comboStaggerTime, reg.ReadInteger("Stagger Time"));
    PutIndex(f->comboReportFormat, reg.ReadInteger("Report Format"));
    PutIndex(f->comboLeakAlarm, reg.ReadInteger("Leak Alarm"));
    PutIndex(f->comboSmsRxDuration, reg.ReadInteger("SMS Rx Duration"));
    PutText(f->editGpsLat, reg.ReadString("GPS Latitude"));
    PutText(f->editGpsLong, reg.ReadString("GPS Longitude"));
    PutText(f->comboHostTel, reg.ReadString("Host Number"));
    PutText(f->comboEngineerTel, reg.ReadString("Engineer Number"));
    PutText(f->editAlarmMsg, reg.ReadString("Alarm Text"));
    PutText(f->editLowRfThresh, reg.ReadString("Low RF Threshold"));
    PutText(f->comboAlarmTel, reg.ReadString("Alarm Number"));
    PutText(f->editSerialNum, reg.ReadString("Serial Number"));
    PutText(f->editEcuNum, reg.ReadString("ECU Number"));
    PutText(f->comboTestTel, reg.ReadString("Test Number"));
    PutText(f->editApn, reg.ReadString("APN"));
    PutText(f->editGprsUser, reg.ReadString("GPRS Username"));
    PutText(f->editGprsPass, reg.ReadString("GPRS Password"));
    PutText(f->editFtpHost, reg.ReadString("FTP Host"));
    PutText(f->editFtpUser, reg.ReadString("FTP User ID"));
    PutText(f->editFtpPass, reg.ReadString("FTP Password"));
    PutText(f->editFtpFolder, reg.ReadString("FTP Folder"));
    PutText(f->editSimNumber, reg.ReadString("SIM Number"));
    // The book is not emptied first; a number already in it is not added again.
    for (unsigned n = 0; reg.ValueExists(PhonebookName(n)); ++n)
        AddNumberToLists(f, reg.ReadString(PhonebookName(n)));
    const auto messages = ManualMessages(f);
    for (size_t i = 0; i < messages.size(); ++i)
        PutTypedText(messages[i], reg.ReadString("MME" + std::to_string(i + 1)));
    f->spinnerTimeZone->setValue(reg.ReadInteger("Time Zone"));
    if (reg.ReadBool("Show Hints"))
        f->menuShowHints->trigger();
    for (int n = 0; n < f->viewDatabase->columnCount(); ++n)
        PutColumnWidth(f->viewDatabase, n, reg.ReadInteger(ColumnName(n)));
    f->pageKvt->setCurrentIndex(reg.ReadInteger("Active Config Page"));
    f->pageMain->setCurrentIndex(reg.ReadInteger("Active Main Page"));
    f->rfTestPatrolSeconds = uint8_t(reg.ReadInteger("Patrol Time"));
    f->debugCounters = uint32_t(reg.ReadInteger("Debug Counters"));
    f->patrolDays = uint32_t(reg.ReadInteger("Patrol Days"));
    SetPatrolDaysMask(f, uint8_t(f->patrolDays));
    PutEveryDay(f->boxPatrolDaily, reg.ReadBool("Patrol Daily"));
    f->reportDays = uint32_t(reg.ReadInteger("Report Days"));
    SetReportDaysMask(f, uint8_t(f->reportDays));
    PutEveryDay(f->boxReportDaily, reg.ReadBool("Report Daily"));
    f->histDays = uint32_t(reg.ReadInteger("Histogram Days"));
    SetHistDaysMask(f, uint8_t(f->histDays));
    PutEveryDay(f->boxHistDaily, reg.ReadBool("Daily Histogarm"));
}

void SaveValues(TformMain* f, TRegistry& reg)
{
    reg.WriteInteger("Language", int32_t(f->languageIndex));
    reg.WriteBool("Max", f->isMaximized());
    // The client area's bounds, which the load gives back as they were.
    const QPoint at = f->geometry().topLeft();
    const QSize size = f->size();
    reg.WriteInteger("Top", at.y());
    reg.WriteInteger("Height", size.height());
    reg.WriteInteger("Left", at.x());
    reg.WriteInteger("Width", size.width());
    reg.WriteInteger("Delay", int32_t(f->adminOptions));
    reg.WriteInteger("Split", int32_t(f->distOptions));
    reg.WriteInteger("RTFM", int32_t(f->infoFormFlags));
    reg.WriteInteger("Wait", f->linkTimeoutMs);
    reg.WriteInteger("Tx Status 1", TxStatus(f, 0, 32));
    reg.WriteInteger("Tx Status 2", TxStatus(f, 32, kConfigItemCount - 32));
    reg.WriteBool("Patrol Daily", f->boxPatrolDaily->isChecked());
    reg.WriteBool("Report Daily", f->boxReportDaily->isChecked());
    reg.WriteBool("Enable LNA", f->radioEnableLna->isChecked());
    reg.WriteBool("Daily Histogarm", f->boxHistDaily->isChecked());
    reg.WriteBool("Fortnightly Histogram", f->boxHistFortnightly->isChecked());
    reg.WriteBool("Report Fortnightly", f->boxReportFortnightly->isChecked());
    reg.WriteBool("Low Q+ Battery", f->boxLowVantBat->isChecked());
    reg.WriteBool("Low Q+ RF", f->boxLowVantRf->isChecked());
    reg.WriteBool("Low KVT Battery", f->boxLowKvtBat->isChecked());
    reg.WriteBool("Change Via SMS", f->boxChangeViaSms->isChecked());
    reg.WriteBool("Clear All Counters", f->boxClearAll->isChecked());
    reg.WriteBool("ECU Active", f->radioEcuActive->isChecked());
    reg.WriteBool("ECU Uses Serial", f->boxEcuUsesSerial->isChecked());
    reg.WriteBool("Message To Repeater", f->checkSendToRepeater->isChecked());
    reg.WriteBool("Enable GPRS", f->radioGprs->isChecked());
    reg.WriteInteger("GSM Band", f->comboGsmBand->currentIndex());
    reg.WriteInteger("Region", f->comboRegion->currentIndex());
    reg.WriteInteger("Patrol Hour", f->comboPatrolHour->currentIndex());
    reg.WriteInteger("Patrol Minute", f->comboPatrolMinute->currentIndex());
    reg.WriteInteger("Retry Hour", f->comboRetryHour->currentIndex());
    reg.WriteInteger("Retry Minute", f->comboRetryMinute->currentIndex());
    reg.WriteInteger("Patrol Duration", f->comboPatrolDuration->currentIndex());
    reg.WriteInteger("Report Hour", f->comboReportHour->currentIndex());
    reg.WriteInteger("Report Minute", f->comboReportMinute->currentIndex());
    reg.WriteInteger("Stagger Digits", f->comboStaggerDigits->currentIndex());
    reg.WriteInteger("Stagger Time", f->comboStaggerTime->currentIndex());
    reg.WriteInteger("Report Format", f->comboReportFormat->currentIndex());
    reg.WriteInteger("Leak Alarm", f->comboLeakAlarm->currentIndex());
    reg.WriteInteger("SMS Rx Duration", f->comboSmsRxDuration->currentIndex());
    reg.WriteString("GPS Latitude", Text(f->editGpsLat));
    reg.WriteString("GPS Longitude", Text(f->editGpsLong));
    reg.WriteString("Host Number", Text(f->comboHostTel));
    reg.WriteString("Engineer Number", Text(f->comboEngineerTel));
    reg.WriteString("Alarm Number", Text(f->comboAlarmTel));
    reg.WriteString("Alarm Text", Text(f->editAlarmMsg));
    reg.WriteString("Low RF Threshold", Text(f->editLowRfThresh));
    reg.WriteString("Serial Number", Text(f->editSerialNum));
    reg.WriteString("ECU Number", Text(f->editEcuNum));
    reg.WriteString("Test Number", Text(f->comboTestTel));
    reg.WriteString("APN", Text(f->editApn));
    reg.WriteString("GPRS Username", Text(f->editGprsUser));
    reg.WriteString("GPRS Password", Text(f->editGprsPass));
    reg.WriteString("FTP Host", Text(f->editFtpHost));
    reg.WriteString("FTP User ID", Text(f->editFtpUser));
    reg.WriteString("FTP Password", Text(f->editFtpPass));
    reg.WriteString("FTP Folder", Text(f->editFtpFolder));
    reg.WriteString("SIM Number", Text(f->editSimNumber));
    // The book up to its first empty entry, then away with what is left of
    // a longer book of an earlier run.
    unsigned n = 0;
    for (std::string entry = GetPhoneListItem(f, uint16_t(n)); !entry.empty();
         entry = GetPhoneListItem(f, uint16_t(++n)))
        reg.WriteString(PhonebookName(n), entry);
    for (unsigned k = n; reg.ValueExists(PhonebookName(k)); ++k)
        reg.DeleteValue(PhonebookName(k));
    const auto messages = ManualMessages(f);
    for (size_t i = 0; i < messages.size(); ++i)
        reg.WriteString("MME" + std::to_string(i + 1), TypedText(messages[i]));
    reg.WriteInteger("Time Zone", f->spinnerTimeZone->value());
    reg.WriteBool("Show Hints", f->menuShowHints->isChecked());
    reg.WriteInteger("Active Config Page", f->pageKvt->currentIndex());
    reg.WriteInteger("Active Main Page", f->pageMain->currentIndex());
    reg.WriteInteger("Patrol Time", f->rfTestPatrolSeconds);
    reg.WriteInteger("Debug Counters", int32_t(f->debugCounters));
    reg.WriteInteger("Patrol Days", DaysToSave(f->boxPatrolDaily, f->patrolDays, GetPatrolDaysMask(f)));
    reg.WriteInteger("Report Days", DaysToSave(f->boxReportDaily, f->reportDays, GetReportDaysMask(f)));
    reg.WriteInteger("Histogram Days", DaysToSave(f->boxHistDaily, f->histDays, GetHistDaysMask(f)));
    for (int c = 0; c < f->viewDatabase->columnCount(); ++c)
        reg.WriteInteger(ColumnName(c), f->viewDatabase->columnWidth(c));
}

} // namespace

void LoadRegistrySettings(TformMain* form)
{
    TRegistry reg(KEY_READ);
    reg.SetRootKey(HKEY_CURRENT_USER);
    try {
        reg.OpenKeyReadOnly(kProductKey);
        LoadValues(form, reg);
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
    SaveValues(form, reg);
    form->portVigilator->StoreSettings(stRegistry, kProductRegistryPath);
    reg.CloseKey();
    batch.Commit();
}
