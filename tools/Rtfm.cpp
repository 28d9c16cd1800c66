#include "tools/Rtfm.h"

#include "app/Languages.h"
#include "app/Main.h"
#include "platform/ExceptionDisplay.h"
#include "platform/Modal.h"
#include "platform/Shell.h"
#include "tools/DialogSizing.h"

#include <QEvent>
#include <QMouseEvent>
#include <QStyle>
#include <algorithm>

namespace {
constexpr int kFontPx = 15;
constexpr int kCheckFontPx = 13;
constexpr int kBorderWidth = 8; // the client area's margin on every side
} // namespace

TformRTFM::TformRTFM(TformMain* owner) : QDialog(owner), form_(owner)
{
    setupUi(this);
    dialogsizing::SetFixedDialogFlags(this);
    dialogsizing::SetPixelSize(this, kFontPx);
    dialogsizing::SetPixelSize(checkNoShow, kCheckFontPx);
    Image1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, this).pixmap(48, 48));
    labelUserGuide->hide();
    labelUserGuide->installEventFilter(this);
    connect(btnOk, &QPushButton::clicked, this, [this] { accept(); });

    ApplyLanguage();

    // Layout around the texts of the current language.
    btnOk->resize(std::max(75, CaptionWidth(btnOk, btnOk->text()) + 48), btnOk->height());
    checkNoShow->resize(MarkedCaptionWidth(checkNoShow), checkNoShow->height());
    int widest = 0;
    for (QWidget* w : {static_cast<QWidget*>(labelInfo1), static_cast<QWidget*>(labelInfo2),
                       static_cast<QWidget*>(labelUserGuide), static_cast<QWidget*>(checkNoShow)})
        widest = std::max(widest, w->width());
    const int clientWidth = labelInfo1->x() + widest + 32;
    clientArea->resize(clientWidth, clientArea->height());
    btnOk->move((clientWidth - btnOk->width()) / 2, btnOk->y());
    setFixedSize(clientWidth + 2 * kBorderWidth, clientArea->height() + 2 * kBorderWidth);

    // The link shows only when there is a guide to open.
    labelUserGuide->setVisible(platform::FirstFoundIsFile(kUserGuidePattern));
}

TformRTFM::~TformRTFM() = default;

void TformRTFM::ApplyLanguage()
{
    auto text = [this](int id, int variant = 0) {
        return QString::fromStdString(LangText(form_, id, variant));
    };
    setWindowTitle(" " + text(162));
    labelInfo1->setText(text(163));
    labelInfo2->setText(text(164));
    labelUserGuide->setText(text(165));
    btnOk->setText(text(15, 1));
    checkNoShow->setText(text(166));
    for (QLabel* label : {labelInfo1, labelInfo2, labelUserGuide})
        label->adjustSize();
}

void TformRTFM::labelUserGuideClick()
{
    const std::string name = platform::FindLastFile(kUserGuidePattern);
    if (!name.empty()) {
        platform::ShellOpen(name);
        return;
    }
    // The guide went away since the window opened.
    labelUserGuide->setText(QString::fromStdString("<" + LangText(form_, 257) + ">"));
    labelUserGuide->adjustSize();
    labelUserGuide->setEnabled(false);
}

void TformRTFM::labelUserGuideMouseEnter()
{
    QFont font = labelUserGuide->font();
    font.setUnderline(true);
    labelUserGuide->setFont(font);
}

void TformRTFM::labelUserGuideMouseLeave()
{
    QFont font = labelUserGuide->font();
    font.setUnderline(false);
    labelUserGuide->setFont(font);
}

void TformRTFM::done(int)
{
    QDialog::done(checkNoShow->isChecked() ? kResultNoShow : kResultShowAgain);
}

bool TformRTFM::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == labelUserGuide) {
        switch (event->type()) {
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton && labelUserGuide->rect().contains(mouse->position().toPoint()))
                platform::Guarded([this] { labelUserGuideClick(); });
            return true;
        }
        case QEvent::Enter:
            platform::Guarded([this] { labelUserGuideMouseEnter(); });
            break;
        case QEvent::Leave:
            platform::Guarded([this] { labelUserGuideMouseLeave(); });
            break;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

int ShowRtfm(TformMain* owner)
{
    TformRTFM window(owner);
    return platform::ExecModal(window);
}
