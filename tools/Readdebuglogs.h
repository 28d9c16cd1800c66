#pragma once
// The debug counters and logs window, as the main window's job control sees it.
#include <QDialog>
#include <array>

class QPushButton;

class TformDebugLogs : public QDialog {
public:
    using QDialog::QDialog;
    QPushButton* btnReadAll = nullptr;
    QPushButton* btnAbort = nullptr;
    QPushButton* btnReadCounters = nullptr;
    QPushButton* btnReadSmsSuccess = nullptr;
    QPushButton* btnReadSmsFails = nullptr;
    QPushButton* btnReadRadioFails = nullptr;
    QPushButton* btnReadGsmLogonFails = nullptr;
    QPushButton* btnReadSimFails = nullptr;
    QPushButton* btnReadModemFails = nullptr;
    QPushButton* btnReadSmsReceived = nullptr;
    bool readAll = false;

    // The nine read buttons, Read All first.
    std::array<QPushButton*, 9> ReadButtons() const
    {
        return {btnReadAll,      btnReadCounters,      btnReadSmsSuccess, btnReadSmsFails,   btnReadRadioFails,
                btnReadGsmLogonFails, btnReadSimFails, btnReadModemFails, btnReadSmsReceived};
    }
};

// Null while the window does not exist.
extern TformDebugLogs* formDebugLogs;

void DebugLogsJobEnded(TformDebugLogs* form);
void DebugLogsEnableControls(TformDebugLogs* form, bool enable);
void DebugLogsEnableReads(TformDebugLogs* form, bool enable);
