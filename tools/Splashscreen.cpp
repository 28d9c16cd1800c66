#include "tools/Splashscreen.h"

#include "app/Languages.h"
#include "app/Main.h"
#include "platform/Modal.h"

#include <QGuiApplication>
#include <QBitmap>
#include <QFontMetrics>
#include <QScreen>
#include <QStyle>

namespace {
constexpr const char* kVersion = "V1.01";
constexpr int kLabelFontPx = 37;
constexpr uint32_t kShowMs = 3000;
} // namespace

TformSplash::TformSplash(TformMain* owner) : QDialog(owner)
{
    Q_INIT_RESOURCE(resources); // the picture, also when no main window was built
    setupUi(this);
    // No border, and only the picture and the two texts show. The window is
    // cut to their shape rather than drawn see-through: a see-through window
    // is black on an X server without a compositor.
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setFixedSize(784, 468);
    Image1->setPixmap(QPixmap(QStringLiteral(":/images/splash.png")));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
    for (QLabel* label : {labelAppName, labelVersion}) {
        QFont font = label->font();
        font.setPixelSize(kLabelFontPx);
        label->setFont(font);
    }

    labelAppName->setText(QString::fromStdString(
        GetLangString(owner, 74, EnglishText(74))));
    // A word-wrapped label keeps its width and takes the height of its lines.
    labelAppName->resize(labelAppName->width(), labelAppName->heightForWidth(labelAppName->width()));
    labelAppName->move(width() / 2 - labelAppName->width() / 2, labelAppName->y());
    // The form's version label runs a pixel past either side of the window;
    // its text is centred, so the window's own width keeps it in place.
    labelVersion->setGeometry(0, labelAppName->y() + labelAppName->height(), width(), labelVersion->height());
    const std::string suffix = owner ? owner->captionSuffix : std::string();
    labelVersion->setText(QString::fromStdString(std::string(kVersion) + "." + suffix));
    setMask(ShownRegion());

    timerKill = new TTimer(this);
    timerKill->SetName("timerKill");
    timerKill->SetInterval(kShowMs);
    timerKill->SetOnTimer([this](QObject* sender) { timerKillTimer(sender); });
}

TformSplash::~TformSplash() = default;

QRegion TformSplash::ShownRegion() const
{
    // The picture where it is not transparent...
    QRegion shown;
    const QPixmap picture = Image1->pixmap();
    if (!picture.isNull()) {
        const QRect at = QStyle::alignedRect(Qt::LeftToRight, Image1->alignment(), picture.size(), Image1->geometry());
        shown += QRegion(picture.mask()).translated(at.topLeft());
    }
    // ...and the texts, each on a band of the window's colour a little
    // larger than its lines, so that it reads on any desktop.
    constexpr int kMargin = 6;
    for (const QLabel* label : {labelAppName, labelVersion}) {
        const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
        const QRect text = QFontMetrics(label->font()).boundingRect(label->contentsRect(), flags, label->text());
        shown += text.translated(label->pos()).adjusted(-kMargin, -kMargin / 2, kMargin, kMargin / 2) & rect();
    }
    return shown;
}

void TformSplash::timerKillTimer(QObject*)
{
    timerKill->SetEnabled(false);
    reject(); // ends the caller's modal loop
}

void ShowSplash(TformMain* owner)
{
    TformSplash splash(owner);
    platform::ExecModal(splash);
}
