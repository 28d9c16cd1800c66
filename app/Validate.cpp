#include "app/Validate.h"

#include "app/Main.h"
#include "link/Requests.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

namespace {

// An integer as the user typed it, or `fallback` when the text is not one.
long long IntegerOr(const QString& text, int base, long long fallback)
{
    bool ok = false;
    const long long value = text.toLongLong(&ok, base);
    return ok ? value : fallback;
}

// One co-ordinate field: stripped and written back, then read as a number
// rounded to single precision; an empty field is 0, a field that is not a
// number gives 999, which no range admits.
float ReadCoordinate(QLineEdit* edit)
{
    const std::string text = StripBlanks(edit->text().toStdString());
    edit->setText(QString::fromStdString(text));
    if (text.empty())
        return 0.0f;
    return float(ParseDecimalText(text).value_or(999.0));
}

} // namespace

// ---------------------------------------------------------------- validators

TItemResult ValidateGpsCoords(TformMain* form)
{
    const float latitude = ReadCoordinate(form->editGpsLat);
    const float longitude = ReadCoordinate(form->editGpsLong);
    // Written so that a NaN fails as well.
    const bool valid = latitude >= -90.0f && latitude <= 90.0f && longitude >= -180.0f && longitude <= 180.0f;
    return valid ? irValid : irInvalid;
}

TItemResult ValidateLowRfThreshold(TformMain* form)
{
    const long long value = IntegerOr(form->editLowRfThresh->text(), 10, -1);
    return value >= 0 && value <= 255 ? irValid : irInvalid;
}

TItemResult ValidateEcuNumber(TformMain* form)
{
    if (form->boxEcuUsesSerial->isChecked())
        return irValid;
    const long long value = IntegerOr("0x" + form->editEcuNum->text(), 16, -1);
    return value >= 0 && value <= 0xFFFF ? irValid : irInvalid;
}

TItemResult ValidateSerialNumber(TformMain* form)
{
    const long long value = IntegerOr(form->editSerialNum->text(), 10, -1);
    return value >= 0 && value < 13000000 ? irValid : irInvalid;
}

// ---------------------------------------------------------------- one entry

namespace {

// The value of a text entry does not fit the record.
bool TextTooLong(TformMain* form, const QCheckBox* box)
{
    if (box == form->boxHostTel)
        return !TelNumberFitsRecord(form->comboHostTel->currentText().toStdString());
    if (box == form->boxEngTel)
        return !TelNumberFitsRecord(form->comboEngineerTel->currentText().toStdString());
    if (box == form->boxSimNumber)
        return !TelNumberFitsRecord(form->editSimNumber->text().toStdString());
    const std::pair<QCheckBox*, QLineEdit*> textEdits[] = {
        {form->boxApn, form->editApn},           {form->boxGprsUser, form->editGprsUser},
        {form->boxGprsPass, form->editGprsPass}, {form->boxFtpHost, form->editFtpHost},
        {form->boxFtpUser, form->editFtpUser},   {form->boxFtpPass, form->editFtpPass},
        {form->boxFtpFolder, form->editFtpFolder},
    };
    for (const auto& [itemBox, edit] : textEdits)
        if (box == itemBox)
            return !TextFitsRecord(edit->text().toStdString());
    return false;
}

// A list entry whose drop-down list (or one of two) has nothing selected.
bool NothingPicked(TformMain* form, const QCheckBox* box)
{
    const std::pair<QCheckBox*, std::array<QComboBox*, 2>> lists[] = {
        {form->boxGsmBand, {form->comboGsmBand, nullptr}},
        {form->boxRegion, {form->comboRegion, nullptr}},
        {form->boxPatrolTime, {form->comboPatrolHour, form->comboPatrolMinute}},
        {form->boxRetryTime, {form->comboRetryHour, form->comboRetryMinute}},
        {form->boxReportTime, {form->comboReportHour, form->comboReportMinute}},
        {form->boxStagger, {form->comboStaggerDigits, form->comboStaggerTime}},
        {form->boxReportFormat, {form->comboReportFormat, nullptr}},
        {form->boxAlarmReport, {form->comboLeakAlarm, nullptr}},
        {form->boxPatrolDuration, {form->comboPatrolDuration, nullptr}},
        {form->boxRxDuration, {form->comboSmsRxDuration, nullptr}},
    };
    for (const auto& [itemBox, combos] : lists)
        if (box == itemBox)
            for (const QComboBox* combo : combos)
                if (combo != nullptr && combo->currentIndex() < 0)
                    return true;
    return false;
}

} // namespace

TItemResult ValidateEntryInput(TformMain* form, int index)
{
    if (form == nullptr || index < 0 || index >= kConfigItemCount)
        return irInvalid;
    const TConfigItem& item = form->configItems[size_t(index)];
    if (item.validate && item.validate(form) != irValid)
        return irInvalid;
    if (TextTooLong(form, item.box) || NothingPicked(form, item.box))
        return irInvalid;
    if (item.request && !RequestCanBeBuilt(form, item.request, item.code))
        return irInvalid;
    return irValid;
}
