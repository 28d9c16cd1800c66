#include "serial/PortSetup.h"

#include "platform/Modal.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>

TComSetupFrm::TComSetupFrm(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Setup");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(231, 216);
    QFont f = font();
    f.setPixelSize(11);
    setFont(f);

    Button1 = new QPushButton("OK", this);
    Button1->setGeometry(70, 184, 75, 25);
    Button1->setDefault(true);
    Button1->setAutoDefault(true);
    connect(Button1, &QPushButton::clicked, this, [this] { done(kResultOk); });
    Button2 = new QPushButton("Cancel", this);
    Button2->setGeometry(150, 184, 75, 25);
    Button2->setAutoDefault(false);
    connect(Button2, &QPushButton::clicked, this, [this] { done(kResultCancel); });

    GroupBox1 = new QGroupBox(" Settings ", this);
    GroupBox1->setGeometry(8, 8, 217, 169);

    const char* const captions[] = {"Port", "Baud rate", "Data bits", "Stop bits", "Parity", "Flow control"};
    const TComProperty properties[] = {cpPort, cpBaudRate, cpDataBits, cpStopBits, cpParity, cpFlowControl};
    QLabel** labels[] = {&Label1, &Label2, &Label3, &Label4, &Label5, &Label6};
    TComComboBox** combos[] = {&Combo1, &Combo2, &Combo3, &Combo4, &Combo5, &Combo6};
    for (int i = 0; i < 6; ++i) {
        QLabel* label = new QLabel(captions[i], GroupBox1);
        label->move(8, 24 + 24 * i);
        label->adjustSize();
        *labels[i] = label;
        auto* combo = new TComComboBox(GroupBox1);
        combo->setGeometry(80, 16 + 24 * i, 129, 21);
        combo->SetAutoApply(false);
        combo->SetComProperty(properties[i]);
        label->setBuddy(combo);
        *combos[i] = combo;
    }
}

std::vector<TComComboBox*> TComSetupFrm::Pickers() const { return {Combo1, Combo2, Combo3, Combo4, Combo5, Combo6}; }

void TComSetupFrm::reject() { done(kResultCancel); }

void TComSetupFrm::showEvent(QShowEvent* event)
{
    if (!placed_) {
        placed_ = true;
        if (const QScreen* s = screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(s->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    QDialog::showEvent(event);
}

void EditComPort(TCustomComPort* port)
{
    if (!port)
        return;
    TComSetupFrm form;
    const std::vector<TComComboBox*> pickers = form.Pickers();
    for (TComComboBox* picker : pickers)
        picker->SetComPort(port);
    for (TComComboBox* picker : pickers)
        picker->UpdateSettings();
    if (platform::ExecModal(form) != TComSetupFrm::kResultOk)
        return;
    port->BeginUpdate();
    try {
        // A picker with nothing chosen (the port's value is not among those
        // listed: a pseudo-terminal, a full path, a Bluetooth port that is
        // away) leaves its setting as it is; an empty name would close the
        // port and lose it.
        for (TComComboBox* picker : pickers)
            if (picker->ItemIndex() > -1)
                picker->ApplySettings();
    } catch (...) {
        // The bracket is closed whatever a setter raised; its own failure is
        // less telling than the setter's, so the setter's goes on.
        try {
            port->EndUpdate();
        } catch (...) {
        }
        throw;
    }
    port->EndUpdate();
}

void TCustomComPort::ShowSetupDialog() { EditComPort(this); }
