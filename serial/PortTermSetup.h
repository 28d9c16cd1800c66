#pragma once
// The terminal's settings dialog: text options, caret shape, emulation, size
// and what the cursor keys do. EditComTerminal shows it and applies on OK.
#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TCustomComTerminal;

class TComTrmSetForm : public QDialog {
public:
    explicit TComTrmSetForm(QWidget* parent = nullptr);

    QGroupBox* GroupBox1;
    QCheckBox* CheckBox1;
    QCheckBox* CheckBox2;
    QCheckBox* CheckBox3;
    QCheckBox* CheckBox4;
    QCheckBox* CheckBox5;
    QGroupBox* GroupBox2;
    QLabel* Label1;
    QComboBox* ComboBox1;
    QLabel* Label2;
    QComboBox* ComboBox2;
    QLabel* Label3;
    QLineEdit* Edit1;
    QLabel* Label4;
    QLineEdit* Edit2;
    QLabel* Label5;
    QComboBox* ComboBox3;
    QPushButton* Button1;
    QPushButton* Button2;

    // The close box and Escape give the Cancel button's result.
    void reject() override { done(2); }
};

// Shows the dialog for Terminal; only OK changes the terminal.
void EditComTerminal(TCustomComTerminal* Terminal);
