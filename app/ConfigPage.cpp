#include "app/ConfigPage.h"

#include "app/Main.h"
#include "link/Requests.h"
#include "platform/ExceptionDisplay.h"

#include <QCheckBox>
#include <QComboBox>
#include <QValidator>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <array>
#include <unordered_set>

namespace {

const char* const kAddCaption = "Add to List";

std::array<QComboBox*, 4> PhoneCombos(TformMain* form)
{
    return {form->comboHostTel, form->comboEngineerTel, form->comboTestTel, form->comboAlarmTel};
}

std::array<QPushButton*, 4> PhoneButtons(TformMain* form)
{
    return {form->btnHostNum, form->btnEngNum, form->btnTestNum, form->btnAlarmNum};
}

QComboBox* ComboOfButton(TformMain* form, const QPushButton* button)
{
    const auto buttons = PhoneButtons(form);
    for (size_t i = 0; i < buttons.size(); ++i)
        if (buttons[i] == button)
            return PhoneCombos(form)[i];
    return nullptr;
}

QPushButton* ButtonOfCombo(TformMain* form, const QComboBox* combo)
{
    const auto combos = PhoneCombos(form);
    for (size_t i = 0; i < combos.size(); ++i)
        if (combos[i] == combo)
            return PhoneButtons(form)[i];
    return nullptr;
}

// Puts a combo's edit text back whole. A loaded text may be longer than the
// field's typing limit (its limit was raised while it is so); the list change
// that replaced it has lowered the limit again, and setEditText would cut it.
void RestoreEditText(QComboBox* combo, const QString& text)
{
    if (QLineEdit* edit = combo->lineEdit(); edit && text.size() > edit->maxLength())
        edit->setMaxLength(int(text.size()));
    combo->setEditText(text);
}

// Changing a combo's list must not change what its edit field shows.
template <class F>
void KeepingEditText(QComboBox* combo, F&& change)
{
    const QString text = combo->currentText();
    const int index = combo->currentIndex();
    change();
    if (combo->currentIndex() != index && index < combo->count())
        combo->setCurrentIndex(index);
    if (combo->currentText() != text)
        RestoreEditText(combo, text);
}

uint8_t GetMask(const std::array<QCheckBox*, 7>& boxes)
{
    uint8_t mask = 0;
    for (size_t i = 0; i < boxes.size(); ++i)
        if (boxes[i] != nullptr && boxes[i]->isChecked())
            mask |= uint8_t(1u << i);
    return mask;
}

void SetMask(const std::array<QCheckBox*, 7>& boxes, uint32_t mask)
{
    for (size_t i = 0; i < boxes.size(); ++i)
        if (boxes[i] != nullptr)
            boxes[i]->setChecked((mask >> i) & 1u);
}

void EveryDayClick(QCheckBox* everyDay, const std::array<QCheckBox*, 7>& boxes, uint32_t& remembered)
{
    if (everyDay->isChecked()) {
        remembered = GetMask(boxes);
        for (QCheckBox* box : boxes) {
            box->setChecked(true);
            box->setEnabled(false);
        }
    } else {
        for (QCheckBox* box : boxes)
            box->setEnabled(true);
        SetMask(boxes, remembered);
    }
}

std::array<QCheckBox*, 14> DebugClearBoxes(TformMain* form)
{
    return {form->boxClearSmsSuccess, form->boxClearSmsFail,    form->boxClearCc1100,
            form->boxClearLogonFail,  form->boxClearSimFail,    form->boxClearModemFail,
            form->boxClearSmsRx,      form->boxClearSMSSuccLog, form->boxClearSmsFailLog,
            form->boxClearCc1100FailLog, form->boxClearLogonFailLog, form->boxClearSimFailLog,
            form->boxClearModemFailLog, form->boxClearRxSmsLog};
}

// Key presses in the telephone combos and clicks on the Clear All label.
class ConfigPageFilter : public QObject {
public:
    explicit ConfigPageFilter(TformMain* form) : QObject(form), form_(form) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            // Typed characters only, as a key press of the list's edit field;
            // the key itself goes on unchanged. Tab types nothing: it moves
            // the focus on.
            const auto* key = static_cast<QKeyEvent*>(event);
            if (!key->text().isEmpty() && key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab)
                for (QComboBox* combo : PhoneCombos(form_))
                    if (watched == combo || watched == combo->lineEdit())
                        platform::Guarded([this, combo] { comboHostTelKeyPress(form_, combo); });
        } else if (event->type() == QEvent::MouseButtonRelease && watched == form_->textClearAll) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton && form_->textClearAll->rect().contains(mouse->position().toPoint()))
                platform::Guarded([this] { textClearAllClick(form_); });
        }
        return false;
    }

private:
    TformMain* form_;
};

// Turns what is typed into upper case; accepts everything else as it is.
class UpperCaseValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        input = input.toUpper();
        return Acceptable;
    }
};

} // namespace

// ---------------------------------------------------------------- telephone book

std::string GetPhoneListItem(TformMain* form, uint16_t index)
{
    if (index >= form->comboHostTel->count())
        return "";
    return form->comboHostTel->itemText(index).toStdString();
}

void AddNumberToLists(TformMain* form, const std::string& number)
{
    AddNumbersToLists(form, {number});
}

void AddNumbersToLists(TformMain* form, const std::vector<std::string>& numbers)
{
    // One pass over the book, then a set: a book of tens of thousands of
    // numbers loads in linear time.
    std::unordered_set<std::string> present;
    for (int i = 0; i < form->comboHostTel->count(); ++i)
        present.insert(StripBlanks(form->comboHostTel->itemText(i).toStdString()));
    QStringList added;
    for (const std::string& number : numbers) {
        if (size_t(form->comboHostTel->count() + added.size()) >= kPhoneBookLimit)
            break;
        std::string wanted = StripBlanks(number);
        // Blanks alone are no number.
        if (!wanted.empty() && present.insert(std::move(wanted)).second)
            added.push_back(QString::fromStdString(number));
    }
    if (added.isEmpty())
        return;
    for (QComboBox* combo : PhoneCombos(form))
        KeepingEditText(combo, [combo, &added] { combo->addItems(added); });
}

void RemoveNumberFromLists(TformMain* form, const std::string& number)
{
    const QString wanted = QString::fromStdString(number);
    int index = 0;
    while (index < form->comboHostTel->count() && form->comboHostTel->itemText(index) != wanted)
        ++index;
    if (index >= form->comboHostTel->count())
        return;
    for (QComboBox* combo : PhoneCombos(form)) {
        if (index >= combo->count())
            continue;
        const QString text = combo->currentText();
        combo->removeItem(index);
        if (combo->currentText() != text)
            RestoreEditText(combo, text);
    }
}

void btnHostNumClick(TformMain* form, QPushButton* sender)
{
    QComboBox* combo = ComboOfButton(form, sender);
    if (combo == nullptr)
        return;
    const std::string number = combo->currentText().toStdString();
    if (number.empty())
        return;
    if (sender->text() == kAddCaption) {
        AddNumberToLists(form, number);
    } else {
        RemoveNumberFromLists(form, number);
        SetAddToListButton(sender);
    }
}

void comboHostTelClick(TformMain* form, QComboBox* sender)
{
    if (QPushButton* button = ButtonOfCombo(form, sender))
        SetDeleteFromListButton(button);
}

void comboHostTelKeyPress(TformMain* form, QComboBox* sender)
{
    if (QPushButton* button = ButtonOfCombo(form, sender))
        SetAddToListButton(button);
}

// ---------------------------------------------------------------- day masks

uint8_t GetPatrolDaysMask(TformMain* form) { return GetMask(form->patrolDayBoxes); }
uint8_t GetReportDaysMask(TformMain* form) { return GetMask(form->reportDayBoxes); }
uint8_t GetHistDaysMask(TformMain* form) { return GetMask(form->histDayBoxes); }
void SetPatrolDaysMask(TformMain* form, uint8_t mask) { SetMask(form->patrolDayBoxes, mask); }
void SetReportDaysMask(TformMain* form, uint8_t mask) { SetMask(form->reportDayBoxes, mask); }
void SetHistDaysMask(TformMain* form, uint8_t mask) { SetMask(form->histDayBoxes, mask); }

void boxPatrolDailyClick(TformMain* form) { EveryDayClick(form->boxPatrolDaily, form->patrolDayBoxes, form->patrolDays); }
void boxReportDailyClick(TformMain* form) { EveryDayClick(form->boxReportDaily, form->reportDayBoxes, form->reportDays); }
void boxHistDailyClick(TformMain* form) { EveryDayClick(form->boxHistDaily, form->histDayBoxes, form->histDays); }

// ---------------------------------------------------------------- clear all debug data

uint32_t GetDebugClearMask(TformMain* form)
{
    uint32_t mask = 0;
    const auto boxes = DebugClearBoxes(form);
    for (size_t i = 0; i < boxes.size(); ++i)
        if (boxes[i]->isChecked())
            mask |= 1u << i;
    return mask;
}

void boxClearAllClick(TformMain* form)
{
    const auto boxes = DebugClearBoxes(form);
    if (form->boxClearAll->isChecked()) {
        form->debugCounters = GetDebugClearMask(form);
        for (QCheckBox* box : boxes) {
            box->setChecked(true);
            box->setEnabled(false);
        }
        form->labelClearData->setEnabled(false);
    } else {
        for (size_t i = 0; i < boxes.size(); ++i) {
            boxes[i]->setEnabled(true);
            boxes[i]->setChecked((form->debugCounters >> i) & 1u);
        }
        form->labelClearData->setEnabled(true);
    }
}

void textClearAllClick(TformMain* form) { form->boxClearAll->setChecked(!form->boxClearAll->isChecked()); }

// ---------------------------------------------------------------- wiring

void WireConfigPage(TformMain* form)
{
    static const char* const kWired = "configPageWired";
    if (form->property(kWired).toBool())
        return;
    form->setProperty(kWired, true);

    form->comboHostTel->lineEdit()->setMaxLength(200);
    for (QComboBox* combo : {form->comboEngineerTel, form->comboTestTel, form->comboAlarmTel})
        combo->lineEdit()->setMaxLength(50);

    auto* filter = new ConfigPageFilter(form);
    for (QComboBox* combo : PhoneCombos(form)) {
        combo->installEventFilter(filter);
        if (combo->lineEdit())
            combo->lineEdit()->installEventFilter(filter);
        QObject::connect(combo, &QComboBox::activated, form,
                         [form, combo](int) { platform::Guarded([form, combo] { comboHostTelClick(form, combo); }); });
    }
    form->textClearAll->installEventFilter(filter);
    // The hexadecimal ECU number and the threshold are typed in upper case.
    for (QLineEdit* edit : {form->editLowRfThresh, form->editEcuNum})
        edit->setValidator(new UpperCaseValidator(edit));
    for (QPushButton* button : PhoneButtons(form))
        QObject::connect(button, &QPushButton::clicked, form,
                         [form, button] { platform::Guarded([form, button] { btnHostNumClick(form, button); }); });

    const std::pair<QCheckBox*, void (*)(TformMain*)> boxes[] = {
        {form->boxPatrolDaily, boxPatrolDailyClick},
        {form->boxReportDaily, boxReportDailyClick},
        {form->boxHistDaily, boxHistDailyClick},
        {form->boxClearAll, boxClearAllClick},
    };
    for (const auto& [box, handler] : boxes)
        QObject::connect(box, &QCheckBox::toggled, form,
                         [form, handler = handler](bool) { platform::Guarded([form, handler] { handler(form); }); });
}
