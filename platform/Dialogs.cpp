#include "platform/Dialogs.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QTextDocument>

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

std::string& Title()
{
    static std::string title;
    return title;
}

// The narrowest width at which `text` takes no more lines than at `limit`:
// the label wraps plain text exactly as these metrics do.
int EvenWidth(const QFontMetrics& metrics, const QString& text, int limit)
{
    constexpr int flags = Qt::TextWordWrap | Qt::TextExpandTabs;
    const auto height = [&](int width) { return metrics.boundingRect(QRect(0, 0, width, 1 << 20), flags, text).height(); };
    const int natural = metrics.boundingRect(QRect(0, 0, 1 << 20, 1 << 20), flags, text).width();
    if (natural <= limit)
        return natural;
    const int lines = height(limit);
    int low = 1, high = limit;
    while (low < high) {
        const int mid = (low + high) / 2;
        if (height(mid) <= lines)
            high = mid;
        else
            low = mid + 1;
    }
    return low;
}

} // namespace

void SetMessageDlgHook(MessageDlgHook hook) { DlgHook() = std::move(hook); }
void SetBeepHook(BeepHook hook) { Beeper() = std::move(hook); }

void SetApplicationTitle(const std::string& title) { Title() = title; }

std::string ApplicationTitle()
{
    return Title().empty() ? QCoreApplication::applicationName().toStdString() : Title();
}

void FitToText(QMessageBox& box)
{
    auto* label = box.findChild<QLabel*>("qt_msgbox_label");
    if (!label || label->textFormat() == Qt::RichText || Qt::mightBeRichText(label->text()))
        return;
    const QScreen* screen = box.screen() ? box.screen() : QGuiApplication::primaryScreen();
    const int limit = screen ? screen->availableGeometry().width() / 2 : 640;
    const QMargins margins = label->contentsMargins();
    label->setFixedWidth(EvenWidth(label->fontMetrics(), label->text(), limit) + margins.left() + margins.right());
}

int MessageDlg(const std::string& text, MsgDlgType type, uint32_t buttons)
{
    if (auto hook = DlgHook())
        return hook(text, type, buttons);
    QMessageBox box;
    box.setWindowTitle(QString::fromStdString(ApplicationTitle()));
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
    FitToText(box);
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
