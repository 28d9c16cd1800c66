#include "platform/Dialogs.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QScreen>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

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

// Whole pixels that hold the text: a rounded-down width would wrap it.
int Advance(const QFontMetricsF& metrics, const QString& text) { return int(std::ceil(metrics.horizontalAdvance(text))); }

// The text in lines no wider than `width`, broken only where it has blanks:
// the label's own breaks (after a hyphen or a slash) would cut a file name.
// A word wider than the whole width is broken where it must be.
QStringList Wrap(const QString& text, const QFontMetricsF& metrics, int width)
{
    QStringList lines;
    for (const QString& paragraph : text.split('\n')) {
        const int size = int(paragraph.size());
        int start = 0; // of the line being filled
        int end = 0;   // of its last whole word
        int at = 0;
        while (at < size) {
            int next = at; // the next word, with the blanks before it
            while (next < size && paragraph[next].isSpace())
                ++next;
            while (next < size && !paragraph[next].isSpace())
                ++next;
            if (Advance(metrics, paragraph.mid(start, next - start)) <= width) {
                end = at = next;
                continue;
            }
            if (end > start) { // the word begins the next line
                lines.push_back(paragraph.mid(start, end - start));
                start = end = at;
                while (start < size && paragraph[start].isSpace())
                    end = at = ++start;
                continue;
            }
            // Alone and still too wide: as many of its letters as fit, at least one.
            int cut = start + 1;
            while (cut < next && Advance(metrics, paragraph.mid(start, cut + 1 - start)) <= width)
                ++cut;
            lines.push_back(paragraph.mid(start, cut - start));
            start = end = at = cut;
        }
        if (end > start || start == 0) // an empty paragraph is an empty line
            lines.push_back(paragraph.mid(start, end - start));
    }
    return lines;
}

int Widest(const QStringList& lines, const QFontMetricsF& metrics)
{
    int widest = 0;
    for (const QString& line : lines)
        widest = std::max(widest, Advance(metrics, line.trimmed()));
    return widest;
}

// The narrowest width at which the text takes no more lines than at `limit`,
// so that the lines come out of even length, and no narrower than the widest
// word (as far as `limit` allows).
int TextWidth(const QFont& font, const QString& text, int limit)
{
    const QFontMetricsF metrics(font);
    const int natural = Widest(text.split('\n'), metrics);
    if (natural <= limit)
        return natural;
    const qsizetype lines = Wrap(text, metrics, limit).size();
    int low = 1, high = limit;
    while (low < high) {
        const int mid = (low + high) / 2;
        if (Wrap(text, metrics, mid).size() <= lines)
            high = mid;
        else
            low = mid + 1;
    }
    const int widestWord = Widest(text.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts), metrics);
    return std::max(low, std::min(widestWord, limit));
}

// The width the window manager's title bar needs for the title: its text in
// bold (as most title bars draw it) and room for the frame's icon and buttons.
int TitleWidth(const QString& title)
{
    QFont font = QApplication::font("QMdiSubWindowTitleBar");
    font.setBold(true);
    const QFontMetrics metrics(font);
    return metrics.horizontalAdvance(title) + 8 * metrics.height();
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
    const int screenWidth = screen ? screen->availableGeometry().width() : 1280;
    const QMargins margins = label->contentsMargins();
    const int frame = margins.left() + margins.right();
    // Half the screen; and the box never grows past its own limit for wide
    // screens, beyond which it would squeeze the text.
    constexpr int wide = 4000; // wider than any row of buttons
    label->setFixedWidth(wide);
    box.layout()->activate();
    const int others = box.layout()->totalMinimumSize().width() - wide;
    const int boxLimit = screenWidth <= 1024 ? screenWidth : std::min(screenWidth - 480, 1000);
    const int limit = std::max(1, std::min(screenWidth / 2, boxLimit - others) - frame);

    const QString text = label->text();
    const int width = TextWidth(label->font(), text, limit);
    // The lines are set as laid out here: the box shows its text unwrapped
    // while it is narrow, which would cut every line at the label's edge.
    const QFontMetricsF metrics(label->font());
    if (width < Widest(text.split('\n'), metrics))
        label->setText(Wrap(text, metrics, width).join('\n'));
    label->setFixedWidth(width + frame);
    // The title bar is as wide as the box: wide enough for the title.
    box.layout()->activate();
    const int shortBy = std::min(TitleWidth(box.windowTitle()), boxLimit) - box.layout()->totalMinimumSize().width();
    if (shortBy > 0)
        label->setFixedWidth(width + frame + shortBy);
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
