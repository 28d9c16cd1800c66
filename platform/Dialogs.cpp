#include "platform/Dialogs.h"

#include <QApplication>
#include <QMessageBox>

namespace platform {
namespace {

MessageDlgHook& DlgHook()
{
    static MessageDlgHook hook;
    return hook;
}

BeepHook& Beeper()
{
    static BeepHook hook;
    return hook;
}

} // namespace

void SetMessageDlgHook(MessageDlgHook hook) { DlgHook() = std::move(hook); }
void SetBeepHook(BeepHook hook) { Beeper() = std::move(hook); }

int MessageDlg(const std::string& text, MsgDlgType type, uint32_t buttons)
{
    if (auto hook = DlgHook())
        return hook(text, type, buttons);
    QMessageBox box;
    box.setWindowTitle(QApplication::applicationDisplayName());
    box.setText(QString::fromStdString(text));
    switch (type) {
    case MsgDlgType::Warning: box.setIcon(QMessageBox::Warning); break;
    case MsgDlgType::Error: box.setIcon(QMessageBox::Critical); break;
    case MsgDlgType::Information: box.setIcon(QMessageBox::Information); break;
    case MsgDlgType::Confirmation: box.setIcon(QMessageBox::Question); break;
    case MsgDlgType::Custom: break;
    }
    QMessageBox::StandardButtons standard;
    if (buttons & mbYes)
        standard |= QMessageBox::Yes;
    if (buttons & mbNo)
        standard |= QMessageBox::No;
    if (buttons & mbOK)
        standard |= QMessageBox::Ok;
    if (buttons & mbCancel)
        standard |= QMessageBox::Cancel;
    box.setStandardButtons(standard ? standard : QMessageBox::Ok);
    switch (box.exec()) {
    case QMessageBox::Yes: return mrYes;
    case QMessageBox::No: return mrNo;
    case QMessageBox::Ok: return mrOk;
    default: return mrCancel;
    }
}

void MessageBeep(uint32_t type)
{
    if (auto hook = Beeper()) {
        hook(type);
        return;
    }
    QApplication::beep();
}

} // namespace platform
