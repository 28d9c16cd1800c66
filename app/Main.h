#pragma once
// The main window: the hub of the program. It owns the serial port, the link
// state, the configuration item table, the option words and the language
// strings; every other window and unit reaches them through formMain.
#include "app/ConfigItems.h"
#include "link/OpState.h"
#include "link/Serial.h"
#include "link/Tringbuffer.h"
#include "platform/FormTimer.h"
#include "serial/PortCore.h"
#include "ui_Main.h"

#include <QMainWindow>
#include <array>
#include <cstdint>
#include <string>

class QCheckBox;
class QLabel;
class QCloseEvent;
class QShowEvent;

class TformMain : public QMainWindow, public Ui::TformMain {
public:
    explicit TformMain(QWidget* owner = nullptr);
    ~TformMain() override;

    // The layout's status bar, not the main window's accessor of that name.
    using Ui::TformMain::statusBar;

    // ---- state (zero when the window is allocated)
    TRingBuffer* rxRing = nullptr;
    uint16_t linkRetries = 0;
    uint16_t replyRetries = 0;
    TMsgRecord txMsg;
    uint8_t repeaterAddr[3] = {0, 0, 0};
    uint8_t opState = 0;
    uint8_t pendingEcuOp = 0;
    int32_t itemIndex = 0;
    uint8_t dbEntryIndex = 0;
    uint8_t sortColumn = 0;
    uint8_t sortAscending = 0;
    TConfigItems configItems {};
    uint32_t debugCounters = 0;
    std::array<QCheckBox*, 7> patrolDayBoxes {};
    std::array<QCheckBox*, 7> reportDayBoxes {};
    std::array<QCheckBox*, 7> histDayBoxes {};
    uint32_t patrolDays = 0, reportDays = 0, histDays = 0;
    uint8_t gsmLogonState = 0;
    double jobStartTime = 0; // days, as the platform's date-time
    uint8_t rssiMisses = 0;
    uint32_t languageIndex = 0;
    uint32_t adminOptions = 0;
    uint32_t distOptions = 0;
    uint32_t infoFormFlags = 0;
    uint16_t linkTimeoutMs = 0;
    uint8_t rfTestPatrolSeconds = 0;
    std::array<std::string, 310> langStrings;
    std::string captionSuffix;

    // ---- components that are not in the window layout
    TComPort* portVigilator = nullptr;
    TTimer* timerRxService = nullptr;
    TTimer* timerLedTx = nullptr;
    TTimer* timerLedRx = nullptr;
    TTimer* timerConnectionManager = nullptr;
    TTimer* timerMsgTimeout = nullptr;
    TTimer* timerTextFlash = nullptr;
    TTimer* timerGeneral = nullptr;
    TTimer* timerLowBattery = nullptr;
    TTimer* timerDiscover = nullptr;
    TTimer* timerPostShow = nullptr;
    TTimer* timerRssiReq = nullptr;

    // ---- start-up and shutdown
    void FormCreate();
    void FormShow();
    void FormClose();
    void timerPostShowTimer(QObject* Sender);
    void ShowUserGuideInfo();
    void ShowConfigurationTab(bool show);
    void ShowEngineeringTab(bool show);
    void menuExitClick();
    // A termination signal (logout, shutdown, Ctrl+C): closes as the close box does.
    void CloseOnSignal();
    void menuConnectClick();
    void menuCommsClick();      // tools/Comms.cpp
    void menuShowGuideClick();
    void menuReadConfigClick(); // tools/Readconfig.cpp
    void menuOptionsClick();    // tools/Options.cpp
    void menuAboutClick();      // tools/About.cpp
    void menuShowHintsClick();  // tools/About.cpp
    void menuLoadClick();       // app/ConfigFile.cpp
    void menuSaveClick();       // app/ConfigFile.cpp

    // ---- receive path and lamps
    void portVigilatorRxChar(QObject* Sender, int32_t Count);
    void timerRxServiceTimer(QObject* Sender);
    void timerLedTxTimer(QObject* Sender);
    void timerLedRxTimer(QObject* Sender);
    void LightTxLamp();
    // Lights or darkens a lamp; a lamp already in that colour is left alone,
    // so that it is not drawn again.
    void SetLamp(QWidget* lamp, const QColor& colour);
    // The port reports that its device has gone away (hang-up).
    void portVigilatorError(QObject* Sender, TComErrors Errors);

    // ---- the outstanding request and the jobs
    void StartLinkTimer(uint32_t intervalMs);
    void StopLinkTimer();
    void StartReplyTimer(uint32_t intervalMs);
    void StopReplyTimer();
    void EndOperation();
    void EnableControls(bool enable);
    void timerConnectionManagerTimer(QObject* Sender);
    void timerMsgTimeoutTimer(QObject* Sender);
    void timerTextFlashTimer(QObject* Sender);
    // The link has failed: the entry in progress gets the red cross, any job
    // ends, and one error box tells the user. A device that has gone away
    // also closes the port and stops the periodic senders ("NOT CONNECTED").
    void LinkFailed(bool deviceGone);
    // LinkFailed, once the running handler has returned; failures that come
    // together are handled together.
    void QueueLinkFailure(bool deviceGone);

    // ---- the interface unit
    void timerGeneralTimer(QObject* Sender);
    void timerDiscoverTimer(QObject* Sender);
    void timerLowBatteryTimer(QObject* Sender);

    // ---- configuration entries
    // The tick label of the entry in progress shows the red cross.
    void MarkCurrentItemFailed();

    // ---- jobs started from the main window
    void btnConfigClick();
    void btnAbortClick();
    void menuSendSingleMsgClick();
    QCheckBox* popupBox = nullptr; // the box whose popup menu was opened
    void SetTicksVisible(bool visible);
    void btnDeployClick();
    void btnAbandonClick();
    void btnSleepClick();
    void btnEcuActiveClick();
    void spinnerSerialNumClick(bool up);
    void boxEcuUsesSerialClick();
    // RF and GSM test tabs (tools/Rftest.cpp, tools/Gsmtest.cpp) and the
    // debug logs window (tools/Readdebuglogs.cpp).
    void btnClearDatabaseClick();
    void btnPatrolClick();
    void btnReadDatabaseClick();
    void btnLogOnClick();
    void btnLogOffClick();
    void btnRequestTestSmsClick();
    void btnTestFtpClick();
    void menuViewLogsClick();
    // Manual messages (link/Mme.cpp) and the message log (tools/Msglog.cpp).
    void btnSend1Click(QObject* Sender);
    void editManualMsg1KeyPress(QObject* Sender, char& Key);
    void editManualMsg1KeyDown(QObject* Sender, uint16_t& Key, Qt::KeyboardModifiers Shift);
    void menuMessageLogClick();

    // ---- repeater selection
    int32_t GetSelectedRepeaterAddress();
    void ClearRepeaterSelection();
    void boxRepeatersClick();
    void boxRepeatersDblClick();
    void timerRssiReqTimer(QObject* Sender);
    // The logger database view: drawing and sorting.
    void viewDatabaseColumnClick(int column);
    int viewDatabaseCompare(const class QTreeWidgetItem* item1, const class QTreeWidgetItem* item2) const;

    // ---- the status bar: one simple text, which can blink
    void SetStatusText(const std::string& text);
    std::string StatusText() const;
    void SetSimplePanel(bool simple);
    bool SimplePanel() const { return simplePanel_; }

    // Received bytes wait in the driver because the ring buffer was full.
    bool BytesLeftInDriver() const { return leftInDriver_; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void ReadFromPort(int32_t count);
    void WireJobs();


    QLabel* statusText_ = nullptr;
    bool simplePanel_ = true;
    bool shown_ = false;
    bool closed_ = false; // the close handler has run
    bool leftInDriver_ = false; // the ring buffer was full: bytes wait in the driver
    int64_t lastRxMs_ = 0;      // when bytes last came into the ring buffer
    int64_t lastServiceMs_ = -1000000; // when the receive service last ran
    bool serviceQueued_ = false;       // its first tick after a sleep is on its way
    bool linkFailureShown_ = false;
    bool linkFailureQueued_ = false;
    bool linkFailureGone_ = false;
};

extern TformMain* formMain;

// What the program sets up before its application object exists.
void PrepareApplication();

// A write or read error of these codes means the device has gone away.
bool LinkDeviceGone(int32_t error);
// Whether a valid frame stops the link retry timer in this state: the
// comms-mode reply alone while the handshake waits for it, a poll reply
// alone in the polling states, any frame otherwise.
bool FrameStopsLinkTimer(uint8_t state, const TMsgRecord& msg);

class QPushButton;
class QTreeWidget;
class QString;
// The width a cell of the database list needs to show `text` whole.
int DatabaseCellWidth(const QTreeWidget* view, const QString& text);
// The telephone-list buttons' two modes.
void SetAddToListButton(QPushButton* button);
void SetDeleteFromListButton(QPushButton* button);
