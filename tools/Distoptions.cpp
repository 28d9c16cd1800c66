#include "tools/Distoptions.h"

#include "app/Languages.h"
#include "app/Main.h"
#include "platform/ExceptionDisplay.h"
#include "tools/DialogSizing.h"
#include "tools/Options.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTabWidget>

using namespace dialogsizing;

namespace {
constexpr int kBorderWidth = 8;
constexpr int kPageBorder = 16;
constexpr int kPanelHeight = 34;
constexpr int kClientWidth = 565;
constexpr int kClientHeight = 284;
constexpr int kPasswordWidth = 273;
} // namespace

TformDistOptions::TformDistOptions(TformMain* owner) : QDialog(owner), form_(owner)
{
    clientArea = MakeDialogFrame(this, "formDistOptions", kBorderWidth, kClientWidth, kClientHeight);
    pageControl = MakePageControl(clientArea, kClientHeight - kPanelHeight);

    QWidget* page = AddPage(pageControl, tabOptions, "tabOptions", kPageBorder);
    checkShowEngTab = Make<QCheckBox>(page, "checkShowEngTab", 0, 0);
    checkAllowLog = Make<QCheckBox>(page, "checkAllowLog", 0, 32);

    // The password pages are shown, but nothing reads them.
    page = AddPage(pageControl, tabAdminPassword, "tabAdminPassword", kPageBorder);
    labelValidatePwd = Make<QLabel>(page, "labelValidatePwd", 0, 0);
    editValidatePwd = MakeOptionsPasswordEdit(page, "editValidatePwd", 16, kPasswordWidth);
    labelValidatePwd->setBuddy(editValidatePwd);
    btnChangeAdminPwd = MakeChangePasswordButton(page, "btnChangeAdminPwd", kPasswordWidth);

    page = AddPage(pageControl, tabDistPassword, "tabDistPassword", kPageBorder);
    labelCurrentPwd = Make<QLabel>(page, "labelCurrentPwd", 0, 0);
    labelNewPwd = Make<QLabel>(page, "labelNewPwd", 0, 48);
    labelConfirm = Make<QLabel>(page, "labelConfirm", 0, 96);
    editCurrentPwd = MakeOptionsPasswordEdit(page, "editCurrentPwd", 16, kPasswordWidth);
    editNewPwd = MakeOptionsPasswordEdit(page, "editNewPwd", 64, kPasswordWidth);
    editConfirm = MakeOptionsPasswordEdit(page, "editConfirm", 112, kPasswordWidth);
    labelCurrentPwd->setBuddy(editCurrentPwd);
    labelNewPwd->setBuddy(editNewPwd);
    labelConfirm->setBuddy(editConfirm);
    btnChangeDistPwd = MakeChangePasswordButton(page, "btnChangeDistPwd", kPasswordWidth);

    Panel1 = MakeButtonPanel(clientArea, kPanelHeight, btnOk, btnCancel);
    labelDummy = Make<QLabel>(Panel1, "labelDummy", 0, 0);
    SetPixelSize(labelDummy, 15);
    labelDummy->hide();

    ConnectOkCancel(this, btnOk, btnCancel, &TformDistOptions::btnOkClick);

    ApplyLanguage();
}

TformDistOptions::~TformDistOptions() = default;

void TformDistOptions::ApplyLanguage()
{
    auto text = [this](int id, int variant = 0) { return QString::fromStdString(LangText(form_, id, variant)); };
    setWindowTitle(" " + text(5, 1));
    pageControl->setTabText(0, "  " + text(5) + "  ");
    checkShowEngTab->setText(text(167));
    checkAllowLog->setText(text(72, 1));
    pageControl->setTabText(1, "  " + text(54) + "  ");
    labelValidatePwd->setText(text(73) + " :");
    btnChangeAdminPwd->setText(text(54, 1));
    pageControl->setTabText(2, "  " + text(55) + "  ");
    labelCurrentPwd->setText(text(18, 1) + " :");
    labelNewPwd->setText(text(19, 1) + " :");
    labelConfirm->setText(text(20, 1) + " :");
    btnChangeDistPwd->setText(text(55, 1));
    btnOk->setText(text(15, 1));
    btnCancel->setText(text(16));
    FitLabelAbove(labelValidatePwd, editValidatePwd);
    FitLabelAbove(labelCurrentPwd, editCurrentPwd);
    FitLabelAbove(labelNewPwd, editNewPwd);
    FitLabelAbove(labelConfirm, editConfirm);

    for (QCheckBox* box : {checkShowEngTab, checkAllowLog})
        box->resize(CheckBoxWidth(box), box->sizeHint().height());
    const int pwdWidth = SharedButtonWidth({btnChangeAdminPwd, btnChangeDistPwd}, 100, 48);
    SetWidth(btnChangeAdminPwd, pwdWidth);
    SetWidth(btnChangeDistPwd, pwdWidth);

    // The window is at least as wide as the three tab captions side by side.
    labelDummy->setText(pageControl->tabText(0) + pageControl->tabText(1) + pageControl->tabText(2) + "32");
    labelDummy->adjustSize();
    int clientWidth = kClientWidth;
    if (clientWidth < labelDummy->width())
        clientWidth = labelDummy->width() + 32;
    // Tabs are drawn with more room around their captions than the label measures.
    clientWidth = std::max(clientWidth, pageControl->tabBar()->sizeHint().width() + 8);
    // ... and holds every control of its pages.
    for (QWidget* inner : pageControl->findChildren<QWidget*>(QRegularExpression("Client$"))) {
        inner->adjustSize();
        clientWidth = std::max(clientWidth, inner->width() + 2 * kPageBorder + 8);
    }

    FitClientWidth(this, clientArea, clientWidth, {pageControl, Panel1}, btnOk, btnCancel);
}

void TformDistOptions::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (shown_)
        return;
    shown_ = true;
    platform::Guarded([this] { FormShow(); });
}

void TformDistOptions::FormShow()
{
    const uint32_t options = form_ ? form_->distOptions : 0;
    pageControl->setCurrentWidget(tabOptions);
    checkShowEngTab->setChecked(options & 0x1);
    checkAllowLog->setChecked(options & 0x2);
}

void TformDistOptions::btnOkClick()
{
    if (!form_)
        return;
    uint32_t options = 0;
    if (checkShowEngTab->isChecked())
        options |= 0x1;
    if (checkAllowLog->isChecked())
        options |= 0x2;
    form_->distOptions = options;
}

void TformDistOptions::reject()
{
    done(2);
}
