#include "tools/Password.h"

#include "app/Languages.h"
#include "app/Main.h"
#include "platform/SymbolFont.h"
#include "tools/DialogSizing.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace dialogsizing;

namespace {
constexpr int kBorderWidth = 16;
constexpr int kClientHeight = 89;
} // namespace

TformPassword::TformPassword(TformMain* owner) : QDialog(owner), form_(owner)
{
    setObjectName("formPassword");
    SetFixedDialogFlags(this);
    setFont(PixelFont("Arial", 13));
    clientArea = new QWidget(this);
    clientArea->setObjectName("clientArea");
    clientArea->setGeometry(kBorderWidth, kBorderWidth, 349, kClientHeight);

    labelPasswordReq = new QLabel(clientArea);
    labelPasswordReq->setObjectName("labelPasswordReq");
    labelPasswordReq->move(0, 0);
    SetPixelSize(labelPasswordReq, 15);

    editPassword = new QLineEdit(clientArea);
    editPassword->setObjectName("editPassword");
    editPassword->setGeometry(16, 26, 97, 25);
    SetPixelSize(editPassword, 16);
    editPassword->setEchoMode(QLineEdit::Password);
    // Every typed character shows as the symbol font's "J".
    editPassword->setStyleSheet(QString("QLineEdit { lineedit-password-character: %1; }")
                                    .arg(platform::SymbolGlyph(platform::kSymbolSmiley).at(0).unicode()));

    btnOk = new QPushButton(clientArea);
    btnOk->setObjectName("btnOk");
    btnOk->setGeometry(120, 64, 75, 25);
    btnOk->setDefault(true);
    connect(btnOk, &QPushButton::clicked, this, [this] { done(1); });

    ApplyLanguage();
    labelPasswordReq->setFocusProxy(editPassword);
    editPassword->setFocus();
}

TformPassword::~TformPassword() = default;

void TformPassword::ApplyLanguage()
{
    auto text = [this](int id, int variant = 0) { return QString::fromStdString(LangText(form_, id, variant)); };
    setWindowTitle(" " + text(21));
    labelPasswordReq->setText(text(22) + " :");
    labelPasswordReq->adjustSize();
    btnOk->setText(text(15, 1));

    // The prompt sets the window's width; the entry and OK follow it.
    const int clientWidth = labelPasswordReq->width();
    clientArea->resize(clientWidth, kClientHeight);
    SetWidth(btnOk, std::max(75, CaptionWidth(btnOk, btnOk->text()) + 48));
    btnOk->move(clientWidth / 2 - btnOk->width() / 2, btnOk->y());
    SetWidth(editPassword, clientWidth - 2 * editPassword->x());
    setFixedSize(clientWidth + 2 * kBorderWidth, kClientHeight + 2 * kBorderWidth);
}

void TformPassword::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    dialogsizing::CentreOnScreen(this);
}

void TformPassword::reject()
{
    done(2);
}
