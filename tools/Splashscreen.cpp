#include "tools/Splashscreen.h"

#include "app/Languages.h"
#include "app/Main.h"
#include "platform/Modal.h"

#include <QGuiApplication>
#include <QScreen>

namespace {
constexpr const char* kVersion = "V1.01";
constexpr int kLabelFontPx = 37;
constexpr uint32_t kShowMs = 3000;
} // namespace

TformSplash::TformSplash(TformMain* owner) : QDialog(owner)
{
    setupUi(this);
    // No border, and the window itself is see-through: only the picture and
    // the two labels show.
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(784, 468);
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
    labelVersion->move(labelVersion->x(), labelAppName->y() + labelAppName->height());
    const std::string suffix = owner ? owner->captionSuffix : std::string();
    labelVersion->setText(QString::fromStdString(std::string(kVersion) + "." + suffix));

    timerKill = new TTimer(this);
    timerKill->SetName("timerKill");
    timerKill->SetInterval(kShowMs);
    timerKill->SetOnTimer([this](QObject* sender) { timerKillTimer(sender); });
}

TformSplash::~TformSplash() = default;

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
