#include "link/ToolReplies.h"

#include "app/Languages.h"
#include "app/Main.h"
#include "link/Requests.h"
#include "link/Responses.h"
#include "link/Serial.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "tools/Readdebuglogs.h"
#include "tools/Rftest.h"

#include <QLabel>
#include <QTreeWidget>

namespace {

void Status(TformMain* form, int id, const std::string& tail = std::string())
{
    form->SetStatusText("  " + LangText(form, id) + tail);
}

bool Is(const TMsgRecord* m, int len, uint8_t code) { return m->length == len && m->data[1] == code; }

// A poll job was acknowledged: show its text flashing and poll for the report.
void PollForReport(TformMain* form, int textId, TOpState next)
{
    Status(form, textId, " ...");
    form->opState = next;
    form->timerTextFlash->SetEnabled(true);
    SendPoll(form);
}

void DebugReadComplete(TformMain* form, TformDebugLogs* logs)
{
    Status(form, 252);
    logs->btnReadAll->show();
    logs->btnAbort->hide();
    form->EndOperation();
}

} // namespace

void ClearDatabaseStep(TformMain* form, const TMsgRecord* msg)
{
    if (!Is(msg, 5, 0xED))
        return;
    form->StopReplyTimer();
    Status(form, 240);
    form->EndOperation();
}

void StartPatrolStep(TformMain* form, const TMsgRecord* msg)
{
    if (!Is(msg, 6, 0xD5) || msg->data[5] != 1)
        return;
    form->StopReplyTimer();
    PollForReport(form, 241, osPatrolPoll);
}

void DatabaseCountStep(TformMain* form, const TMsgRecord* msg)
{
    if (!Is(msg, 8, 0xEB))
        return;
    form->StopReplyTimer();
    form->dbEntryIndex = uint8_t(msg->data[5] + msg->data[6]);
    if (form->dbEntryIndex == 0) {
        auto* row = new QTreeWidgetItem();
        row->setText(0, QString::fromStdString(LangText(form, 242)));
        form->viewDatabase->addTopLevelItem(row);
        Status(form, 68);
        form->EndOperation();
        return;
    }
    // Entries are read from the highest index down to 0.
    form->opState = osDatabaseEntries;
    --form->dbEntryIndex;
    QueueReadDatabaseEntry(form, form->dbEntryIndex);
}

void DatabaseEntryStep(TformMain* form, const TMsgRecord* msg)
{
    // Another index is a late duplicate: it must not shift the walk.
    if ((msg->length != 16 && msg->length != 17) || msg->data[1] != 0xE9 || msg->data[5] != form->dbEntryIndex)
        return;
    form->StopReplyTimer();
    AddLoggerRecord(form, msg);
    if (form->dbEntryIndex > 0) {
        platform::BusyWait(250);
        --form->dbEntryIndex;
        QueueReadDatabaseEntry(form, form->dbEntryIndex);
        return;
    }
    Status(form, 243);
    form->EndOperation();
}

void GsmNetworkStep(TformMain* form, const TMsgRecord* msg)
{
    if (!Is(msg, 6, 0xD5) || msg->data[5] != 0)
        return;
    form->StopReplyTimer();
    if (form->opState == osLogOnRequest)
        PollForReport(form, 244, osLogOnPoll);
    else
        PollForReport(form, 245, osLogOffPoll);
}

std::string TestRefusalText(TformMain* form, bool sms, uint8_t code)
{
    const std::string error = LangText(form, 246) + " - ";
    if (sms) {
        if (code == 1 || code == 2)
            return error + LangText(form, 247);
        if (code == 5)
            return error + LangText(form, 248, 0);
    } else {
        if (code == 3)
            return error + LangText(form, 248, 0);
        if (code == 5)
            return error + LangText(form, 291, 1);
    }
    return LangText(form, 38);
}

void TestRequestStep(TformMain* form, const TMsgRecord* msg)
{
    const bool sms = form->opState == osTestSmsRequest;
    if (Is(msg, 7, 0xFF) && msg->data[5] == 0xE6) {
        form->StopReplyTimer();
        form->SetStatusText("  " + TestRefusalText(form, sms, msg->data[6]));
        platform::MessageBeep(platform::MB_ICONHAND);
        form->EndOperation();
    } else if (Is(msg, 5, 0xE7)) {
        form->StopReplyTimer();
        if (sms)
            PollForReport(form, 249, osTestSmsPoll);
        else
            PollForReport(form, 300, osTestFtpPoll);
    }
}

// The debug reads leave the reply time-out running: the next request arms it
// again, and the end of the job stops it.
void ReadCountersStep(TformMain* form, const TMsgRecord* msg)
{
    TformDebugLogs* logs = formDebugLogs;
    if (!logs) {
        form->EndOperation(); // the window was closed during the read
        return;
    }
    if (logs->logIndex >= kDebugCounters.size())
        return;
    if (!Is(msg, 8, 0xC9) || msg->data[5] != kDebugCounters[logs->logIndex].code)
        return;
    QLabel* value = logs->counterValues[logs->logIndex];
    value->setText(QString::number(unsigned(msg->data[6]) << 8 | msg->data[7]));
    value->adjustSize();
    ++logs->logIndex;
    if (logs->logIndex < kDebugCounters.size()) {
        QueueConfigRequest(form, kDebugCounters[logs->logIndex].code);
        return;
    }
    if (logs->readAll)
        logs->btnReadCountersClick(logs->btnReadSmsSuccess);
    else
        DebugReadComplete(form, logs);
}

void ReadDebugLogStep(TformMain* form, const TMsgRecord* msg)
{
    TformDebugLogs* logs = formDebugLogs;
    if (!logs) {
        form->EndOperation();
        return;
    }
    if (msg->length != 12 || msg->data[5] != logs->logIndex || msg->data[6] != logs->entryIndex)
        return;
    AddDebugLogEntry(logs, msg);
    ++logs->entryIndex;
    if (logs->entryIndex < 16) {
        QueueReadRequest(form, logs->logIndex, logs->entryIndex);
        return;
    }
    QPushButton* next = logs->readAll ? logs->NextLogButton(logs->logIndex) : nullptr;
    if (next)
        logs->btnReadCountersClick(next);
    else
        DebugReadComplete(form, logs);
}
