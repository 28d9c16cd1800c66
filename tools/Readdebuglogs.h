#pragma once
// The View Debug Logs window: the selected repeater's seven debug counters and
// its seven logs of 16 time stamps, on eight tabs. It starts each read; the
// replies are taken by the repeater reply handler, which fills the labels and
// lists and, during Read All, starts the next log here.
#include "tools/MultiRowTabs.h"

#include <QWidget>
#include <QString>
#include <array>
#include <cstdint>

class QLabel;
class QPushButton;
class QTreeWidget;
class QWidget;
class TformMain;
struct TMsgRecord;

// The counters in reading order: item code, the id of its name.
struct TDebugCounter {
    uint8_t code;
    int nameId;
};
inline constexpr std::array<TDebugCounter, 7> kDebugCounters {{
    {0x0E, 120}, {0x0F, 121}, {0x0C, 122}, {0x10, 123}, {0x12, 124}, {0x13, 125}, {0x15, 126},
}};

// The logs in the order of their tabs (and of Read All): log index, tab text id.
struct TDebugLogTab {
    uint8_t log;
    int textId;
};
inline constexpr std::array<TDebugLogTab, 7> kDebugLogTabs {{
    {5, 273}, {4, 274}, {0, 275}, {3, 276}, {2, 277}, {1, 278}, {6, 279},
}};

// A plain window, not a dialog: no button is a default that Return in a list
// would click (Read All sends 119 requests), and Escape does not close it.
class TformDebugLogs : public QWidget {
public:
    explicit TformDebugLogs(QWidget* owner);
    ~TformDebugLogs() override;

    QWidget* Panel1 = nullptr;
    QPushButton* btnReadAll = nullptr;
    QPushButton* btnAbort = nullptr;
    QLabel* textDummy = nullptr;
    TMultiRowTabs* pageControl = nullptr;
    QWidget* tabSummary = nullptr;
    QWidget* tabSmsSuccess = nullptr;
    QWidget* tabSmsFails = nullptr;
    QWidget* tabRadioFails = nullptr;
    QWidget* tabLogonFails = nullptr;
    QWidget* tabSimFails = nullptr;
    QWidget* tabModemFails = nullptr;
    QWidget* tabSmsReceived = nullptr;
    QPushButton* btnReadCounters = nullptr;
    QPushButton* btnReadSmsSuccess = nullptr;
    QPushButton* btnReadSmsFails = nullptr;
    QPushButton* btnReadRadioFails = nullptr;
    QPushButton* btnReadGsmLogonFails = nullptr;
    QPushButton* btnReadSimFails = nullptr;
    QPushButton* btnReadModemFails = nullptr;
    QPushButton* btnReadSmsReceived = nullptr;
    QTreeWidget* viewSmsSuccess = nullptr;
    QTreeWidget* viewSmsFails = nullptr;
    QTreeWidget* viewRadioFails = nullptr;
    QTreeWidget* viewLogonFails = nullptr;
    QTreeWidget* viewSimFails = nullptr;
    QTreeWidget* viewModemFails = nullptr;
    QTreeWidget* viewSmsRx = nullptr;
    // Counter names and values, in the counter table's order.
    std::array<QLabel*, 7> counterNames {};
    std::array<QLabel*, 7> counterValues {};

    uint8_t logIndex = 0;   // counter index while counting, log index while reading a log
    uint8_t entryIndex = 0; // entry of the log being read, 0..15
    bool readAll = false;

    // The nine read buttons, Read All first.
    std::array<QPushButton*, 9> ReadButtons() const
    {
        return {btnReadAll,      btnReadCounters,      btnReadSmsSuccess, btnReadSmsFails,   btnReadRadioFails,
                btnReadGsmLogonFails, btnReadSimFails, btnReadModemFails, btnReadSmsReceived};
    }
    // By log index 0..6 (null above).
    QTreeWidget* LogView(uint8_t log) const;
    QPushButton* LogButton(uint8_t log) const;
    QWidget* LogTab(uint8_t log) const;
    // The Read button of the log after `log` in the Read All order; null after the last.
    QPushButton* NextLogButton(uint8_t log) const;

    void FormCreate();
    void btnReadAllClick();
    void btnAbortClick();
    // The one read routine: the counters, or the log of the Read button `sender`.
    void btnReadCountersClick(QPushButton* sender);

protected:
    void closeEvent(QCloseEvent* event) override;
    // On show the window is moved onto the screen, wherever it was put.
    void showEvent(QShowEvent* event) override;

private:
    void ApplyLanguageAndLayout();
    TformMain* main_;
};

// Null while the window does not exist.
extern TformDebugLogs* formDebugLogs;

// Appends one debug log reply (len 12: log, entry, 32-bit time) to its log's
// list; a log index above 6 or a short record adds nothing.
void AddDebugLogEntry(TformDebugLogs* form, const TMsgRecord* msg);
// "dd-mmm-yyyy, hh:nn:ss" of a signed Unix time, with the regional month name.
QString DebugLogTimeText(int32_t unixSeconds);

// The main window's job control.
void DebugLogsJobEnded(TformDebugLogs* form);
void DebugLogsEnableControls(TformDebugLogs* form, bool enable);
void DebugLogsEnableReads(TformDebugLogs* form, bool enable);
