#include "app/Main.h"

#include "app/ConfigPage.h"
#include "app/Languages.h"
#include "app/Registry.h"
#include "link/Mme.h"
#include "link/Requests.h"
#include "link/Responses.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/ExceptionDisplay.h"
#include "platform/Registry.h"
#include "platform/ScreenFit.h"
#include "platform/Shell.h"
#include "tools/Msglog.h"
#include "tools/Readconfig.h"
#include "tools/Readdebuglogs.h"
#include "tools/Rtfm.h"
#include "tools/Splashscreen.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>
#include <QStatusBar>
#include <algorithm>

TformMain* formMain = nullptr;

// ============================================================== start-up

TformMain::TformMain(QWidget* owner) : QMainWindow(owner)
{
    Q_INIT_RESOURCE(resources);
    setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    QFont listFont("Arial");
    listFont.setPixelSize(15);
    viewDatabase->setFont(listFont);
    static const int columnWidths[] = {110, 55, 45, 140, 30, 30, 30, -1, 55, 55, -1};
    for (int c = 0; c < 11; ++c)
        if (columnWidths[c] > 0)
            viewDatabase->setColumnWidth(c, columnWidths[c]);
    KeepDesignLayout(this);
    // All header captions but the serial number column's are centred.
    for (int c = 1; c < 11; ++c)
        viewDatabase->headerItem()->setTextAlignment(c, Qt::AlignCenter);
    for (QComboBox* combo : {comboHostTel, comboEngineerTel, comboAlarmTel})
        if (combo->lineEdit())
            combo->lineEdit()->setMaxLength(200);
    if (comboTestTel->lineEdit())
        comboTestTel->lineEdit()->setMaxLength(50);
    // The GPS entry's box is kept out of sight, so a configuration never
    // sends the co-ordinates.
    boxGpsCoords->hide();
    statusText_ = new QLabel(statusBar);
    statusBar->addWidget(statusText_, 1);

    portVigilator = new TComPort(this);
    portVigilator->SetName("portVigilator");
    portVigilator->SetPort("COM1");
    portVigilator->SetBaudRate(br115200);
    portVigilator->Parity()->SetBits(prNone);
    portVigilator->SetStopBits(sbOneStopBit);
    portVigilator->SetDataBits(dbEight);
    portVigilator->SetEvents(TComEvents{evRxChar});
    portVigilator->FlowControl()->SetFlowControl(fcNone);
    portVigilator->FlowControl()->SetControlDTR(dtrDisable);
    portVigilator->FlowControl()->SetControlRTS(rtsDisable);
    portVigilator->OnRxChar = [this](QObject* s, int32_t n) { portVigilatorRxChar(s, n); };
    portVigilator->OnError = [this](QObject* s, TComErrors e) { portVigilatorError(s, e); };

    auto timer = [this](const char* name, uint32_t interval, bool enabled, void (TformMain::*handler)(QObject*)) {
        auto* t = new TTimer(this);
        t->SetName(name);
        t->SetEnabled(false);
        t->SetInterval(interval);
        t->SetOnTimer([this, handler](QObject* s) { (this->*handler)(s); });
        t->SetEnabled(enabled);
        return t;
    };
    timerRxService = timer("timerRxService", 20, false, &TformMain::timerRxServiceTimer);
    timerLedTx = timer("timerLedTx", 50, false, &TformMain::timerLedTxTimer);
    timerLedRx = timer("timerLedRx", 50, false, &TformMain::timerLedRxTimer);
    timerConnectionManager = timer("timerConnectionManager", 1000, false, &TformMain::timerConnectionManagerTimer);
    timerMsgTimeout = timer("timerMsgTimeout", 1000, false, &TformMain::timerMsgTimeoutTimer);
    timerTextFlash = timer("timerTextFlash", 500, false, &TformMain::timerTextFlashTimer);
    timerGeneral = timer("timerGeneral", 60000, false, &TformMain::timerGeneralTimer);
    timerLowBattery = timer("timerLowBattery", 500, false, &TformMain::timerLowBatteryTimer);
    timerDiscover = timer("timerDiscover", 2000, false, &TformMain::timerDiscoverTimer);
    timerPostShow = timer("timerPostShow", 50, false, &TformMain::timerPostShowTimer);
    timerRssiReq = new TTimer(this);
    timerRssiReq->SetName("timerRssiReq");
    timerRssiReq->SetInterval(1500);

    QObject::connect(menuConnect, &QAction::triggered, this, [this] { platform::Guarded([this] { menuConnectClick(); }); });
    QObject::connect(menuShowGuide, &QAction::triggered, this,
                     [this] { platform::Guarded([this] { menuShowGuideClick(); }); });
    QObject::connect(menuExit, &QAction::triggered, this, [this] { platform::Guarded([this] { menuExitClick(); }); });
    QObject::connect(boxRepeaters, &QListWidget::itemDoubleClicked, this,
                     [this] { platform::Guarded([this] { boxRepeatersDblClick(); }); });
    boxRepeaters->OnKeySelect = [this] { platform::Guarded([this] { boxRepeatersClick(); }); };

    // Constructor proper.
    InitMsg(txMsg);
    jobStartTime = 0;
    for (auto& s : langStrings)
        s.clear();
    captionSuffix.clear();
    patrolDayBoxes = {Patrol_Sun_Box, Patrol_Mon_Box, Patrol_Tue_Box, Patrol_Wed_Box,
                      Patrol_Thu_Box, Patrol_Fri_Box, Patrol_Sat_Box};
    reportDayBoxes = {Report_Sun_Box, Report_Mon_Box, Report_Tue_Box, Report_Wed_Box,
                      Report_Thu_Box, Report_Fri_Box, Report_Sat_Box};
    histDayBoxes = {boxHistSun, boxHistMon, boxHistTue, boxHistWed, boxHistThu, boxHistFri, boxHistSat};
    BuildConfigItems(this);
    WireConfigPage(this);
    WireJobs();
    WireManualMessages(this);

    FormCreate();
}

TformMain::~TformMain()
{
    captionSuffix.clear();
    for (auto& s : langStrings)
        s.clear();
}

void TformMain::FormCreate()
{
    languageIndex = 0;
    try {
        TRegistry reg(KEY_READ);
        reg.SetRootKey(HKEY_CURRENT_USER);
        reg.OpenKeyReadOnly("\\Software\\Drosen\\KVT Config Tool");
        languageIndex = uint32_t(reg.ReadInteger("Language"));
    } catch (const ERegistryException&) {
        languageIndex = 0;
    }
    BuildLanguageMenu(this);
    const auto items = menuLanguage->actions();
    if (languageIndex >= uint32_t(items.size()))
        languageIndex = 0;
    if (!items.isEmpty())
        items[int(languageIndex)]->setChecked(true);
    LoadLanguage(this, languageIndex);
    ShowSplash(this);
    for (QPushButton* b : {btnHostNum, btnEngNum, btnTestNum, btnAlarmNum})
        SetAddToListButton(b);
    rxRing = new TRingBuffer(2048);
    repeaterAddr[0] = repeaterAddr[1] = repeaterAddr[2] = 0xFF;
    formMsgLog = nullptr;
    formReadConfig = nullptr;
    formDebugLogs = nullptr;
    sortColumn = 255;
    sortAscending = 0;
    gsmLogonState = 0;
}

void TformMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // Restoring a minimised window shows it again: the start-up steps run once.
    if (shown_)
        return;
    shown_ = true;
    platform::Guarded([this] { FormShow(); });
}

void TformMain::FormShow()
{
    QFont font("Arial", 10);
    font.setBold(true);
    statusBar->setFont(font);
    adminOptions = 10;
    linkTimeoutMs = 3500;
    distOptions = 0;
    infoFormFlags = 0;
    rfTestPatrolSeconds = 8;
    pageMain->setCurrentWidget(tabRfTest);
    pageKvt->setCurrentWidget(tabRegion);
    // An error the load does not expect is shown once; start-up goes on
    // with the rest.
    platform::Guarded([this] { LoadRegistrySettings(this); });
    portVigilator->SetBaudRate(br115200);
    timerPostShow->SetEnabled(true);
    opState = osIdle;
    ApplyLanguage(this);
    // The frame, which a window manager puts round the window only now, is
    // kept on the screen too.
    platform::WhenFramed(this, [this] { FitWindowToScreen(this); });
    comboSmsRxDuration->setCurrentIndex(7);
    if (adminOptions & 0x1) {
        ShowConfigurationTab(true);
        if (!(distOptions & 0x1)) {
            ShowEngineeringTab(false);
            for (QCheckBox* box : {boxPatrolDuration, boxRxDuration, boxEcuNum, boxSerialNum})
                box->setChecked(false);
        }
    } else {
        ShowConfigurationTab(false);
        ShowEngineeringTab(false);
        distOptions &= ~uint32_t(0x1);
    }
    menuMessageLog->setVisible((distOptions & 0x2) != 0);
    menuShowGuide->setVisible(!platform::FindLastFile(kUserGuidePattern).empty());
}

void TformMain::ShowConfigurationTab(bool show)
{
    pageMain->setTabVisible(pageMain->indexOf(tabConfig), show);
    btnConfig->setVisible(show);
    btnAbort->move(btnConfig->x(), btnAbort->y());
    btnAbort->setVisible(!show);
    btnAbort->setEnabled(show);
    btnConfig->raise();
}

void TformMain::ShowEngineeringTab(bool show)
{
    pageKvt->setTabVisible(pageKvt->indexOf(tabEngineering), show);
    if (!show)
        for (QCheckBox* box : {boxRxDuration, boxEcuNum, boxSerialNum})
            box->setChecked(false);
}

void TformMain::timerPostShowTimer(QObject*)
{
    timerPostShow->SetEnabled(false);
    ShowUserGuideInfo();
}

void TformMain::ShowUserGuideInfo()
{
    if (!(infoFormFlags & 0x1)) {
        repaint();
        if (ShowRtfm(this) == 1)
            infoFormFlags |= 0x1;
    }
    // Closed meanwhile (a termination signal while the reminder was up):
    // the port stays closed.
    if (closed_)
        return;
    menuConnect->trigger();
}

void TformMain::closeEvent(QCloseEvent* event)
{
    platform::Guarded([this] { FormClose(); });
    QMainWindow::closeEvent(event);
}

void TformMain::FormClose()
{
    closed_ = true;
    // Each step on its own: a failure is shown and the steps after it still run.
    platform::Guarded([this] {
        txMsg.length = 3;
        txMsg.data[0] = msgHostTag;
        txMsg.data[1] = icCommsMode;
        txMsg.data[2] = 0x00;
        SendFrame(&txMsg, portVigilator); // written only while the port is open
    });
    platform::Guarded([this] { SaveRegistrySettings(this); });
    platform::Guarded([this] { portVigilator->Close(); });
}

void TformMain::menuExitClick() { close(); }

void TformMain::CloseOnSignal()
{
    close();
    // A window in front (a message, the reminder) would keep the program
    // running: it goes too, as if the user had closed it.
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window != this && window->isVisible())
            window->close();
}

void TformMain::menuShowGuideClick()
{
    const std::string guide = platform::FindLastFile(kUserGuidePattern);
    if (!guide.empty()) {
        platform::ShellOpen(guide);
        return;
    }
    platform::MessageDlg(GetLangString(this, 257, "User Guide Not Found"), platform::MsgDlgType::Error,
                         platform::mbOK);
    menuShowGuide->setVisible(false);
}

void TformMain::menuConnectClick()
{
    if (!ConnectToInterface(this, true)) {
        platform::MessageBeep(platform::MB_ICONHAND);
        platform::MessageDlg(GetLangString(this, 35, "Failed to connect to the Vigilator Interface Unit.") + "\n" +
                                 GetLangString(this, 36, "Please check the PC's Bluetooth settings and the Interface power."),
                             platform::MsgDlgType::Error, platform::mbOK);
    }
}

// ============================================================== configuration entries

void TformMain::MarkCurrentItemFailed()
{
    if (itemIndex >= 0 && itemIndex < kConfigItemCount)
        ShowTickFailed(configItems[size_t(itemIndex)].tick);
}

void SetAddToListButton(QPushButton* button)
{
    button->setText("Add to List");
    button->setToolTip("Click here to save the number to the telephone list");
}

void SetDeleteFromListButton(QPushButton* button)
{
    button->setText("Delete from List");
    button->setToolTip("Click here to remove the number from the telephone list");
}

// ============================================================== start

void PrepareApplication()
{
    // The lamps flash several times a second. On an X server, a repaint
    // through shared memory first waits for the server to be done with the
    // last one: a round trip that wakes two threads at every flash. This
    // small window draws as fast through the X connection itself.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
}

// ============================================================== repeater selection

int32_t TformMain::GetSelectedRepeaterAddress()
{
    const int index = boxRepeaters->currentRow();
    if (index < 0)
        return -1;
    const int32_t id = int32_t(boxRepeaters->item(index)->data(Qt::UserRole).toLongLong());
    if (id < 0)
        return id;
    repeaterAddr[0] = uint8_t(id >> 16);
    repeaterAddr[1] = uint8_t(id >> 8);
    repeaterAddr[2] = uint8_t(id);
    return id;
}

void TformMain::ClearRepeaterSelection()
{
    boxRepeaters->setCurrentRow(-1);
    textSelectedRepeater->setText(QString::fromStdString("<" + GetLangString(this, 40, "None") + ">"));
    textRssiError->setText(QString::fromStdString("<" + GetLangString(this, 148, "No Repeater selected") + ">"));
    repeaterAddr[0] = repeaterAddr[1] = repeaterAddr[2] = 0xFF;
    gsmLogonState = 0;
    for (QWidget* w : std::initializer_list<QWidget*>{btnConfig, btnDeploy, btnAbandon, btnClearDatabase, btnPatrol,
                                                      btnReadDatabase, btnLogOn, btnLogOff, btnRequestTestSms,
                                                      btnTestFtp})
        w->setEnabled(false);
    guageRssi->hide();
    textRssiValue->hide();
    textRssiError->show();
    if (formReadConfig)
        ReadConfigEnableRead(formReadConfig, false);
    if (formDebugLogs)
        DebugLogsEnableReads(formDebugLogs, false);
}

void TformMain::boxRepeatersDblClick() { ClearRepeaterSelection(); }

// ============================================================== status bar

void TformMain::SetStatusText(const std::string& text) { statusText_->setText(QString::fromStdString(text)); }

std::string TformMain::StatusText() const { return statusText_->text().toStdString(); }

void TformMain::SetSimplePanel(bool simple)
{
    simplePanel_ = simple;
    statusText_->setVisible(simple);
}
