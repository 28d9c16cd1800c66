#pragma once
// Controls that pick one setting of a serial port from a list: a drop-down
// list and a group of radio buttons. Each lists the possible values of one
// property of its port, shows the port's current value and writes the chosen
// value back on request (ApplySettings) or at once (AutoApply).
#include "serial/PortCore.h"

#include <QComboBox>
#include <QGroupBox>
#include <QMetaObject>
#include <memory>
#include <string>
#include <vector>

class QButtonGroup;
class QRadioButton;
class QVBoxLayout;

enum TComProperty : uint8_t { cpNone, cpPort, cpBaudRate, cpDataBits, cpStopBits, cpParity, cpFlowControl };

// The item list a selector fills: the control's own list of texts.
class TComItems {
public:
    virtual ~TComItems() = default;
    virtual void Clear() = 0;
    virtual void Add(const std::string& text) = 0;
    virtual int Count() const = 0;
    virtual std::string Get(int index) const = 0;
    // Position of the item with exactly this text, letter case ignored; -1 if none.
    int IndexOf(const std::string& text) const;
};

// The selection logic both controls share.
class TComSelect {
public:
    std::string Port;
    TBaudRate BaudRate = brCustom;
    TDataBits DataBits = dbFive;
    TStopBits StopBits = sbOneStopBit;
    TParityBits Parity = prNone;
    TFlowControl FlowControl = fcHardware;
    TComItems* Items = nullptr;
    TComProperty ComProperty = cpNone;
    TCustomComPort* ComPort = nullptr;
    bool AutoApply = false;

    void SelectPort();
    void SelectBaudRate();
    void SelectDataBits();
    void SelectStopBits();
    void SelectParity();
    void SelectFlowControl();
    void SetComProperty(TComProperty value);
    void Change(const std::string& text);
    void ApplySettings();
    void UpdateSettings(int& itemIndex);

private:
    void Parse(const std::string& text);
};

class TComComboBox : public QComboBox {
public:
    explicit TComComboBox(QWidget* parent = nullptr);
    ~TComComboBox() override;

    TCustomComPort* ComPort() const { return select_->ComPort; }
    void SetComPort(TCustomComPort* value);
    TComProperty ComProperty() const { return select_->ComProperty; }
    void SetComProperty(TComProperty value);
    bool AutoApply() const { return select_->AutoApply; }
    void SetAutoApply(bool value) { select_->AutoApply = value; }

    int ItemIndex() const { return currentIndex(); }
    void SetItemIndex(int index) { setCurrentIndex(index); }
    std::string Text() const;
    void SetText(const std::string& value);

    void UpdateSettings();
    void ApplySettings();

    // Raised after a choice of the user has reached the selector.
    TNotifyEvent OnChange;

    const TComSelect& Selector() const { return *select_; }

protected:
    // The user's choice: hand the text to the selector, then OnChange.
    virtual void Change();

private:
    class Items;
    void PortGone();

    std::unique_ptr<TComSelect> select_;
    std::unique_ptr<Items> items_;
    QMetaObject::Connection portGone_;
};

class TComRadioGroup : public QGroupBox {
public:
    explicit TComRadioGroup(QWidget* parent = nullptr);
    ~TComRadioGroup() override;

    TCustomComPort* ComPort() const { return select_->ComPort; }
    void SetComPort(TCustomComPort* value);
    TComProperty ComProperty() const { return select_->ComProperty; }
    void SetComProperty(TComProperty value);
    bool AutoApply() const { return select_->AutoApply; }
    void SetAutoApply(bool value) { select_->AutoApply = value; }

    int ItemIndex() const;
    void SetItemIndex(int index);
    QRadioButton* Button(int index) const;

    void UpdateSettings();
    void ApplySettings();

    // Raised after every click on a button, also on the one already chosen.
    TNotifyEvent OnClick;

    const TComSelect& Selector() const { return *select_; }

protected:
    virtual void Click();

private:
    class Items;
    void PortGone();

    std::unique_ptr<TComSelect> select_;
    std::unique_ptr<Items> items_;
    int prevIndex_ = -1;
    QMetaObject::Connection portGone_;
    QButtonGroup* group_ = nullptr;
    QVBoxLayout* layout_ = nullptr;
};
