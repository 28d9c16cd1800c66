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
#include "platform/Shell.h"
#include "tools/Msglog.h"
#include "tools/Readconfig.h"
#include "tools/Readdebuglogs.h"
#include "tools/Rtfm.h"
#include "tools/Splashscreen.h"

#include <QCloseEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QStatusBar>
#include <algorithm>

TformMain* formMain = nullptr;

namespace {

const QColor kLampRed(255, 0, 0);
const QColor kLampDarkRed(0x51, 0, 0);
const QColor kLampLime(0, 255, 0);
const QColor kLampDarkGreen(0, 0x40, 0);

void SetBrush(QWidget* shape, const QColor& colour)
{
    QPalette p = shape->palette();
    p.setColor(QPalette::Window, colour);
    shape->setPalette(p);
    shape->setAutoFillBackground(true);
}

void SetFontColour(QWidget* w, const QColor& colour)
{
    QPalette p = w->palette();
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(role, colour);
    w->setPalette(p);
}

} // namespace

// ============================================================== start-up

TformMain::TformMain(QWidget* owner) : QMainWindow(owner)
{
    Q_INIT_RESOURCE(resources);
    setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    static const int columnWidths[] = {110, 55, 45, 140, 30, 30, 30, -1, 55, 55, -1};
    for (int c = 0; c < 11; ++c)
        if (columnWidths[c] > 0)
            viewDatabase->setColumnWidth(c, columnWidths[c]);
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
    LoadRegistrySettings(this);
    portVigilator->SetBaudRate(br115200);
    timerPostShow->SetEnabled(true);
    opState = osIdle;
    ApplyLanguage(this);
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
    menuConnect->trigger();
}

void TformMain::closeEvent(QCloseEvent* event)
{
    platform::Guarded([this] { FormClose(); });
    QMainWindow::closeEvent(event);
}

void TformMain::FormClose()
{
    txMsg.length = 3;
    txMsg.data[0] = msgHostTag;
    txMsg.data[1] = icCommsMode;
    txMsg.data[2] = 0x00;
    SendFrame(&txMsg, portVigilator);
    SaveRegistrySettings(this);
    portVigilator->Close();
}

void TformMain::menuExitClick() { close(); }

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

// ============================================================== receive path

void TformMain::portVigilatorRxChar(QObject*, int32_t Count)
{
    ReadFromPort(Count);
    if (!timerLedRx->Enabled()) {
        SetBrush(ledRx, kLampLime);
        timerLedRx->SetEnabled(true);
    }
}

// Moves waiting bytes into the ring buffer. Never more than fits: the rest
// waits in the driver until the frames ahead of it have been taken out.
void TformMain::ReadFromPort(int32_t count)
{
    const uint32_t room = rxRing->Capacity() - 1 - rxRing->Count();
    const uint32_t n = std::min<uint32_t>({uint32_t(std::max(count, 0)), 2048u, room});
    leftInDriver_ = n < uint32_t(std::max(count, 0));
    if (n == 0)
        return;
    uint8_t buffer[2048];
    const int32_t got = portVigilator->Read(buffer, int32_t(n));
    if (got <= 0)
        return;
    const uint8_t* start = buffer;
    const uint8_t* end = buffer + got;
    if (rxRing->Count() == 0 && *start != 0x24) {
        // Noise before a frame: keep what follows the first start byte. A
        // chunk without one is dropped whole.
        start = std::find(start, end, uint8_t(0x24));
    }
    rxRing->Put(start, uint32_t(end - start));
}

void TformMain::timerRxServiceTimer(QObject*)
{
    TMsgRecord msg;
    const TFrameResult result = ExtractFrame(*rxRing, msg);
    if (leftInDriver_ && portVigilator->Connected())
        ReadFromPort(portVigilator->InputCount());
    if (result != TFrameResult::frFrame)
        return;
    if (formMsgLog)
        LogFrame(formMsgLog, &msg);
    StopLinkTimer();
    ProcessRxMessage(this, &msg);
}

void TformMain::LightTxLamp()
{
    SetBrush(ledTx, kLampRed);
    timerLedTx->SetEnabled(true);
}

void TformMain::timerLedTxTimer(QObject*)
{
    SetBrush(ledTx, kLampDarkRed);
    timerLedTx->SetEnabled(false);
}

void TformMain::timerLedRxTimer(QObject*)
{
    SetBrush(ledRx, kLampDarkGreen);
    SetBrush(ledRssi, kLampDarkGreen);
    timerLedRx->SetEnabled(false);
}

// ============================================================== the outstanding request

void TformMain::StartLinkTimer(uint32_t intervalMs)
{
    timerConnectionManager->SetInterval(intervalMs);
    timerConnectionManager->SetEnabled(true);
    linkRetries = 5;
}

void TformMain::StopLinkTimer()
{
    timerConnectionManager->SetEnabled(false);
    linkRetries = 5;
}

void TformMain::StartReplyTimer(uint32_t intervalMs)
{
    timerMsgTimeout->SetInterval(intervalMs);
    timerMsgTimeout->SetEnabled(true);
    replyRetries = 3;
}

void TformMain::StopReplyTimer() { timerMsgTimeout->SetEnabled(false); }

void TformMain::timerConnectionManagerTimer(QObject*)
{
    timerConnectionManager->SetEnabled(false);
    --linkRetries;
    if (linkRetries > 0) {
        SendFrame(&txMsg, portVigilator);
        LightTxLamp();
        timerConnectionManager->SetEnabled(true);
        return;
    }
    if (opState == osConfigItems || opState == osCheckOptions)
        MarkCurrentItemFailed();
    EndOperation();
    platform::MessageBeep(platform::MB_ICONHAND);
    platform::MessageDlg(GetLangString(this, 177, "A problem was found while communicating with the Vigilator"),
                         platform::MsgDlgType::Error, platform::mbOK);
}

void TformMain::timerMsgTimeoutTimer(QObject*)
{
    timerMsgTimeout->SetEnabled(false);
    --replyRetries;
    if (replyRetries > 0) {
        SendFrame(&txMsg, portVigilator);
        timerMsgTimeout->SetEnabled(true);
        LightTxLamp();
        return;
    }
    if (opState == osConfigItems || opState == osCheckOptions || opState == osSingleLnaOptions ||
        opState == osSingleReportFormat)
        MarkCurrentItemFailed();
    platform::MessageBeep(platform::MB_ICONHAND);
    EndOperation();
    SetStatusText("  " + GetLangString(this, 184, "No Response from Repeater"));
}

void TformMain::EndOperation()
{
    if (pageMain->isTabVisible(pageMain->indexOf(tabConfig))) {
        btnConfig->setVisible(true);
        btnAbort->setVisible(false);
    } else {
        btnConfig->setVisible(false);
        btnAbort->setVisible(true);
        btnAbort->setEnabled(false);
    }
    if (formReadConfig)
        ReadConfigJobEnded(formReadConfig);
    if (formDebugLogs)
        DebugLogsJobEnded(formDebugLogs);
    StopReplyTimer();
    StopLinkTimer();
    EnableControls(true);
    timerTextFlash->SetEnabled(false);
    SetSimplePanel(true);
    opState = osIdle;
}

void TformMain::EnableControls(bool enable)
{
    const QColor colour = enable ? QColor(0, 0, 0) : QColor(0x80, 0x80, 0x80);
    SetFontColour(pageMain, colour);
    SetFontColour(pageKvt, colour);
    for (QWidget* w : std::initializer_list<QWidget*>{pageMain, btnDeploy, btnAbandon, btnConfig})
        w->setEnabled(enable);
    if (formReadConfig)
        ReadConfigEnableControls(formReadConfig, enable);
    if (formDebugLogs)
        DebugLogsEnableControls(formDebugLogs, enable);
    for (QAction* a : {menuLoad, menuSave, menuOptions, menuComms, menuVigilatorSetup, menuConnect, menuReadConfig,
                       menuViewLogs})
        a->setEnabled(enable);
    for (QComboBox* combo : {comboHostTel, comboEngineerTel, comboTestTel, comboReportFormat})
        if (QLineEdit* edit = combo->lineEdit())
            edit->setSelection(edit->cursorPosition(), 0);
}

void TformMain::timerTextFlashTimer(QObject*) { SetSimplePanel(!simplePanel_); }

// ============================================================== the interface unit

void TformMain::timerGeneralTimer(QObject*)
{
    TMsgRecord msg;
    msg.length = 3;
    msg.data[0] = msgHostTag;
    msg.data[1] = icStatus;
    msg.data[2] = 0x02;
    SendFrame(&msg, portVigilator);
    if (!timerLedTx->Enabled())
        LightTxLamp();
}

void TformMain::timerDiscoverTimer(QObject*)
{
    if (opState != osIdle || !portVigilator->Connected())
        return;
    TMsgRecord msg;
    msg.length = 2;
    msg.data[0] = msgHostTag;
    msg.data[1] = icDiscover;
    SendFrame(&msg, portVigilator);
    LightTxLamp();
}

void TformMain::timerLowBatteryTimer(QObject*) { imageBattery25->setVisible(imageBattery25->isHidden()); }

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
