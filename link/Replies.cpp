#include "link/Replies.h"

#include "app/ConfigItems.h"
#include "app/Languages.h"
#include "app/Main.h"
#include "link/Mme.h"
#include "link/ReadConfigReply.h"
#include "link/Requests.h"
#include "link/Responses.h"
#include "link/Serial.h"
#include "link/ToolReplies.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

namespace {

// A modal question or message of a reply handler is open: further replies
// that would open another one are not acted on.
bool replyDialogOpen = false;

int ShowReplyDialog(const std::string& text, platform::MsgDlgType type, uint32_t buttons)
{
    replyDialogOpen = true;
    const int result = platform::MessageDlg(text, type, buttons);
    replyDialogOpen = false;
    return result;
}

void Status(TformMain* form, int id, const char* english, const std::string& tail = std::string())
{
    form->SetStatusText("  " + GetLangString(form, id, english) + tail);
}

void ErrorBeep() { platform::MessageBeep(platform::MB_ICONHAND); }
void InfoBeep() { platform::MessageBeep(platform::MB_ICONASTERISK); }

bool AddressIs(const TMsgRecord* m, int at, const uint8_t addr[3])
{
    return m->length > at + 2 && m->data[at] == addr[0] && m->data[at + 1] == addr[1] && m->data[at + 2] == addr[2];
}

// True when the record carries `len` bytes and the reply code; a short record
// is never read past its end.
bool Is(const TMsgRecord* m, int len, uint8_t code) { return m->length == len && m->data[1] == code; }

void Deployed(TformMain* form)
{
    ShowReplyDialog(GetLangString(form, 232, "SMS Repeater Successfully Deployed"),
                    platform::MsgDlgType::Information, platform::mbOK);
}

} // namespace

bool WaitsForPoll(uint8_t state)
{
    switch (state) {
    case osCalibrationCheck:
    case osPatrolPoll:
    case osPatrolOutcome:
    case osLogOnPoll:
    case osLogOnOutcome:
    case osTestSmsPoll:
    case osTestSmsOutcome:
    case osLogOffPoll:
    case osLogOffOutcome:
    case osTestFtpPoll:
    case osTestFtpOutcome:
    case osDeployLogOffPoll:
    case osDeployLogOffOutcome:
        return true;
    default:
        return false;
    }
}

TPollStep PollReplyStep(uint8_t state, const TMsgRecord& msg, const uint8_t address[3])
{
    // Only a state that waits for the interface unit polls again: a late or
    // duplicate poll reply must never overwrite the request in txMsg, which
    // the retry timers resend.
    const bool repoll = WaitsForPoll(state);
    if (msg.length < 16) {
        switch (state) {
        case osPatrolPoll: return {osPatrolOutcome, TPollOutcome::poNone, repoll};
        case osLogOnPoll: return {osLogOnOutcome, TPollOutcome::poNone, repoll};
        case osTestSmsPoll: return {osTestSmsOutcome, TPollOutcome::poNone, repoll};
        case osLogOffPoll: return {osLogOffOutcome, TPollOutcome::poNone, repoll};
        case osTestFtpPoll: return {osTestFtpOutcome, TPollOutcome::poNone, repoll};
        case osDeployLogOffPoll: return {osDeployLogOffOutcome, TPollOutcome::poNone, repoll};
        default: return {state, TPollOutcome::poNone, repoll};
        }
    }
    if (!AddressIs(&msg, 4, address))
        return {state, TPollOutcome::poNone, repoll}; // another repeater's report
    switch (state) {
    case osCalibrationCheck: return {state, TPollOutcome::poCalibration, false};
    case osPatrolOutcome: return {state, TPollOutcome::poPatrol, false};
    case osLogOnOutcome: return {state, TPollOutcome::poLogOn, false};
    case osTestSmsOutcome: return {state, TPollOutcome::poTestSms, false};
    case osTestFtpOutcome: return {state, TPollOutcome::poTestFtp, false};
    case osLogOffOutcome:
    case osDeployLogOffOutcome: return {state, TPollOutcome::poLogOff, false};
    default: return {state, TPollOutcome::poNone, repoll};
    }
}

void SendPoll(TformMain* form)
{
    form->txMsg.length = 2;
    form->txMsg.data[0] = msgHostTag;
    form->txMsg.data[1] = icPoll;
    SendFrame(&form->txMsg, form->portVigilator);
    form->LightTxLamp();
    form->StartLinkTimer(250);
}

std::string GsmErrorText(TformMain* form, uint8_t c)
{
    std::string reason;
    switch (c) {
    case 0x27: reason = GetLangString(form, 169, "Illegal GSM Band"); break;
    case 0x33: reason = GetLangString(form, 170, "SIM Card Not Detected"); break;
    case 0x31:
    case 0x32: reason = GetLangString(form, 171, "SIM Card Is Locked"); break;
    case 0x42: reason = GetLangString(form, 172, "Registration Not Allowed"); break;
    case 0x41:
    case 0x45: reason = GetLangString(form, 173, "Network Not Found"); break;
    case 0x46: reason = GetLangString(form, 291, "No GPRS connection"); break;
    default:
        switch (c & 0xF0) {
        case 0x20: reason = GetLangString(form, 174, "Modem Communication Error"); break;
        case 0x30: reason = GetLangString(form, 175, "SIM Error"); break;
        case 0x40: reason = GetLangString(form, 176, "Network Error"); break;
        default: reason = GetLangString(form, 38, "Unknown Error"); break;
        }
    }
    return GetLangString(form, 168, "Logon Failed") + " - " + reason;
}

std::string ElapsedTimeText(TformMain* form, double days)
{
    int64_t ms = int64_t(days * 86400000.0 + 0.5);
    if (ms < 0)
        ms = 0;
    ms %= 3600000; // the hours are not shown
    const int64_t m = ms / 60000;
    const int64_t s = (ms / 1000) % 60;
    const int64_t frac = ms % 1000;
    std::string text;
    if (m == 1)
        text = GetLangString(form, 236, "1 minute") + ", ";
    else if (m > 1)
        text = std::to_string(m) + " " + GetLangString(form, 237, "minutes") + ", ";
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, "%03d", int(frac));
    return text + std::to_string(s) + "." + fraction + " " + GetLangString(form, 67, "seconds");
}

void ProcessPollReply(TformMain* form, const TMsgRecord* msg)
{
    const TPollStep step = PollReplyStep(form->opState, *msg, form->repeaterAddr);
    form->opState = step.state;
    bool repoll = step.repoll;
    if (step.outcome != TPollOutcome::poNone) {
        const uint8_t outcome = msg->data[2];
        switch (step.outcome) {
        case TPollOutcome::poCalibration:
            if (replyDialogOpen)
                return; // the question is already being asked
            repoll = false;
            if (outcome == 0x51) {
                Status(form, 223, "Internal calibration error");
                ErrorBeep();
                const int answer = ShowReplyDialog(
                    GetLangString(form, 224, "An internal calibration error has been detected in the Repeater.") +
                        "\n" + GetLangString(form, 225, "Do you want to continue with the configuration?"),
                    platform::MsgDlgType::Warning, platform::mbYes | platform::mbNo);
                if (answer == platform::mrNo) {
                    form->EndOperation();
                    return;
                }
                if (form->opState != osCalibrationCheck)
                    return; // aborted while the question was open
            }
            form->itemIndex = -1;
            form->opState = osConfigItems;
            if (SendNextConfigItem(form) == irNoneLeft) {
                Status(form, 179, "No configurations selected");
                ErrorBeep();
                form->EndOperation();
            }
            break;
        case TPollOutcome::poPatrol:
            repoll = false;
            Status(form, 226, "Patrol complete");
            InfoBeep();
            form->EndOperation();
            break;
        case TPollOutcome::poLogOn:
            repoll = false;
            if (outcome & 0x01) {
                Status(form, 227, "Log-on successful");
                InfoBeep();
                form->gsmLogonState = 2;
            } else {
                form->SetStatusText("  " + GsmErrorText(form, msg->data[1]));
                ErrorBeep();
                form->gsmLogonState = 1;
            }
            form->EndOperation();
            break;
        case TPollOutcome::poTestSms:
            repoll = false;
            if (outcome & 0x02) {
                Status(form, 230, "SMS Successfully Sent");
                InfoBeep();
            } else {
                Status(form, 231, "SMS Send Failed");
                ErrorBeep();
            }
            form->EndOperation();
            break;
        case TPollOutcome::poTestFtp:
            repoll = false;
            if (outcome & 0x10) {
                Status(form, 301, "FTP Test Successful");
                InfoBeep();
            } else {
                Status(form, 302, "FTP Test Failed");
                ErrorBeep();
            }
            form->EndOperation();
            break;
        case TPollOutcome::poLogOff: {
            if (replyDialogOpen)
                return;
            repoll = false;
            if (!(outcome & 0x01)) {
                Status(form, 228, "Log-off successful");
                InfoBeep();
            } else {
                Status(form, 229, "Repeater could not log off the network!!");
                ErrorBeep();
            }
            const uint8_t was = form->opState;
            form->EndOperation();
            if (was == osDeployLogOffOutcome) {
                form->ClearRepeaterSelection();
                Deployed(form);
            }
            break;
        }
        default:
            break;
        }
    }
    if (repoll && form->opState != osIdle)
        SendPoll(form);
}

namespace {

void ConfigItemStep(TformMain* form, const TMsgRecord* msg)
{
    const int32_t index = form->itemIndex;
    if (index < 0 || index >= kConfigItemCount)
        return;
    TConfigItem& entry = form->configItems[size_t(index)];
    if (!entry.replyCheck)
        return;
    TItemResult r = entry.replyCheck(form, msg);
    if (r == irDone) {
        form->StopReplyTimer();
        ShowTickDone(entry.tick);
        r = form->opState == osConfigItems ? SendNextConfigItem(form) : irNoneLeft;
        if (r == irNoneLeft) {
            const double now = platform::DateTimeNow();
            Status(form, 235, "Configuration successfully completed in",
                   " " + ElapsedTimeText(form, now - form->jobStartTime));
            InfoBeep();
            form->EndOperation();
        }
    } else if (r == irRejected) {
        form->StopReplyTimer();
        ShowTickFailed(entry.tick);
        form->SetStatusText("  " + GetLangString(form, 238, "Configuration rejected by the Repeater") + " - " +
                            GetLangString(form, 239, "Check firmware version"));
        ErrorBeep();
        form->EndOperation();
    }
}

// The item value read before an options write: data[5] the current entry's code.
bool IsCurrentItemValue(TformMain* form, const TMsgRecord* msg)
{
    const int32_t index = form->itemIndex;
    return index >= 0 && index < kConfigItemCount && msg->length >= 7 && msg->data[1] == 0xC9 &&
           msg->data[5] == form->configItems[size_t(index)].code;
}

void SignalStrengthTail(TformMain* form, const TMsgRecord* msg)
{
    const uint32_t address =
        uint32_t(form->repeaterAddr[0]) << 16 | uint32_t(form->repeaterAddr[1]) << 8 | form->repeaterAddr[2];
    if (Is(msg, 8, 0xCD) && msg->data[5] == 0) {
        form->rssiMisses = 0;
        form->timerRssiReq->SetEnabled(false);
        form->timerRssiReq->SetEnabled(true);
        QProgressBar* gauge = form->guageRssi;
        if (msg->data[7] == 0xFF) {
            gauge->setValue(0);
            form->textRssiValue->setText("???");
        } else {
            gauge->setValue(std::clamp<int>(msg->data[7], gauge->minimum(), gauge->maximum()));
            // In tenths, a half rounded up as the "0.0%" pattern does (2 shows
            // 6.3%); printf would round 6.25 to even.
            const int tenths = (gauge->value() * 1000 + 16) / 32;
            form->textRssiValue->setText(QString("%1.%2%").arg(tenths / 10).arg(tenths % 10));
        }
        const QColor bar = gauge->value() >= 7 ? QColor(0, 0x80, 0) : QColor(255, 0, 0);
        if (gauge->palette().color(QPalette::Highlight) != bar) {
            QPalette p = gauge->palette();
            p.setColor(QPalette::Highlight, bar);
            gauge->setPalette(p);
        }
        gauge->show();
        form->textRssiValue->show();
        form->textRssiError->hide();
        form->SetLamp(form->ledRssi, QColor(0, 255, 0));
        form->textSelectedRepeater->setText(QString::fromStdString(
            IdPicture(address) + ", " + GetLangString(form, 253, "Logged-on to GSM Network")));
        form->btnLogOn->setEnabled(false);
        for (QPushButton* b : {form->btnLogOff, form->btnRequestTestSms, form->btnTestFtp})
            b->setEnabled(true);
        form->gsmLogonState = 2;
    } else if (Is(msg, 7, 0xFF) && msg->data[5] == 0xCC && msg->data[6] == 5) {
        form->rssiMisses = 0;
        form->timerRssiReq->SetEnabled(false);
        form->timerRssiReq->SetEnabled(true);
        form->guageRssi->setValue(0);
        form->textRssiValue->setText("0%");
        form->guageRssi->hide();
        form->textRssiValue->hide();
        form->textRssiError->setText(
            QString::fromStdString("<" + GetLangString(form, 248, "Not Logged on to GSM Network") + ">"));
        form->textRssiError->show();
        form->textSelectedRepeater->setText(QString::fromStdString(
            IdPicture(address) + ", " + GetLangString(form, 248, "Not logged on to GSM Network")));
        form->btnLogOn->setEnabled(true);
        for (QPushButton* b : {form->btnLogOff, form->btnRequestTestSms, form->btnTestFtp})
            b->setEnabled(false);
        form->gsmLogonState = 1;
    }
}

} // namespace

void ProcessRepeaterReply(TformMain* form, const TMsgRecord* msg)
{
    ManualMessageReply(form, msg);
    if (msg->length < 2 || !AddressIs(msg, 2, form->repeaterAddr))
        return;
    switch (form->opState) {
    case osEcuOptionsRead:
        if (Is(msg, 7, 0xC9) && msg->data[5] == 0x0D) {
            uint8_t v = msg->data[6];
            form->opState = form->pendingEcuOp;
            if (form->opState == osEcuActive)
                v = uint8_t((v & 0xFD) | (form->radioEcuActive->isChecked() ? 0x02 : 0));
            else if (form->opState == osDeploy)
                v = uint8_t(v | 0x02);
            else if (form->opState == osAbandon)
                v = uint8_t(v & 0xFD);
            QueueEcuOptions(form, v);
        }
        break;
    case osConfigItems:
    case osSingleItem:
        ConfigItemStep(form, msg);
        break;
    case osCheckOptions:
        if (IsCurrentItemValue(form, msg)) {
            uint8_t v = msg->data[6];
            if (form->boxReportFormat->isChecked())
                v = uint8_t((v & 0xE7) | ((form->comboReportFormat->currentIndex() & 0x3) << 3));
            else
                v = uint8_t((v & 0xFE) | (form->radioEnableLna->isChecked() ? 1 : 0));
            form->opState = osConfigItems;
            QueueEcuOptions(form, v);
        }
        break;
    case osSingleReportFormat:
        if (IsCurrentItemValue(form, msg)) {
            QueueEcuOptions(form, uint8_t((msg->data[6] & 0xE7) | ((form->comboReportFormat->currentIndex() & 0x3) << 3)));
            form->opState = osSingleItem;
        }
        break;
    case osSingleLnaOptions:
        if (IsCurrentItemValue(form, msg)) {
            QueueEcuOptions(form, uint8_t((msg->data[6] & 0xFE) | (form->radioEnableLna->isChecked() ? 1 : 0)));
            form->opState = osSingleItem;
        }
        break;
    case osDeploy:
        if (Is(msg, 6, 0xCB) && msg->data[5] == 0x0D) {
            form->StopReplyTimer();
            if (form->gsmLogonState == 1) {
                if (replyDialogOpen)
                    break;
                const std::string t = GetLangString(form, 232, "SMS Repeater Successfully Deployed");
                form->EndOperation();
                form->ClearRepeaterSelection();
                InfoBeep();
                form->SetStatusText("  " + t);
                ShowReplyDialog(t, platform::MsgDlgType::Information, platform::mbOK);
            } else {
                QueueGsmNetworkRequest(form, 0);
                form->opState = osDeployLogOffRequest;
            }
        }
        break;
    case osDeployLogOffRequest:
        if (Is(msg, 6, 0xD5) && msg->data[5] == 0) {
            form->StopReplyTimer();
            Status(form, 245, "Logging off GSM network", " ...");
            form->opState = osDeployLogOffPoll;
            form->timerTextFlash->SetEnabled(true);
            SendPoll(form);
        }
        break;
    case osAbandon:
        if (Is(msg, 6, 0xCB) && msg->data[5] == 0x0D) {
            form->StopReplyTimer();
            form->opState = osAbandonSleep;
            QueueSleep(form);
        }
        break;
    case osAbandonSleep:
    case osSleep:
        if (Is(msg, 6, 0xD5) && msg->data[5] == 4) {
            if (form->opState == osAbandonSleep && replyDialogOpen)
                break;
            form->StopReplyTimer();
            Status(form, 66, "Sleep successfully set");
            const uint8_t was = form->opState;
            form->EndOperation();
            if (was == osAbandonSleep) {
                const std::string t = GetLangString(form, 251, "Deployment abandoned by user");
                form->ClearRepeaterSelection();
                InfoBeep();
                ShowReplyDialog(t, platform::MsgDlgType::Information, platform::mbOK);
            }
        }
        break;
    case osClearDatabase: ClearDatabaseStep(form, msg); break;
    case osStartPatrol: StartPatrolStep(form, msg); break;
    case osDatabaseCount: DatabaseCountStep(form, msg); break;
    case osDatabaseEntries: DatabaseEntryStep(form, msg); break;
    case osLogOnRequest:
    case osLogOffRequest: GsmNetworkStep(form, msg); break;
    case osTestSmsRequest:
    case osTestFtpRequest: TestRequestStep(form, msg); break;
    case osReadCounters: ReadCountersStep(form, msg); break;
    case osReadDebugLog: ReadDebugLogStep(form, msg); break;
    case osReadConfig:
        ReadConfigStep(form, msg);
        break;
    case osEcuActive:
        if (Is(msg, 6, 0xCB) && msg->data[5] == 0x0D) {
            form->StopReplyTimer();
            Status(form, 250, "ECU State command successful");
            form->EndOperation();
        }
        break;
    default:
        break;
    }
    SignalStrengthTail(form, msg);
}
