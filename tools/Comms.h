#pragma once
// The serial port dialog: the user picks the port on which the interface unit
// is reached. The dialog only holds the choice; the main window's
// menuCommsClick applies it and reconnects.
#include <QDialog>

class QGroupBox;
class QPushButton;
class QShowEvent;
class QWidget;
class TComComboBox;
class TformMain;

class TformComms : public QDialog {
public:
    // Bound to the owner's port (no port without an owner); texts from the
    // owner's language strings. The port list is read here and may raise
    // EComPort when it cannot be.
    explicit TformComms(TformMain* owner);
    ~TformComms() override;

    QWidget* clientArea = nullptr; // the window inside its border
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;
    QGroupBox* groupInterface = nullptr;
    TComComboBox* comboPortVigilator = nullptr;
    QPushButton* btnCheckVigilator = nullptr; // never enabled

    void FormCreate();
    void ApplyLanguage();

    // The close box and Escape end the dialog with 2, as Cancel does.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    TformMain* form_;
};

// The dialog while menuCommsClick shows it; null otherwise.
extern TformComms* formComms;
