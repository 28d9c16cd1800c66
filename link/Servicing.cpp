// The link's servicing on the main window: the receive event and the receive
// service, the activity lamps, the two retry timers and the end of a job, the
// interface unit's periodic senders, and the one way a failed link ends.
#include "app/Languages.h"
#include "app/Main.h"
#include "link/Replies.h"
#include "link/Responses.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/ExceptionDisplay.h"
#include "tools/Msglog.h"
#include "tools/Readconfig.h"
#include "tools/Readdebuglogs.h"

#include <QLineEdit>
#include <QMetaObject>
#include <algorithm>
#include <cerrno>

namespace {

// An incomplete frame whose bytes have stopped arriving this long is given up.
constexpr int64_t kFrameStallMs = 200;

const QColor kLampRed(255, 0, 0);
const QColor kLampDarkRed(0x51, 0, 0);
const QColor kLampLime(0, 255, 0);
const QColor kLampDarkGreen(0, 0x40, 0);

// Disabled controls keep the style's grey text: only the enabled look changes.
void SetFontColour(QWidget* w, const QColor& colour)
{
    QPalette p = w->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive})
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            p.setColor(group, role, colour);
    w->setPalette(p);
}

} // namespace

// ============================================================== receive path

void TformMain::portVigilatorRxChar(QObject*, int32_t Count)
{
    ReadFromPort(Count);
    if (!timerLedRx->Enabled()) {
        SetLamp(ledRx, kLampLime);
        timerLedRx->SetEnabled(true);
    }
    // The receive service sleeps while nothing waits; bytes wake it. Its
    // first tick runs as soon as this event is over, unless the last one was
    // less than a tick ago: frames still go at most one a tick.
    if ((rxRing->Count() > 0 || leftInDriver_) && !timerRxService->Enabled()) {
        timerRxService->SetEnabled(true);
        if (platform::MonotonicMs() - lastServiceMs_ >= int64_t(timerRxService->Interval()) && !serviceQueued_) {
            serviceQueued_ = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    serviceQueued_ = false;
                    if (!timerRxService->Enabled())
                        return;
                    // The next tick comes a whole interval after this one.
                    timerRxService->SetEnabled(false);
                    timerRxService->SetEnabled(true);
                    platform::Guarded([this] { timerRxServiceTimer(timerRxService); });
                },
                Qt::QueuedConnection);
        }
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
    int32_t got = 0;
    try {
        got = portVigilator->Read(buffer, int32_t(n));
    } catch (const EComPort& e) {
        leftInDriver_ = false;
        QueueLinkFailure(LinkDeviceGone(e.WinCode()));
        return;
    }
    if (got <= 0)
        return;
    lastRxMs_ = platform::MonotonicMs();
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
    lastServiceMs_ = platform::MonotonicMs();
    TMsgRecord msg;
    const bool stalled = platform::MonotonicMs() - lastRxMs_ >= kFrameStallMs;
    const TFrameResult result = TakeFrame(*rxRing, msg, stalled);
    if (leftInDriver_ && portVigilator->Connected()) {
        try {
            ReadFromPort(portVigilator->InputCount());
        } catch (const EComPort& e) {
            leftInDriver_ = false;
            QueueLinkFailure(LinkDeviceGone(e.WinCode()));
        }
    }
    if (rxRing->Count() == 0 && !leftInDriver_)
        timerRxService->SetEnabled(false); // until the next bytes arrive
    if (result != TFrameResult::frFrame)
        return;
    if (formMsgLog)
        LogFrame(formMsgLog, &msg);
    if (FrameStopsLinkTimer(opState, msg))
        StopLinkTimer();
    ProcessRxMessage(this, &msg);
}

void TformMain::SetLamp(QWidget* lamp, const QColor& colour)
{
    if (lamp->autoFillBackground() && lamp->palette().color(QPalette::Window) == colour)
        return;
    QPalette p = lamp->palette();
    p.setColor(QPalette::Window, colour);
    lamp->setPalette(p);
    lamp->setAutoFillBackground(true);
}

void TformMain::LightTxLamp()
{
    SetLamp(ledTx, kLampRed);
    timerLedTx->SetEnabled(true);
}

void TformMain::timerLedTxTimer(QObject*)
{
    SetLamp(ledTx, kLampDarkRed);
    timerLedTx->SetEnabled(false);
}

void TformMain::timerLedRxTimer(QObject*)
{
    SetLamp(ledRx, kLampDarkGreen);
    SetLamp(ledRssi, kLampDarkGreen);
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
    LinkFailed(false);
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
    const std::string noResponse = GetLangString(this, 184, "No Response from Repeater");
    if (opState == osReadConfig && formReadConfig)
        ReadConfigJobFailed(formReadConfig, noResponse);
    platform::MessageBeep(platform::MB_ICONHAND);
    EndOperation();
    SetStatusText("  " + noResponse);
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


// ============================================================== a failed link

bool LinkDeviceGone(int32_t error) { return error == EIO || error == ENXIO || error == ENODEV; }

bool FrameStopsLinkTimer(uint8_t state, const TMsgRecord& msg)
{
    // While the handshake waits for the comms-mode reply, or a job for a poll
    // reply, a keep-alive reply (which always comes first) must not leave the
    // lost command without its resends.
    const int id = msg.length > 0 ? msg.data[0] : -1;
    if (state == osConnecting)
        return id == icCommsMode;
    if (WaitsForPoll(state))
        return id == icPoll;
    return true;
}

void TformMain::LinkFailed(bool deviceGone)
{
    if (opState == osConfigItems || opState == osCheckOptions)
        MarkCurrentItemFailed();
    const std::string problem = GetLangString(this, 177, "A problem was found while communicating with the Vigilator");
    if (opState == osReadConfig && formReadConfig)
        ReadConfigJobFailed(formReadConfig, problem);
    EndOperation();
    if (deviceGone) {
        timerGeneral->SetEnabled(false);
        timerDiscover->SetEnabled(false);
        timerRxService->SetEnabled(false);
        leftInDriver_ = false;
        try {
            portVigilator->Close();
        } catch (const EComPort&) {
            // Closed all the same; the device is gone.
        }
        menuConnect->setChecked(false);
        SetStatusText("  " + GetLangString(this, 33, "NOT CONNECTED"));
    }
    // One box at a time: failures that follow while it is open are told by it.
    if (linkFailureShown_)
        return;
    linkFailureShown_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset {linkFailureShown_};
    std::string text = problem;
    if (deviceGone)
        text += "\n" + GetLangString(this, 36, "Please check the PC's Bluetooth settings and the Interface power.");
    platform::MessageBeep(platform::MB_ICONHAND);
    platform::MessageDlg(text, platform::MsgDlgType::Error, platform::mbOK);
}

void TformMain::QueueLinkFailure(bool deviceGone)
{
    // Handled once the handler that saw it has returned: its own later steps
    // (arming a retry timer, say) must not undo the end of the job.
    linkFailureGone_ = linkFailureGone_ || deviceGone;
    if (linkFailureQueued_)
        return;
    linkFailureQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            linkFailureQueued_ = false;
            const bool gone = linkFailureGone_;
            linkFailureGone_ = false;
            // A port closed meanwhile (the failure was handled already, or the
            // window is closing) leaves nothing to end.
            if (!portVigilator->Connected())
                return;
            platform::Guarded([&] { LinkFailed(gone); });
        },
        Qt::QueuedConnection);
}

void TformMain::portVigilatorError(QObject*, TComErrors Errors)
{
    if (Errors.Contains(ceIO))
        QueueLinkFailure(true);
}

bool LinkWriteFailed(TComPort* port, const EComPort& error)
{
    if (!formMain || port != formMain->portVigilator)
        return false;
    formMain->QueueLinkFailure(LinkDeviceGone(error.WinCode()));
    return true;
}
