#include "serial/PortControls.h"

#include "platform/ExceptionDisplay.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

// ------------------------------------------------------------------ items

int TComItems::IndexOf(const std::string& text) const
{
    const QString wanted = QString::fromStdString(text);
    for (int i = 0; i < Count(); ++i)
        if (QString::fromStdString(Get(i)).compare(wanted, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

// ------------------------------------------------------------------ selector

namespace {

// The items: the texts of the values from `first` to `last`, in that order.
template <class Value>
void ListValues(TComItems* items, Value first, Value last, std::string (*text)(Value))
{
    items->Clear();
    for (int v = first; v <= last; ++v)
        items->Add(text(Value(v)));
}

// A control bound to `value` instead of its port: it follows the new port's
// end through `gone` and lists its current value (showCurrent).
template <class Gone, class Show>
void BindPort(QObject* control, TComSelect& select, QMetaObject::Connection& connection, TCustomComPort* value,
              Gone gone, Show showCurrent)
{
    if (value == select.ComPort)
        return;
    QObject::disconnect(connection);
    select.ComPort = value;
    if (value) {
        connection = QObject::connect(value, &QObject::destroyed, control, gone);
        showCurrent();
    }
}

} // namespace

void TComSelect::SelectPort()
{
    Items->Clear();
    std::vector<std::string> ports;
    EnumComPorts(ports);
    for (const std::string& name : ports)
        Items->Add(name);
}

void TComSelect::SelectBaudRate()
{
    ListValues(Items, brCustom, br256000, BaudRateToStr);
}

void TComSelect::SelectDataBits()
{
    ListValues(Items, dbFive, dbEight, DataBitsToStr);
}

void TComSelect::SelectStopBits()
{
    ListValues(Items, sbOneStopBit, sbTwoStopBits, StopBitsToStr);
}

void TComSelect::SelectParity()
{
    ListValues(Items, prNone, prSpace, ParityToStr);
}

void TComSelect::SelectFlowControl()
{
    ListValues(Items, fcHardware, fcCustom, FlowControlToStr);
}

void TComSelect::SetComProperty(TComProperty value)
{
    ComProperty = value;
    switch (value) {
    case cpPort: SelectPort(); break;
    case cpBaudRate: SelectBaudRate(); break;
    case cpDataBits: SelectDataBits(); break;
    case cpStopBits: SelectStopBits(); break;
    case cpParity: SelectParity(); break;
    case cpFlowControl: SelectFlowControl(); break;
    default: Items->Clear(); break;
    }
}

void TComSelect::Parse(const std::string& text)
{
    switch (ComProperty) {
    case cpPort: Port = text; break;
    case cpBaudRate: BaudRate = StrToBaudRate(text); break;
    case cpDataBits: DataBits = StrToDataBits(text); break;
    case cpStopBits: StopBits = StrToStopBits(text); break;
    case cpParity: Parity = StrToParity(text); break;
    case cpFlowControl: FlowControl = StrToFlowControl(text); break;
    default: break;
    }
}

void TComSelect::Change(const std::string& text)
{
    Parse(text);
    if (AutoApply)
        ApplySettings();
}

void TComSelect::ApplySettings()
{
    if (!ComPort)
        return;
    switch (ComProperty) {
    case cpPort: ComPort->SetPort(Port); break;
    case cpBaudRate: ComPort->SetBaudRate(BaudRate); break;
    case cpDataBits: ComPort->SetDataBits(DataBits); break;
    case cpStopBits: ComPort->SetStopBits(StopBits); break;
    case cpParity: ComPort->Parity()->SetBits(Parity); break;
    case cpFlowControl: ComPort->FlowControl()->SetFlowControl(FlowControl); break;
    default: break;
    }
}

void TComSelect::UpdateSettings(int& itemIndex)
{
    if (!ComPort || ComProperty == cpNone)
        return;
    std::string current;
    switch (ComProperty) {
    case cpPort: current = ComPort->Port(); break;
    case cpBaudRate: current = BaudRateToStr(ComPort->BaudRate()); break;
    case cpDataBits: current = DataBitsToStr(ComPort->DataBits()); break;
    case cpStopBits: current = StopBitsToStr(ComPort->StopBits()); break;
    case cpParity: current = ParityToStr(ComPort->Parity()->Bits()); break;
    case cpFlowControl: current = FlowControlToStr(ComPort->FlowControl()->GetFlowControl()); break;
    default: return;
    }
    itemIndex = Items->IndexOf(current);
    if (itemIndex > -1)
        Parse(Items->Get(itemIndex));
}

// ------------------------------------------------------------------ combo box

class TComComboBox::Items : public TComItems {
public:
    explicit Items(QComboBox& box) : box_(box) {}
    void Clear() override { box_.clear(); }
    void Add(const std::string& text) override { box_.addItem(QString::fromStdString(text)); }
    int Count() const override { return box_.count(); }
    std::string Get(int index) const override { return box_.itemText(index).toStdString(); }

private:
    QComboBox& box_;
};

TComComboBox::TComComboBox(QWidget* parent)
    : QComboBox(parent), select_(std::make_unique<TComSelect>()), items_(std::make_unique<Items>(*this))
{
    select_->Items = items_.get();
    setEditable(false); // a drop-down list: only the listed texts can be chosen
    // Only the user's choice counts: a selection made from code is no change.
    connect(this, &QComboBox::activated, this, [this](int) { platform::Guarded([this] { Change(); }); });
}

TComComboBox::~TComComboBox()
{
    QObject::disconnect(portGone_);
    select_->Items = nullptr;
}

void TComComboBox::SetComPort(TCustomComPort* value)
{
    BindPort(this, *select_, portGone_, value, [this] { PortGone(); }, [this] { UpdateSettings(); });
}

void TComComboBox::PortGone()
{
    select_->ComPort = nullptr;
    portGone_ = {};
    if (count() > 0)
        SetItemIndex(0);
}

void TComComboBox::SetComProperty(TComProperty value)
{
    select_->SetComProperty(value);
    if (count() > 0)
        UpdateSettings();
}

std::string TComComboBox::Text() const
{
    const int index = currentIndex();
    return index < 0 ? std::string() : itemText(index).toStdString();
}

void TComComboBox::SetText(const std::string& value)
{
    const int index = items_->IndexOf(value);
    if (index > -1)
        SetItemIndex(index);
}

void TComComboBox::UpdateSettings()
{
    int index = 0;
    select_->UpdateSettings(index);
    SetItemIndex(index);
}

void TComComboBox::ApplySettings() { select_->ApplySettings(); }

void TComComboBox::Change()
{
    select_->Change(Text());
    if (OnChange)
        OnChange(this);
}

// ------------------------------------------------------------------ radio group

class TComRadioGroup::Items : public TComItems {
public:
    explicit Items(TComRadioGroup& group) : group_(group) {}
    void Clear() override
    {
        for (QAbstractButton* b : group_.group_->buttons()) {
            group_.group_->removeButton(b);
            delete b;
        }
        buttons_.clear();
    }
    void Add(const std::string& text) override
    {
        auto* b = new QRadioButton(QString::fromStdString(text), &group_);
        group_.group_->addButton(b, int(buttons_.size()));
        group_.layout_->addWidget(b);
        buttons_.push_back(b);
    }
    int Count() const override { return int(buttons_.size()); }
    std::string Get(int index) const override { return buttons_.at(size_t(index))->text().toStdString(); }
    QRadioButton* Button(int index) const
    {
        return index >= 0 && index < Count() ? buttons_[size_t(index)] : nullptr;
    }

private:
    TComRadioGroup& group_;
    std::vector<QRadioButton*> buttons_;
};

TComRadioGroup::TComRadioGroup(QWidget* parent)
    : QGroupBox(parent), select_(std::make_unique<TComSelect>()), items_(std::make_unique<Items>(*this))
{
    select_->Items = items_.get();
    group_ = new QButtonGroup(this);
    group_->setExclusive(true);
    layout_ = new QVBoxLayout(this);
    connect(group_, &QButtonGroup::idClicked, this, [this](int) { platform::Guarded([this] { Click(); }); });
}

TComRadioGroup::~TComRadioGroup()
{
    QObject::disconnect(portGone_);
    select_->Items = nullptr;
}

QRadioButton* TComRadioGroup::Button(int index) const { return items_->Button(index); }

int TComRadioGroup::ItemIndex() const { return group_->checkedId(); }

void TComRadioGroup::SetItemIndex(int index)
{
    if (QRadioButton* b = items_->Button(index)) {
        b->setChecked(true);
        return;
    }
    // No item: an exclusive group will not let its last checked button go.
    group_->setExclusive(false);
    for (QAbstractButton* b : group_->buttons())
        b->setChecked(false);
    group_->setExclusive(true);
}

void TComRadioGroup::SetComPort(TCustomComPort* value)
{
    BindPort(this, *select_, portGone_, value, [this] { PortGone(); }, [this] { UpdateSettings(); });
}

void TComRadioGroup::PortGone()
{
    select_->ComPort = nullptr;
    portGone_ = {};
    if (items_->Count() > 0) {
        SetItemIndex(0);
        prevIndex_ = 0;
    }
}

void TComRadioGroup::SetComProperty(TComProperty value)
{
    select_->SetComProperty(value);
    if (items_->Count() > 0)
        UpdateSettings();
}

void TComRadioGroup::UpdateSettings()
{
    int index = 0;
    select_->UpdateSettings(index);
    SetItemIndex(index);
    prevIndex_ = index;
}

void TComRadioGroup::ApplySettings() { select_->ApplySettings(); }

void TComRadioGroup::Click()
{
    const int index = ItemIndex();
    if (index != prevIndex_) {
        if (index > -1)
            select_->Change(items_->Get(index));
        prevIndex_ = index;
    }
    if (OnClick)
        OnClick(this);
}
