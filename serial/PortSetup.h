#pragma once
// A ready-made modal dialog that edits the six basic settings of a port at
// once: name, baud rate, data bits, stop bits, parity and flow control.
#include "serial/PortControls.h"

#include <QDialog>

class QLabel;
class QPushButton;

class TComSetupFrm : public QDialog {
public:
    static constexpr int kResultOk = 1;
    static constexpr int kResultCancel = 2;

    explicit TComSetupFrm(QWidget* parent = nullptr);

    QPushButton* Button1; // OK
    QPushButton* Button2; // Cancel
    QGroupBox* GroupBox1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    TComComboBox* Combo1; // port
    TComComboBox* Combo2; // baud rate
    TComComboBox* Combo3; // data bits
    TComComboBox* Combo4; // stop bits
    TComComboBox* Combo5; // parity
    TComComboBox* Combo6; // flow control

    // The six pickers, port first and flow control last.
    std::vector<TComComboBox*> Pickers() const;

protected:
    // The close box and Escape answer Cancel, like the Cancel button.
    void reject() override;
    // Centred on the screen when it is first shown.
    void showEvent(QShowEvent* event) override;

private:
    bool placed_ = false;
};

// Shows the dialog for `port`; on OK writes the choices to it in one update
// bracket, so an open port is reconfigured once. No port: nothing is shown.
void EditComPort(TCustomComPort* port);
