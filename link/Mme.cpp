#include "link/Mme.h"

#include "app/Languages.h"
#include "app/Main.h"
#include "link/OpState.h"
#include "link/Requests.h"
#include "link/Responses.h"
#include "link/Serial.h"
#include "platform/ExceptionDisplay.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <array>

namespace {

// The relayed manual message whose answer is awaited.
struct TManualRelay {
    bool waiting = false;
    uint8_t command = 0;
    uint8_t address[3] = {0, 0, 0};
};
TManualRelay manualRelay;

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

uint8_t Nibble(char c)
{
    if (c <= '9')
        return uint8_t(c - '0');
    if (c <= 'F')
        return uint8_t(c - 'A' + 10);
    return uint8_t(c - 'a' + 10);
}

std::array<QLineEdit*, 8> Editors(TformMain* form)
{
    return {form->editManualMsg1, form->editManualMsg2, form->editManualMsg3, form->editManualMsg4,
            form->editManualMsg5, form->editManualMsg6, form->editManualMsg7, form->editManualMsg8};
}

std::array<QPushButton*, 8> SendButtons(TformMain* form)
{
    return {form->btnSend1, form->btnSend2, form->btnSend3, form->btnSend4,
            form->btnSend5, form->btnSend6, form->btnSend7, form->btnSend8};
}

// The editors' key handling, in the order the keys arrive: the End key
// first (it types nothing), then the typed character.
class TManualKeyFilter : public QObject {
public:
    TManualKeyFilter(TformMain* form) : QObject(form), form_(form) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        bool swallow = false;
        platform::Guarded([&] {
            if (key->key() == Qt::Key_End) {
                uint16_t vk = 35;
                form_->editManualMsg1KeyDown(watched, vk, key->modifiers());
                swallow = vk == 0;
                if (swallow)
                    return;
            }
            const QString text = key->text();
            if (text.size() != 1 || text[0].unicode() > 0xFF)
                return;
            char c = char(text[0].toLatin1());
            form_->editManualMsg1KeyPress(watched, c);
            swallow = c == 0;
        });
        return swallow;
    }

private:
    TformMain* form_;
};

} // namespace

std::string ManualMessageDigits(const std::string& text)
{
    std::string digits;
    for (char c : text)
        if (IsHexDigit(c))
            digits += c;
    return digits;
}

bool BuildManualMessage(const std::string& text, bool relayed, const uint8_t address[3], TMsgRecord& record)
{
    record.length = 0;
    std::string digits = ManualMessageDigits(text);
    if (digits.empty())
        return false;
    if (digits.size() % 2 != 0)
        digits.insert(digits.begin(), '0');
    const size_t count = digits.size() / 2;
    // C0 (and A7 and the address) come before the bytes; whatever would not
    // fit is refused whole, never cut short or written past the record.
    const size_t header = relayed ? 5 : 1;
    if (count > size_t(kMaxMsgData) - header)
        return false;
    uint8_t bytes[kMaxMsgData] = {};
    for (size_t i = 0; i < count; ++i)
        bytes[i] = uint8_t(Nibble(digits[2 * i]) << 4 | Nibble(digits[2 * i + 1]));
    record.data[0] = msgHostTag;
    if (relayed) {
        record.data[1] = icRelay;
        record.data[2] = bytes[0];
        record.data[3] = address[0];
        record.data[4] = address[1];
        record.data[5] = address[2];
        for (size_t i = 1; i < count; ++i)
            record.data[5 + i] = bytes[i];
    } else {
        for (size_t i = 0; i < count; ++i)
            record.data[1 + i] = bytes[i];
    }
    record.length = uint16_t(header + count);
    return true;
}

bool SendManualMessage(TformMain* form, const std::string& text)
{
    if (form->checkSendToRepeater->isChecked()) {
        TMsgRecord record;
        if (!BuildManualMessage(text, true, form->repeaterAddr, record))
            return false;
        form->txMsg = record;
        manualRelay.waiting = true;
        manualRelay.command = record.data[2];
        for (int i = 0; i < 3; ++i)
            manualRelay.address[i] = record.data[3 + i];
        QueueMsg(form, &form->txMsg, 1000);
        return true;
    }
    TMsgRecord record;
    if (!BuildManualMessage(text, false, nullptr, record))
        return false;
    SendFrame(&record, form->portVigilator);
    return true;
}

bool ManualMessageReply(TformMain* form, const TMsgRecord* msg)
{
    if (!manualRelay.waiting)
        return false;
    // Once the reply timer has stopped, or a job has taken over txMsg, the
    // message is no longer the outstanding request.
    const TMsgRecord& tx = form->txMsg;
    const bool stillOut = tx.length >= 6 && tx.data[0] == msgHostTag &&
                          (tx.data[1] == icRelay || tx.data[1] == icRelayChirp) &&
                          tx.data[2] == manualRelay.command && tx.data[3] == manualRelay.address[0] &&
                          tx.data[4] == manualRelay.address[1] && tx.data[5] == manualRelay.address[2];
    if (form->opState != osIdle || !form->timerMsgTimeout->Enabled() || !stillOut) {
        manualRelay.waiting = false;
        return false;
    }
    if (msg->length < 5 || (msg->data[0] != icRelayReply && msg->data[0] != icRelayChirpReply))
        return false;
    for (int i = 0; i < 3; ++i)
        if (msg->data[2 + i] != manualRelay.address[i])
            return false;
    const uint8_t command = manualRelay.command;
    const bool answer = msg->data[1] == uint8_t(command + 1) ||
                        (msg->data[1] == rcError && msg->length >= 6 && msg->data[5] == command);
    if (!answer)
        return false;
    manualRelay.waiting = false;
    form->StopReplyTimer();
    return true;
}

void TformMain::btnSend1Click(QObject* Sender)
{
    const auto buttons = SendButtons(this);
    const auto editors = Editors(this);
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (Sender != buttons[i])
            continue;
        if (SendManualMessage(this, editors[i]->text().toStdString()))
            SetStatusText("  " + LangText(this, 220, 0));
        return;
    }
}

void TformMain::editManualMsg1KeyPress(QObject*, char& Key)
{
    const bool passes = IsHexDigit(Key) || Key == 8 || Key == ' ';
    // Control characters are the editor's business: Ctrl+C, Ctrl+V (the mask
    // takes only what fits) and Delete, which X11 sends as 0x7F.
    if (!passes && uint8_t(Key) >= 0x20 && Key != 0x7F)
        Key = 0;
}

void TformMain::editManualMsg1KeyDown(QObject* Sender, uint16_t& Key, Qt::KeyboardModifiers)
{
    if (Key != 35)
        return;
    auto* edit = qobject_cast<QLineEdit*>(Sender);
    if (!edit)
        return;
    // After the last character typed, not at the end of the mask's blanks.
    const QString shown = edit->displayText();
    int at = 0;
    for (int i = int(shown.size()) - 1; i >= 0; --i) {
        if (shown[i].unicode() > 0x20) {
            at = i + 1;
            break;
        }
    }
    edit->setCursorPosition(at);
    Key = 0;
}

void WireManualMessages(TformMain* form)
{
    auto* filter = new TManualKeyFilter(form);
    for (QLineEdit* edit : Editors(form))
        edit->installEventFilter(filter);
    for (QPushButton* button : SendButtons(form))
        QObject::connect(button, &QPushButton::clicked, form,
                         [form, button] { platform::Guarded([&] { form->btnSend1Click(button); }); });
}
