#include "tools/Author.h"

#include "platform/ExceptionDisplay.h"
#include "platform/Shell.h"
#include "tools/About.h"
#include "tools/DialogSizing.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>

using dialogsizing::MakeLabel;

TformAuthor* formAuthor = nullptr;

namespace {
constexpr int kClientWidth = 479;
constexpr int kClientHeight = 282;

void SetUnderline(QLabel* label, bool on)
{
    QFont font = label->font();
    font.setUnderline(on);
    label->setFont(font);
}
} // namespace

TformAuthor::TformAuthor(QWidget* owner) : QDialog(owner)
{
    setObjectName("formAuthor");
    setWindowFlags(Qt::Tool | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(" Contact");
    dialogsizing::SetPixelSize(this, 13);

    imageDrosenLogo = new QLabel(this);
    imageDrosenLogo->setObjectName("imageDrosenLogo");
    imageDrosenLogo->setGeometry(16, 16, 98, 114);
    imageDrosenLogo->setPixmap(MakerLogo(imageDrosenLogo->size()));

    constexpr int names = 136, details = 216;
    Label8 = MakeLabel(this, "Label8", names, 16, "Vantelox Example Ltd.");
    QFont bold = Label8->font();
    bold.setBold(true);
    bold.setPixelSize(15);
    Label8->setFont(bold);
    Label8->adjustSize();
    Address_1 = MakeLabel(this, "Address_1", names, 40, "1 Example Park");
    Address_2 = MakeLabel(this, "Address_2", names, 56, "Placeholder Road");
    Address_3 = MakeLabel(this, "Address_3", names, 72, "Sampletown");
    Address_4 = MakeLabel(this, "Address_4", names, 88, "Contact us on the web");
    Address_5 = MakeLabel(this, "Address_5", names, 104, "Exampleland");
    Label9 = MakeLabel(this, "Label9", names, 136, "Telephone:");
    Label10 = MakeLabel(this, "Label10", details, 136, "+00 000 000 0000");
    Label11 = MakeLabel(this, "Label11", names, 152, "Fax:");
    Label12 = MakeLabel(this, "Label12", details, 152, "+00 000 000 0001");
    Label7 = MakeLabel(this, "Label7", names, 168, "E-mail:");
    Email_Text = MakeLabel(this, "Email_Text", details, 168, "support@example.com");
    Label13 = MakeLabel(this, "Label13", names, 184, "Web:");
    Www_Text = MakeLabel(this, "Www_Text", details, 184, "www.example.com");
    Label14 = MakeLabel(this, "Label14", 16, 216, "A member of the Example Group");
    Label15 = MakeLabel(this, "Label15", 16, 232, "Registered in Exampleland, No. 00000000");
    Label16 = MakeLabel(this, "Label16", 16, 248, "All details on this page are placeholders.");
    for (QLabel* link : {Email_Text, Www_Text}) {
        QPalette p = link->palette();
        p.setColor(QPalette::WindowText, QColor(0, 0, 0xC0));
        link->setPalette(p);
    }

    Tarvo_Logo = new QLabel(this);
    Tarvo_Logo->setObjectName("Tarvo_Logo");
    Tarvo_Logo->setGeometry(kClientWidth - 16 - 120, 200, 120, 66);
    Tarvo_Logo->setPixmap(GroupLogo(Tarvo_Logo->size()));

    links_ = {{Label7, kContactMail},    {Email_Text, kContactMail}, {Www_Text, kContactWeb},
              {Tarvo_Logo, kGroupWeb},   {Address_1, kContactMap},   {Address_2, kContactMap},
              {Address_3, kContactMap},  {Address_5, kContactMap},   {Address_4, kContactPage},
              {imageDrosenLogo, kContactPage}};
    for (const auto& [item, link] : links_) {
        auto* widget = const_cast<QWidget*>(static_cast<const QWidget*>(item));
        widget->setCursor(Qt::PointingHandCursor);
        widget->installEventFilter(this);
    }

    setFixedSize(kClientWidth, kClientHeight);
}

TformAuthor::~TformAuthor() = default;

std::string TformAuthor::LinkOf(const QLabel* item) const
{
    const auto it = links_.find(item);
    return it == links_.end() ? std::string() : it->second;
}

void TformAuthor::reject()
{
    done(2);
}

bool TformAuthor::eventFilter(QObject* watched, QEvent* event)
{
    const auto it = links_.find(watched);
    if (it != links_.end()) {
        auto* label = static_cast<QLabel*>(watched);
        switch (event->type()) {
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton && label->rect().contains(mouse->position().toPoint())) {
                const std::string link = it->second;
                platform::Guarded([&] { platform::ShellOpen(link); });
            }
            return true;
        }
        case QEvent::Enter:
            if (label == Email_Text || label == Www_Text)
                SetUnderline(label, true);
            break;
        case QEvent::Leave:
            if (label == Email_Text || label == Www_Text)
                SetUnderline(label, false);
            break;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}
