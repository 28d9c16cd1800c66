#pragma once
// The configuration read-back window, as the main window's job control sees it.
#include <QDialog>

class QPushButton;

class TformReadConfig : public QDialog {
public:
    using QDialog::QDialog;
    QPushButton* btnRead = nullptr;
    QPushButton* btnAbort = nullptr;
    QPushButton* btnClear = nullptr;
    QPushButton* btnSave = nullptr;
};

// Null while the window does not exist.
extern TformReadConfig* formReadConfig;

// A job ended: Read back in place of Abort.
void ReadConfigJobEnded(TformReadConfig* form);
// A job starts (false) or ended (true).
void ReadConfigEnableControls(TformReadConfig* form, bool enable);
// A repeater was selected (true) or the selection cleared (false).
void ReadConfigEnableRead(TformReadConfig* form, bool enable);
