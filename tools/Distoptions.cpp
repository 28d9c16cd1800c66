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

template <class W>
W* Make(QWidget* parent, const char* name, int x, int y)
{
    auto* w = new W(parent);
    w->setObjectName(name);
    w->move(x, y);
    return w;
}

// A tab sheet with an inner area inside its border.
QWidget* AddPage(QTabWidget* pages, QWidget*& sheet, const char* name)
{
    sheet = new QWidget;
    sheet->setObjectName(name);
    pages->addTab(sheet, {});
    auto* inner = new QWidget(sheet);
    inner->setObjectName(QString(name) + "Client");
    inner->move(kPageBorder, kPageBorder);
    return inner;
}

QLineEdit* PasswordEdit(QWidget* parent, const char* name, int y)
{
    auto* edit = Make<QLineEdit>(parent, name, 0, y);
    edit->resize(273, 24);
    MakeOptionsPasswordEdit(edit);
    return edit;
}

QPushButton* InertButton(QWidget* parent, const char* name)
{
    auto* button = Make<QPushButton>(parent, name, 0, 153);
    button->resize(273, 32);
    button->setEnabled(false);
    return button;
}
} // namespace

TformDistOptions::TformDistOptions(TformMain* owner) : QDialog(owner), form_(owner)
{
    setObjectName("formDistOptions");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    SetPixelSize(this, 13);
    clientArea = new QWidget(this);
    clientArea->setObjectName("clientArea");
    clientArea->setGeometry(kBorderWidth, kBorderWidth, kClientWidth, kClientHeight);

    pageControl = new QTabWidget(clientArea);
    pageControl->setObjectName("pageControl");
    SetPixelSize(pageControl, 15);
    pageControl->setGeometry(0, 0, kClientWidth, kClientHeight - kPanelHeight);

    QWidget* page = AddPage(pageControl, tabOptions, "tabOptions");
    checkShowEngTab = Make<QCheckBox>(page, "checkShowEngTab", 0, 0);
    checkAllowLog = Make<QCheckBox>(page, "checkAllowLog", 0, 32);

    // The password pages are shown, but nothing reads them.
    page = AddPage(pageControl, tabAdminPassword, "tabAdminPassword");
    labelValidatePwd = Make<QLabel>(page, "labelValidatePwd", 0, 0);
    editValidatePwd = PasswordEdit(page, "editValidatePwd", 16);
    labelValidatePwd->setBuddy(editValidatePwd);
    btnChangeAdminPwd = InertButton(page, "btnChangeAdminPwd");

    page = AddPage(pageControl, tabDistPassword, "tabDistPassword");
    labelCurrentPwd = Make<QLabel>(page, "labelCurrentPwd", 0, 0);
    labelNewPwd = Make<QLabel>(page, "labelNewPwd", 0, 48);
    labelConfirm = Make<QLabel>(page, "labelConfirm", 0, 96);
    editCurrentPwd = PasswordEdit(page, "editCurrentPwd", 16);
    editNewPwd = PasswordEdit(page, "editNewPwd", 64);
    editConfirm = PasswordEdit(page, "editConfirm", 112);
    labelCurrentPwd->setBuddy(editCurrentPwd);
    labelNewPwd->setBuddy(editNewPwd);
    labelConfirm->setBuddy(editConfirm);
    btnChangeDistPwd = InertButton(page, "btnChangeDistPwd");

    Panel1 = new QWidget(clientArea);
    Panel1->setObjectName("Panel1");
    Panel1->setGeometry(0, kClientHeight - kPanelHeight, kClientWidth, kPanelHeight);
    btnOk = Make<QPushButton>(Panel1, "btnOk", 0, 9);
    btnCancel = Make<QPushButton>(Panel1, "btnCancel", 0, 9);
    for (QPushButton* b : {btnOk, btnCancel})
        b->resize(75, 25);
    btnOk->setDefault(true);
    btnOk->setAutoDefault(false);
    labelDummy = Make<QLabel>(Panel1, "labelDummy", 0, 0);
    SetPixelSize(labelDummy, 15);
    labelDummy->hide();

    connect(btnOk, &QPushButton::clicked, this, [this] {
        platform::Guarded([this] { btnOkClick(); });
        done(1);
    });
    connect(btnCancel, &QPushButton::clicked, this, [this] { done(2); });

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
    for (QLabel* label : {labelValidatePwd, labelCurrentPwd, labelNewPwd, labelConfirm})
        label->adjustSize();

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

    clientArea->resize(clientWidth, kClientHeight);
    pageControl->resize(clientWidth, kClientHeight - kPanelHeight);
    Panel1->resize(clientWidth, kPanelHeight);
    PlaceOkCancel(btnOk, btnCancel, clientWidth);
    setFixedSize(clientWidth + 2 * kBorderWidth, kClientHeight + 2 * kBorderWidth);
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
