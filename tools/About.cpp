#include "tools/About.h"

#include "app/Main.h"
#include "platform/ExceptionDisplay.h"
#include "platform/Modal.h"
#include "tools/Author.h"
#include "tools/DialogSizing.h"
#include "tools/History.h"

#include <QFrame>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>

namespace {
constexpr int kBorderWidth = 16;
constexpr int kPanelWidth = 448;

constexpr const char* kFixedLine = "Installation and configuration of SMS repeaters";

constexpr const char* kLicence =
    "LICENCE AGREEMENT\n"
    "\n"
    "This software is licensed, not sold, to the holder of a\n"
    "Vigilator Interface Unit for installing, configuring, testing\n"
    "and reading back SMS repeaters.\n"
    "\n"
    "The software is provided \"as is\", without warranty of any\n"
    "kind, express or implied, including but not limited to the\n"
    "warranties of merchantability, fitness for a particular purpose\n"
    "and non-infringement. In no event shall the authors be liable\n"
    "for any claim, damages or other liability arising from the use\n"
    "of the software or of equipment configured with it.\n"
    "\n"
    "Check every repeater's configuration on site before leaving it\n"
    "in service.\n";

QPixmap DrawLogo(QSize size, const QColor& top, const QColor& bottom, const QString& text)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, 0, size.height());
    gradient.setColorAt(0, top);
    gradient.setColorAt(1, bottom);
    painter.setBrush(gradient);
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(1, 1, size.width() - 2, size.height() - 2), 10, 10);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(std::max(10, size.height() / 5));
    painter.setFont(font);
    painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter | Qt::TextWordWrap, text);
    return pixmap;
}
} // namespace

QPixmap MakerLogo(QSize size)
{
    return DrawLogo(size, QColor(0x2a, 0x6f, 0xb8), QColor(0x10, 0x30, 0x60), "KVT");
}

QPixmap GroupLogo(QSize size)
{
    return DrawLogo(size, QColor(0x6a, 0x8f, 0x3a), QColor(0x2c, 0x45, 0x12), "Example\nGroup");
}

TformAbout::TformAbout(TformMain* owner) : QDialog(owner), form_(owner)
{
    setObjectName("formAbout");
    dialogsizing::SetFixedDialogFlags(this);
    setWindowIcon(MakerLogo(QSize(32, 32)));
    dialogsizing::SetPixelSize(this, 13);

    Panel4 = new QFrame(this);
    Panel4->setObjectName("Panel4");
    Panel4->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel4->setGeometry(kBorderWidth, kBorderWidth, kPanelWidth, 133);
    labelVersion = dialogsizing::Make<QLabel>(Panel4, "labelVersion", 8, 8);
    labelLanguageVersion = dialogsizing::Make<QLabel>(Panel4, "labelLanguageVersion", 8, 28);
    Label2 = dialogsizing::Make<QLabel>(Panel4, "Label2", 8, 48);
    Label2->setText(kFixedLine);
    Label2->adjustSize();
    imageDrosenLogo = dialogsizing::Make<QLabel>(Panel4, "imageDrosenLogo", 342, 10);
    imageDrosenLogo->resize(98, 114);
    imageDrosenLogo->setPixmap(MakerLogo(imageDrosenLogo->size()));
    imageDrosenLogo->setToolTip("Double-click for the contact details");
    imageDrosenLogo->installEventFilter(this);

    Version_Panel = new QFrame(this);
    Version_Panel->setObjectName("Version_Panel");
    Version_Panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Version_Panel->setGeometry(kBorderWidth, Panel4->geometry().bottom() + 1 + 8, kPanelWidth, 181);
    Disclaimer_Memo = new QPlainTextEdit(Version_Panel);
    Disclaimer_Memo->setObjectName("Disclaimer_Memo");
    Disclaimer_Memo->setGeometry(8, 8, kPanelWidth - 16, 118);
    Disclaimer_Memo->setReadOnly(true);
    Disclaimer_Memo->setFrameShape(QFrame::NoFrame);
    Disclaimer_Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Disclaimer_Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    dialogsizing::SetPixelSize(Disclaimer_Memo, 11);
    QPalette memo = Disclaimer_Memo->palette();
    memo.setColor(QPalette::Base, memo.color(QPalette::Button));
    Disclaimer_Memo->setPalette(memo);
    Disclaimer_Memo->setPlainText(kLicence);
    Line_2 = new QFrame(Version_Panel);
    Line_2->setObjectName("Line_2");
    Line_2->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    Line_2->setGeometry(8, 132, kPanelWidth - 16, 2);
    btnShowHistory = new QPushButton("Show &Version History ...", Version_Panel);
    btnShowHistory->setObjectName("btnShowHistory");
    btnShowHistory->resize(std::max(150, CaptionWidth(btnShowHistory, btnShowHistory->text()) + 48), 25);
    btnShowHistory->move((kPanelWidth - btnShowHistory->width()) / 2, 144);

    OK_Btn = new QPushButton("&OK", this);
    OK_Btn->setObjectName("OK_Btn");
    OK_Btn->resize(75, 25);
    OK_Btn->move(kBorderWidth + (kPanelWidth - OK_Btn->width()) / 2, Version_Panel->geometry().bottom() + 1 + 12);
    OK_Btn->setDefault(true);

    connect(btnShowHistory, &QPushButton::clicked, this,
            [this] { platform::Guarded([this] { btnShowHistoryClick(); }); });
    connect(OK_Btn, &QPushButton::clicked, this, [this] { done(1); });

    FormCreate();
    // Sized to its contents inside the border.
    setFixedSize(kPanelWidth + 2 * kBorderWidth, OK_Btn->geometry().bottom() + 1 + kBorderWidth);
}

TformAbout::~TformAbout() = default;

void TformAbout::FormCreate()
{
    setWindowTitle(QString(" About %1").arg(kProgramTitle));
    labelVersion->setText(QString("%1 %2").arg(kProgramTitle, kAboutVersion));
    labelLanguageVersion->setText(
        QString("Language Pack %1").arg(QString::fromStdString(form_ ? form_->captionSuffix : std::string())));
    labelVersion->adjustSize();
    labelLanguageVersion->adjustSize();
}

void TformAbout::btnShowHistoryClick()
{
    TformHistory window(this);
    formHistory = &window;
    platform::ExecModal(window);
    formHistory = nullptr;
}

void TformAbout::imageDrosenLogoDblClick()
{
    TformAuthor window(this);
    formAuthor = &window;
    platform::ExecModal(window);
    formAuthor = nullptr;
}

void TformAbout::reject()
{
    done(2);
}

bool TformAbout::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == imageDrosenLogo && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        platform::Guarded([this] { imageDrosenLogoDblClick(); });
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

// ============================================================== the Help menu

void TformMain::menuAboutClick()
{
    TformAbout window(this);
    platform::ExecModal(window);
}

void TformMain::menuShowHintsClick()
{
    // Hints are always on; the entry is hidden.
}
