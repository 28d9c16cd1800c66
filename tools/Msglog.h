#pragma once
// The message log window: every message sent to or received from the
// interface unit as one line of hex bytes, for the engineer who has to see
// what goes over the serial link.
#include "platform/FileDialogs.h"

#include <QAbstractListModel>
#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

class QCheckBox;
class QPushButton;
class QStatusBar;
class QWidget;
class TLogListView;
class TformMain;
struct TMsgRecord;

// The log's lines. The log is never trimmed and runs for days, so a line
// keeps only its record's bytes; its text is made when it is shown or saved.
class TMsgLogModel : public QAbstractListModel {
public:
    explicit TMsgLogModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void Append(const uint8_t* bytes, size_t count);
    void Clear();
    int Count() const { return int(ends_.size()); }
    // " C0 3A 02": a blank and two upper-case hex digits per byte.
    std::string Line(int row) const;
    // Every line, each ended by a line feed.
    std::string Text() const;
    // Heap bytes held for the lines, for the benchmark.
    size_t MemoryUsed() const { return bytes_.capacity() + ends_.capacity() * sizeof(uint32_t); }

private:
    std::vector<uint8_t> bytes_;
    std::vector<uint32_t> ends_; // end of each line's bytes in bytes_
};

// A plain window, not a dialog: no button is a default that Return in the
// list would click (Clear erases an unsaved log), and Escape does not close it.
class TformMsgLog : public QWidget {
public:
    explicit TformMsgLog(QWidget* owner);
    ~TformMsgLog() override;

    QWidget* Panel1 = nullptr;
    QPushButton* btnClear = nullptr;
    QPushButton* btnSave = nullptr;
    QCheckBox* checkPause = nullptr;
    QCheckBox* checkIgnorePeriodic = nullptr;
    QStatusBar* statusBar = nullptr;
    TLogListView* viewMsgLog = nullptr;
    TMsgLogModel* lines = nullptr;
    platform::FileDialogOptions dialogSave;

    void btnClearClick();
    void btnSaveClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    // On show the window is moved onto the screen, wherever it was put.
    void showEvent(QShowEvent* event) override;

private:
    void ApplyLanguageAndLayout();
    TformMain* main_;
};

// Null while the window does not exist.
extern TformMsgLog* formMsgLog;

// Appends one sent or received message record as a line of hex bytes, unless
// it is periodic traffic and the window hides that.
void LogFrame(TformMsgLog* form, const TMsgRecord* msg);

// Repeater discovery and signal-strength polling, which the window can hide.
bool IsPeriodicMessage(const TMsgRecord& msg);

// Shows the Message Log menu entry exactly while the distributor options
// allow the log (distOptions bit 1). Called at start-up and whenever the
// options change.
void ApplyMessageLogOption(TformMain* form);
