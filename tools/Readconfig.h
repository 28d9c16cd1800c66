#pragma once
// The Read Configuration window: reads the selected repeater's whole
// configuration back, item by item, and shows it as a text report, which the
// user can clear or save. The window starts the read and offers its item
// table; the repeater reply handler walks the table (link/ReadConfigReply.h).
//
// Modeless, at most one: the main window's menuReadConfigClick creates it,
// it frees itself when closed, and formReadConfig is null from its close on.
#include "app/ConfigItems.h"
#include "platform/FileDialogs.h"
#include "tools/ReportFormat.h"

#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <string>

class QCloseEvent;
class QShowEvent;
class QListWidget;
class QPushButton;
class TformMain;
struct TMsgRecord;

// One item of the read-back: the request that asks the repeater for it, the
// formatter that turns the reply into report lines, and the item code.
struct TReadConfigItem {
    std::function<void(uint8_t itemCode)> request;            // bound to the main window
    std::function<TItemResult(const TMsgRecord* msg)> formatter;  // bound to this window
    uint8_t itemCode = 0;
};

class TformReadConfig : public QWidget {
public:
    explicit TformReadConfig(TformMain* owner);
    ~TformReadConfig() override;

    QWidget* Panel1 = nullptr;
    QPushButton* btnRead = nullptr;
    QPushButton* btnClear = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnAbort = nullptr;
    QListWidget* boxResults = nullptr;
    platform::FileDialogOptions dialogSave;

    // The entry being read, 0..26; 27 once the walk is past the last one.
    int32_t itemIndex = 0;
    std::array<TReadConfigItem, kReadConfigItemCount> items;

    void FormCreate();
    void ApplyLanguage();
    void btnReadClick();
    void btnAbortClick();
    void btnClearClick();
    void btnSaveClick();
    void FormClose();

    void LoadReadWindowPosition();
    void SaveReadWindowPosition();

    // Appends a line to the report.
    void AddLine(const std::string& line);
    // The report's lines, in order.
    std::vector<std::string> Lines() const;
    // What the formatters need to know, as of now.
    TReportContext Context() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    // On show the window is moved onto the screen, wherever it was put.
    void showEvent(QShowEvent* event) override;

private:
    TformMain* owner_;
};

// Null from the window's close on.
extern TformReadConfig* formReadConfig;

// A job ended: Read back in place of Abort.
void ReadConfigJobEnded(TformReadConfig* form);
// A read failed (no answer, a lost link): the report ends with a line naming why.
void ReadConfigJobFailed(TformReadConfig* form, const std::string& reason);
// A job starts (false) or ended (true).
void ReadConfigEnableControls(TformReadConfig* form, bool enable);
// A repeater was selected (true) or the selection cleared (false).
void ReadConfigEnableRead(TformReadConfig* form, bool enable);
