#include "app/Validate.h"

#include "app/Main.h"
#include "link/Requests.h"

#include <QLineEdit>

namespace {

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

// The number validators read their fields with the builders' own readers,
// so that what passes is exactly what is sent.

TItemResult ValidateLowRfThreshold(TformMain* form) { return LowRfThresholdValue(form) ? irValid : irInvalid; }

TItemResult ValidateEcuNumber(TformMain* form) { return EcuNumberValue(form) ? irValid : irInvalid; }

TItemResult ValidateSerialNumber(TformMain* form) { return SerialNumberValue(form) ? irValid : irInvalid; }

// ---------------------------------------------------------------- one entry

TItemResult ValidateEntryInput(TformMain* form, int index)
{
    if (form == nullptr || index < 0 || index >= kConfigItemCount)
        return irInvalid;
    const TConfigItem& item = form->configItems[size_t(index)];
    if (item.validate && item.validate(form) != irValid)
        return irInvalid;
    if (!item.request)
        return irValid;
    // The builder may ask which entry it is sending for, as it does when sending.
    const int32_t kept = form->itemIndex;
    form->itemIndex = index;
    const bool buildable = RequestCanBeBuilt(form, item.request, item.code);
    form->itemIndex = kept;
    return buildable ? irValid : irInvalid;
}
