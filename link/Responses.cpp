#include "link/Responses.h"

#include "app/Languages.h"
#include "app/Main.h"
#include "link/Serial.h"
#include "platform/Clock.h"

#include <QListWidget>
#include <ctime>
#include <memory>
#include <utility>
#include <vector>

namespace {

// Set until the first keep-alive reply of the run.
bool firstKeepAlive = true;

// The repeaters of one discovery cycle, gathered over its batches.
std::unique_ptr<std::vector<std::pair<std::string, uint32_t>>> discoveryList;

void SendLocal(TformMain* form, std::initializer_list<uint8_t> bytes)
{
    TMsgRecord msg;
    for (uint8_t b : bytes)
        msg.data[msg.length++] = b;
    SendFrame(&msg, form->portVigilator);
}

} // namespace

void ResetInterfaceState()
{
    firstKeepAlive = true;
    discoveryList.reset();
}

uint32_t LocalUnixTime()
{
    using namespace std::chrono;
    const auto now = platform::WallClockNow();
    const int64_t ms = duration_cast<milliseconds>(now.time_since_epoch()).count();
    const time_t seconds = time_t(ms / 1000);
    tm local {};
    localtime_r(&seconds, &local);
    return uint32_t(int64_t((ms + 500) / 1000) + local.tm_gmtoff);
}

std::string IdPicture(uint32_t id)
{
    std::string digits = std::to_string(id);
    if (digits.size() < 8)
        digits.insert(0, 8 - digits.size(), '0');
    digits.insert(digits.size() - 4, "-");
    return digits;
}

std::string RepeaterIdText(uint32_t id) { return " " + IdPicture(id); }

bool ConnectToInterface(TformMain* form, bool showPanel)
{
    if (showPanel) {
        QWidget* panel = form->panelSplash;
        const QSize client = panel->parentWidget()->size();
        panel->move(client.width() / 2 - panel->width() / 2, client.height() / 3 - panel->height() / 2);
        panel->show();
        panel->raise();
    }
    form->SetStatusText("  " + GetLangString(form, 31, "Opening communication channel") + " ...");
    form->repaint();

    TComPort* port = form->portVigilator;
    if (port->Connected()) {
        port->Close();
        platform::BusyWait(1000);
    }
    try {
        port->Open();
    } catch (const EComPort&) {
        try {
            port->Open();
        } catch (const EComPort&) {
            // Reported to the user by the caller, as "not connected".
        }
    }
    form->panelSplash->hide();

    const bool connected = port->Connected();
    if (connected) {
        form->SetStatusText("  " + GetLangString(form, 32, "Unidentified port opened"));
        form->linkRetries = 5;
        SendLocal(form, {msgHostTag, icStatus, 0x02});
        const uint32_t t = LocalUnixTime();
        SendLocal(form, {msgHostTag, icSetClock, uint8_t(t >> 24), uint8_t(t >> 16), uint8_t(t >> 8), uint8_t(t)});
        form->opState = osConnecting;
        form->txMsg.length = 3;
        form->txMsg.data[0] = msgHostTag;
        form->txMsg.data[1] = icCommsMode;
        form->txMsg.data[2] = 0x01;
        form->StartLinkTimer(3000);
        SendFrame(&form->txMsg, port);
        form->LightTxLamp();
    } else {
        form->SetStatusText("  " + GetLangString(form, 33, "NOT CONNECTED"));
    }
    form->menuConnect->setChecked(connected);
    form->timerGeneral->SetEnabled(connected);
    form->timerRxService->SetEnabled(connected);
    form->timerDiscover->SetEnabled(false);
    return connected;
}

void ProcessRxMessage(TformMain* form, const TMsgRecord* msg)
{
    if (msg->length == 0)
        return;
    switch (msg->data[0]) {
    case icCommsMode:
        ProcessCommsSetReply(form, msg);
        break;
    case icStatus:
        ProcessKeepAliveReply(form, msg);
        break;
    case icDiscover:
    case icDiscoverNext:
        ProcessDiscoverReply(form, msg);
        break;
    case icPoll:
        ProcessPollReply(form, msg);
        break;
    case icRelayReply:
    case icRelayChirpReply:
        ProcessRepeaterReply(form, msg);
        break;
    default: // our own relay echoed, or an id we do not know: ignored
        break;
    }
}

void ProcessCommsSetReply(TformMain* form, const TMsgRecord*)
{
    // A reply during a job ends that job properly: its controls come back.
    if (form->opState != osIdle && form->opState != osConnecting)
        form->EndOperation();
    form->StopReplyTimer();
    form->opState = osIdle;
    form->SetStatusText("  " + GetLangString(form, 233, "Vigilator-Repeater Communications set"));
    form->timerDiscover->SetEnabled(true);
    form->timerDiscoverTimer(form->timerDiscover);
}

void ProcessKeepAliveReply(TformMain* form, const TMsgRecord* msg)
{
    if (firstKeepAlive) {
        firstKeepAlive = false;
        form->SetStatusText("  " + GetLangString(form, 34, "Connected to Vigilator") + ". " +
                            GetLangString(form, 234, "Switching to Repeater mode") + ".");
    }
    // A reply too short to carry the voltage leaves the gauge as it is.
    if (msg->length < 4)
        return;
    const unsigned mV = unsigned(msg->data[2]) * 256 + msg->data[3];
    form->timerLowBattery->SetEnabled(false);
    for (QWidget* image : {form->imageBattery0, form->imageBattery25, form->imageBattery50, form->imageBattery75,
                           form->imageBattery100})
        image->hide();
    if (mV > 7500) {
        form->imageBattery100->show();
    } else if (mV > 7000) {
        form->imageBattery75->show();
    } else if (mV > 6500) {
        form->imageBattery50->show();
    } else {
        form->imageBattery0->show();
        form->imageBattery25->show();
        if (mV < 6250)
            form->timerLowBattery->SetEnabled(true);
    }
}

void ProcessDiscoverReply(TformMain* form, const TMsgRecord* msg)
{
    if (!discoveryList)
        discoveryList = std::make_unique<std::vector<std::pair<std::string, uint32_t>>>();
    if (msg->length < 2 || (msg->length - 2) % 4 != 0)
        return;
    const uint8_t entries = uint8_t((msg->length - 2) / 4);
    for (unsigned k = 0; k < entries; ++k) {
        const uint8_t* e = msg->data + 2 + 4 * k;
        const uint32_t id = uint32_t(e[0]) * 4194304u + uint32_t(e[1]) * 65536u + uint32_t(e[2]) * 256u + e[3];
        const std::string text = RepeaterIdText(id);
        bool known = false;
        for (const auto& entry : *discoveryList)
            known = known || entry.first == text;
        if (!known)
            discoveryList->emplace_back(text, id);
    }
    if (msg->data[1] != 0) {
        // The follow-up goes out from a record of its own: txMsg holds the
        // request that the retry timers may still resend.
        SendLocal(form, {msgHostTag, icDiscoverNext});
        form->LightTxLamp();
        return;
    }

    QListWidget* box = form->boxRepeaters;
    // Taking out the current row makes the list select its neighbour: the
    // selection is the user's, so it is put back or cleared here instead.
    QListWidgetItem* selected = box->currentItem() && box->currentItem()->isSelected() ? box->currentItem() : nullptr;
    bool selectedLeft = false;
    for (const auto& entry : *discoveryList) {
        const QString text = QString::fromStdString(entry.first);
        if (box->findItems(text, Qt::MatchExactly).isEmpty()) {
            auto* item = new QListWidgetItem(text);
            item->setData(Qt::UserRole, qint64(entry.second));
            box->addItem(item);
        }
    }
    for (int i = 0; i < box->count(); ++i) {
        const std::string text = box->item(i)->text().toStdString();
        bool listed = false;
        for (const auto& entry : *discoveryList)
            listed = listed || entry.first == text;
        if (!listed) {
            selectedLeft = selectedLeft || box->item(i) == selected;
            delete box->takeItem(i);
            --i;
        }
    }
    if (selectedLeft)
        box->setCurrentRow(-1);
    else if (selected && box->currentItem() != selected)
        box->setCurrentItem(selected);
    discoveryList->clear();
    form->textRepeaters->setText(QString::fromStdString(GetLangString(form, 81, "Repeaters") + " (" +
                                                        std::to_string(box->count()) + ")"));
    if (box->currentRow() < 0 || !box->currentItem() || !box->currentItem()->isSelected())
        form->ClearRepeaterSelection();
}
