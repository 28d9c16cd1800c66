#include "tools/Options.h"

#include "app/Languages.h"
#include "app/Main.h"
#include "platform/Dialogs.h"
#include "platform/ExceptionDisplay.h"
#include "platform/Modal.h"
#include "platform/SymbolFont.h"
#include "tools/DialogSizing.h"
#include "tools/Distoptions.h"
#include "tools/Password.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>

using namespace dialogsizing;

namespace {
constexpr int kBorderWidth = 8;
constexpr int kPageBorder = 16; // tab sheets keep their controls this far from their edges
constexpr int kPanelHeight = 34;
constexpr int kClientWidth = 438;
constexpr int kClientHeight = 341;

// Access codes of the Options entry.
constexpr const char* kAdminCode = "ketro";
constexpr const char* kDistributorCode = "vombrel";

// Leading and trailing blanks and control characters (below 33) removed.
QString StripControls(const QString& text)
{
    qsizetype begin = 0, end = text.size();
    while (begin < end && text[begin].unicode() < 33)
        ++begin;
    while (end > begin && text[end - 1].unicode() < 33)
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

QLineEdit* MakeOptionsPasswordEdit(QWidget* page, const char* name, int y, int width)
{
    auto* edit = Make<QLineEdit>(page, name, 0, y);
    edit->resize(width, 24);
    edit->setEchoMode(QLineEdit::Password);
    edit->setStyleSheet(QString("QLineEdit { lineedit-password-character: %1; }")
                            .arg(platform::SymbolGlyph(platform::kSymbolDot).at(0).unicode()));
    return edit;
}

void FitLabelAbove(QLabel* label, const QWidget* field)
{
    label->adjustSize();
    label->resize(label->width(), std::min(label->height(), field->y() - label->y()));
}

QPushButton* MakeChangePasswordButton(QWidget* page, const char* name, int width)
{
    auto* button = Make<QPushButton>(page, name, 0, 153);
    button->resize(width, 32);
    button->setEnabled(false);
    return button;
}

TformAdminOptions::TformAdminOptions(TformMain* owner) : QDialog(owner), form_(owner)
{
    clientArea = MakeDialogFrame(this, "formAdminOptions", kBorderWidth, kClientWidth, kClientHeight);
    pageControl = MakePageControl(clientArea, kClientHeight - kPanelHeight);

    // ---- the options page
    QWidget* page = AddPage(pageControl, tabOptions, "tabOptions", kPageBorder);
    checkShowConfig = Make<QCheckBox>(page, "checkShowConfig", 0, 0);
    checkSetClock = Make<QCheckBox>(page, "checkSetClock", 0, 32);
    checkShowWarning = Make<QCheckBox>(page, "checkShowWarning", 0, 64);
    checkForceSlowTx = Make<QCheckBox>(page, "checkForceSlowTx", 0, 96);
    labelWaitTime = MakeLabel(page, "labelWaitTime", 0, 128);
    spinWaitTime = Make<QSpinBox>(page, "spinWaitTime", 16, 148);
    spinWaitTime->resize(48 + 24, 24);
    spinWaitTime->setRange(0, 9999);
    spinWaitTime->setSingleStep(50);
    spinWaitTime->setGroupSeparatorShown(false);
    spinWaitTime->setWrapping(false);
    editWaitTime = spinWaitTime->findChild<QLineEdit*>();
    editWaitTime->setObjectName("editWaitTime");
    editWaitTime->setMaxLength(4);
    editWaitTime->installEventFilter(this);
    spinWaitTime->setValue(0);
    Label2 = MakeLabel(page, "Label2", 96, 152, "milliseconds");
    Label3 = MakeLabel(page, "Label3", 96 + Label2->width() + 8, 152, "(Default is 3500ms)");
    labelPatrolDuration = MakeLabel(page, "labelPatrolDuration", 0, 190);
    spinPatrolTime = Make<QSpinBox>(page, "spinPatrolTime", 16, 210);
    spinPatrolTime->resize(48 + 24, 24);
    spinPatrolTime->setRange(1, 60);
    spinPatrolTime->setSingleStep(1);
    spinPatrolTime->setWrapping(false);
    spinPatrolTime->setValue(8);
    editPatrolDuration = spinPatrolTime->findChild<QLineEdit*>();
    editPatrolDuration->setObjectName("editPatrolDuration");
    // Only the arrows change the duration.
    editPatrolDuration->setReadOnly(true);
    editPatrolDuration->setMaxLength(2);
    spinPatrolTime->setToolTip("Use this to enter the duration of a test patrol");
    labelPatrolDuration->setBuddy(spinPatrolTime);
    Label1 = MakeLabel(page, "Label1", 96, 214, "seconds");

    // ---- the password page: shown, but nothing reads it
    QWidget* pwdPage = AddPage(pageControl, tabPassword, "tabPassword", kPageBorder);
    labelCurrent = MakeLabel(pwdPage, "labelCurrent", 0, 0);
    labelNew = MakeLabel(pwdPage, "labelNew", 0, 48);
    labelConfirm = MakeLabel(pwdPage, "labelConfirm", 0, 96);
    editCurrent = MakeOptionsPasswordEdit(pwdPage, "editCurrent", 16, 337);
    editNew = MakeOptionsPasswordEdit(pwdPage, "editNew", 64, 337);
    editConfirm = MakeOptionsPasswordEdit(pwdPage, "editConfirm", 112, 337);
    btnChangePwd = MakeChangePasswordButton(pwdPage, "btnChangePwd", 257);

    // ---- the buttons
    Panel1 = MakeButtonPanel(clientArea, kPanelHeight, btnOk, btnCancel);

    // Setting a box from code runs its handler as a click does.
    auto guard = [this](void (TformAdminOptions::*handler)()) {
        return [this, handler] { platform::Guarded([&] { (this->*handler)(); }); };
    };
    for (QCheckBox* box : {checkSetClock, checkShowWarning, checkForceSlowTx})
        connect(box, &QCheckBox::toggled, this, guard(&TformAdminOptions::checkForceSlowTxClick));
    connect(checkShowConfig, &QCheckBox::toggled, this, guard(&TformAdminOptions::checkShowConfigClick));
    ConnectOkCancel(this, btnOk, btnCancel, &TformAdminOptions::btnOkClick);

    ApplyLanguage();
}

TformAdminOptions::~TformAdminOptions() = default;

void TformAdminOptions::ApplyLanguage()
{
    auto text = [this](int id, int variant = 0) { return QString::fromStdString(LangText(form_, id, variant)); };
    setWindowTitle(" " + text(5, 1));
    pageControl->setTabText(0, "  " + text(5, 1) + "  ");
    checkShowConfig->setText(text(153));
    checkSetClock->setText(text(154));
    checkShowWarning->setText(text(155));
    checkForceSlowTx->setText(text(156));
    labelWaitTime->setText(text(281));
    labelPatrolDuration->setText(text(157));
    pageControl->setTabText(1, text(17));
    btnChangePwd->setText(text(17));
    labelCurrent->setText(text(18));
    labelNew->setText(text(19));
    labelConfirm->setText(text(20));
    btnOk->setText(text(15, 1));
    btnCancel->setText(text(16));
    for (QLabel* label : {labelWaitTime, labelPatrolDuration})
        label->adjustSize();
    FitLabelAbove(labelCurrent, editCurrent);
    FitLabelAbove(labelNew, editNew);
    FitLabelAbove(labelConfirm, editConfirm);

    // Widths from the captions; the window grows when the options page is too narrow.
    int widest = 0;
    for (QCheckBox* box : {checkShowConfig, checkSetClock, checkShowWarning, checkForceSlowTx}) {
        box->resize(CheckBoxWidth(box), box->sizeHint().height());
        widest = std::max(widest, box->width());
    }
    for (QLabel* label : {labelWaitTime, labelPatrolDuration})
        widest = std::max(widest, label->width());
    const int needed = widest + checkShowConfig->x() + 32;
    int clientWidth = kClientWidth;
    if (needed > pageControl->width() - 2 * kPageBorder)
        clientWidth = needed + 32;
    // The password page's widest control and the fixed texts beside the wait time fit as well.
    clientWidth = std::max(clientWidth, Label3->x() + Label3->width() + 2 * kPageBorder + 8);
    SetWidth(btnChangePwd, std::max(75, CaptionWidth(btnChangePwd, btnChangePwd->text()) + 48));
    clientWidth = std::max(clientWidth, btnChangePwd->width() + 2 * kPageBorder + 8);
    // The two tab captions side by side, without scroll arrows.
    clientWidth = std::max(clientWidth, pageControl->tabBar()->sizeHint().width() + 8);

    for (QWidget* page : {tabOptions, tabPassword})
        if (QWidget* inner = page->findChild<QWidget*>(page->objectName() + "Client", Qt::FindDirectChildrenOnly))
            inner->adjustSize(); // around its controls
    FitClientWidth(this, clientArea, clientWidth, {pageControl, Panel1}, btnOk, btnCancel);
}

void TformAdminOptions::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (shown_)
        return;
    shown_ = true;
    dialogsizing::CentreOnScreen(this);
    platform::Guarded([this] { FormShow(); });
}

void TformAdminOptions::FormShow()
{
    // In this order: each change of a box runs its handler.
    const uint32_t options = form_ ? form_->adminOptions : 0;
    checkSetClock->setChecked(options & 0x4);
    checkShowConfig->setChecked(options & 0x1);
    checkShowWarning->setChecked(options & 0x8);
    checkForceSlowTx->setChecked(options & 0x2);
    spinWaitTime->setValue(form_ ? form_->linkTimeoutMs : 0);
    spinPatrolTime->setValue(form_ ? form_->rfTestPatrolSeconds : 8);
    pageControl->setCurrentWidget(tabOptions);
}

void TformAdminOptions::checkForceSlowTxClick()
{
    // Chirp-triggered transmissions cannot be switched off here: any change of
    // the three boxes leaves them on.
    checkForceSlowTx->setChecked(true);
    const bool editable = !checkForceSlowTx->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{labelWaitTime, Label2, Label3, spinWaitTime})
        w->setEnabled(editable);
}

void TformAdminOptions::checkShowConfigClick()
{
    checkSetClock->setEnabled(!checkShowConfig->isChecked());
    if (!checkSetClock->isEnabled())
        checkSetClock->setChecked(false);
}

void TformAdminOptions::btnOkClick()
{
    if (!form_)
        return;
    uint32_t options = 0;
    if (checkShowConfig->isChecked())
        options |= 0x1;
    if (checkShowWarning->isChecked())
        options |= 0x8;
    if (checkForceSlowTx->isChecked())
        options |= 0x2;
    if (checkSetClock->isChecked())
        options |= 0x4;
    form_->adminOptions = options;
    // A number typed but not yet taken by the up-down counts too.
    spinWaitTime->interpretText();
    form_->linkTimeoutMs = uint16_t(spinWaitTime->value());
    form_->rfTestPatrolSeconds = uint8_t(spinPatrolTime->value());
}

void TformAdminOptions::reject()
{
    done(2);
}

bool TformAdminOptions::eventFilter(QObject* watched, QEvent* event)
{
    // The wait time takes digits; every other character is swallowed. Control
    // characters pass: backspace, Ctrl+C and Ctrl+V (a pasted text still meets
    // the spin box's own number check), and Delete, which X11 sends as 0x7F.
    if (watched == editWaitTime && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        const char16_t c = text.isEmpty() ? 0 : text[0].unicode();
        if (c >= 32 && c != 0x7F && !(c >= u'0' && c <= u'9'))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

// ============================================================== the Options entry

void TformMain::menuOptionsClick()
{
    TformPassword password(this);
    if (platform::ExecModal(password) != 1 || password.editPassword->text().isEmpty())
        return;
    const QString entry = StripControls(password.editPassword->text());
    if (entry.compare(kAdminCode, Qt::CaseInsensitive) == 0) {
        const uint32_t before = adminOptions;
        TformAdminOptions window(this);
        if (platform::ExecModal(window) == 1 && ((before ^ adminOptions) & 0x1)) {
            if (adminOptions & 0x1) {
                ShowConfigurationTab(true);
            } else {
                ShowConfigurationTab(false);
                ShowEngineeringTab(false);
                distOptions &= ~uint32_t(0x1);
            }
        }
        return;
    }
    if (entry.compare(kDistributorCode, Qt::CaseInsensitive) == 0) {
        const uint32_t before = distOptions;
        TformDistOptions window(this);
        if (platform::ExecModal(window) == 1) {
            menuMessageLog->setVisible((distOptions & 0x2) != 0);
            if ((before ^ distOptions) & 0x1)
                ShowEngineeringTab((distOptions & 0x1) != 0);
        }
        return;
    }
    platform::MessageBeep(platform::MB_ICONHAND);
    platform::MessageDlg(LangText(this, 13), platform::MsgDlgType::Error, platform::mbOK);
}
