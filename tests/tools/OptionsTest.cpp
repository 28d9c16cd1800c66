// The Options entry: the password dialog, the access codes and the two
// options windows, driven by clicks and keys through the modal hook.
#include "app/LangTestSupport.h"
#include "app/Languages.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "tools/Distoptions.h"
#include "tools/ModalScript.h"
#include "tools/Options.h"
#include "tools/Password.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>

namespace {

std::string S(const QString& text)
{
    return text.toStdString();
}

void Click(QWidget* widget)
{
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center());
}

ModalScript::Step TypeCode(const std::string& code, bool ok = true)
{
    return [code, ok](QDialog& dialog) {
        auto& window = dynamic_cast<TformPassword&>(dialog);
        QTest::keyClicks(window.editPassword, QString::fromStdString(code));
        if (ok)
            Click(window.btnOk);
    };
}

ModalScript::Step Admin(std::function<void(TformAdminOptions&)> act)
{
    return [act](QDialog& dialog) { act(dynamic_cast<TformAdminOptions&>(dialog)); };
}

class OptionsEntry : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        platform::SetBeepHook([this](uint32_t type) { beeps.push_back(type); });
        platform::SetMessageDlgHook([this](const std::string& text, platform::MsgDlgType, uint32_t) {
            messages.push_back(text);
            return int(platform::mrOk);
        });
        f = &Create();
        f->adminOptions = 10;
        f->linkTimeoutMs = 3500;
        f->rfTestPatrolSeconds = 8;
    }
    void TearDown() override
    {
        platform::SetMessageDlgHook({});
        platform::SetBeepHook({});
        MainWindowTest::TearDown();
    }
    TformMain* f = nullptr;
    std::vector<uint32_t> beeps;
    std::vector<std::string> messages;
};

} // namespace

TEST(PasswordDialog, WidthFromThePromptAndResults)
{
    TformPassword window(nullptr);
    EXPECT_EQ(S(window.labelPasswordReq->text()), "A password is required to access the options screen :");
    const int client = window.labelPasswordReq->width();
    EXPECT_EQ(window.clientArea->width(), client);
    EXPECT_EQ(window.btnOk->x(), client / 2 - window.btnOk->width() / 2);
    EXPECT_EQ(window.editPassword->width(), client - 32);
    EXPECT_TRUE(window.editPassword->styleSheet().contains(QString::number(0x263A))); // the symbol font's "J"

    ModalScript script;
    script.Then(TypeCode("x"))
        .Then([](QDialog& d) { ModalScript::Escape(dynamic_cast<TformPassword&>(d).editPassword); })
        .Then(ModalScript::CloseBox);
    for (int expected : {1, 2, 2})
        EXPECT_EQ(platform::ExecModal(window), expected);
}

TEST_F(OptionsEntry, AccessCodesStrippedAndComparedIgnoringCase)
{
    struct Case {
        std::string typed;
        bool ok;
        const char* opens; // after the password dialog
        bool refused;      // beep and "Password is Incorrect."
    };
    const Case cases[] = {
        {"ketro", true, "formAdminOptions", false},   {"\t KeTrO ", true, "formAdminOptions", false},
        {"  VOMBREL", true, "formDistOptions", false}, {"ke tro", true, nullptr, true},
        {"ketrovombrel", true, nullptr, true},         {"   ", true, nullptr, true}, // blanks are an entry
        {"", true, nullptr, false},                    {"ketro", false, nullptr, false}, // close box
    };
    for (const Case& c : cases) {
        beeps.clear();
        messages.clear();
        ModalScript script;
        script.Then(TypeCode(c.typed, c.ok));
        f->menuOptions->trigger();
        std::vector<std::string> expected{"formPassword"};
        if (c.opens)
            expected.push_back(c.opens);
        EXPECT_EQ(script.opened, expected) << '"' << c.typed << '"';
        EXPECT_EQ(beeps, c.refused ? std::vector<uint32_t>{platform::MB_ICONHAND} : std::vector<uint32_t>{});
        EXPECT_EQ(messages, c.refused ? std::vector<std::string>{"Password is Incorrect."} : std::vector<std::string>{});
        EXPECT_EQ(f->adminOptions, 10u);
    }
}

TEST_F(OptionsEntry, OptionsWindowsOpenFromTheirOptionWords)
{
    struct Case {
        uint32_t options;
        bool config, clock, clockEnabled, warning, chirp, waitEditable;
    };
    const Case cases[] = {
        {10, false, false, true, true, true, false}, // the default word
        {0, false, false, true, false, false, true},
        {5, true, false, false, false, true, false}, // the configuration tab takes the clock box
        {1, true, false, false, false, false, true},
    };
    for (const Case& c : cases) {
        f->adminOptions = c.options;
        TformAdminOptions window(f);
        window.show();
        EXPECT_EQ(window.checkShowConfig->isChecked(), c.config) << c.options;
        EXPECT_EQ(window.checkSetClock->isChecked(), c.clock) << c.options;
        EXPECT_EQ(window.checkSetClock->isEnabled(), c.clockEnabled) << c.options;
        EXPECT_EQ(window.checkShowWarning->isChecked(), c.warning) << c.options;
        EXPECT_EQ(window.checkForceSlowTx->isChecked(), c.chirp) << c.options;
        for (QWidget* w : std::initializer_list<QWidget*>{window.labelWaitTime, window.editWaitTime, window.Label2,
                                                          window.Label3})
            EXPECT_EQ(w->isEnabled(), c.waitEditable) << c.options << ' ' << S(w->objectName());
        EXPECT_EQ(window.spinWaitTime->value(), 3500);
    }
    // The distributor's window: bit 0 the engineering tab, bit 1 the message log.
    const struct {
        uint32_t options;
        bool engineering, log;
    } dist[] = {{0, false, false}, {1, true, false}, {2, false, true}, {0xFFFFFFFC, false, false}, {3, true, true}};
    for (const auto& c : dist) {
        f->distOptions = c.options;
        TformDistOptions window(f);
        window.show();
        EXPECT_EQ(window.checkShowEngTab->isChecked(), c.engineering) << c.options;
        EXPECT_EQ(window.checkAllowLog->isChecked(), c.log) << c.options;
    }
}

TEST_F(OptionsEntry, ChirpCannotBeUntickedAndTheConfigurationTabUnticksTheClock)
{
    f->adminOptions = 0;
    for (auto box : {&TformAdminOptions::checkSetClock, &TformAdminOptions::checkShowWarning,
                     &TformAdminOptions::checkForceSlowTx}) {
        TformAdminOptions window(f);
        window.show();
        Click(window.*box);
        Click(window.*box);
        EXPECT_TRUE(window.checkForceSlowTx->isChecked());
        EXPECT_FALSE(window.spinWaitTime->isEnabled());
    }
    TformAdminOptions window(f);
    window.show();
    Click(window.checkSetClock);
    Click(window.checkShowConfig);
    EXPECT_FALSE(window.checkSetClock->isChecked());
    EXPECT_FALSE(window.checkSetClock->isEnabled());
}

TEST_F(OptionsEntry, PasswordAndAdministratorWindowsCentredOnTheScreen)
{
    f->setGeometry(400, 300, 400, 300); // the owner off the screen's centre
    std::vector<QPoint> offsets;
    auto offset = [&offsets](QDialog& d) {
        offsets.push_back(d.frameGeometry().center() - d.screen()->availableGeometry().center());
    };
    ModalScript script;
    script.Then([&](QDialog& d) { offset(d); TypeCode("ketro")(d); }).Then(offset);
    f->menuOptionsClick();
    ASSERT_EQ(script.opened, (std::vector<std::string> {"formPassword", "formAdminOptions"}));
    for (const QPoint& o : offsets)
        EXPECT_LE(o.manhattanLength(), 1) << o.x() << "," << o.y();
}

TEST_F(OptionsEntry, WaitTimeTakesFourDigitsInStepsOfFiftyPatrolOnlyByArrows)
{
    f->adminOptions = 0;
    TformAdminOptions window(f);
    window.show();
    window.editWaitTime->selectAll();
    QTest::keyClicks(window.editWaitTime, "1a2- 3.");
    EXPECT_EQ(S(window.editWaitTime->text()), "123");
    // Delete as X11 sends it, with the character 0x7F.
    QTest::keyClick(window.editWaitTime, Qt::Key_Home);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QString(QChar(0x7F)));
    QApplication::sendEvent(window.editWaitTime, &del);
    EXPECT_EQ(S(window.editWaitTime->text()), "23");
    window.editWaitTime->selectAll();
    QTest::keyClicks(window.editWaitTime, "99901");
    QTest::keyClick(window.editWaitTime, Qt::Key_Up);
    EXPECT_EQ(window.spinWaitTime->value(), 9999); // held at the end
    QTest::keyClick(window.editWaitTime, Qt::Key_Down);
    EXPECT_EQ(window.spinWaitTime->value(), 9949);

    QTest::keyClicks(window.editPatrolDuration, "5");
    EXPECT_EQ(window.spinPatrolTime->value(), 8);
    for (auto [key, end] : {std::pair{Qt::Key_Up, 60}, std::pair{Qt::Key_Down, 1}}) {
        for (int i = 0; i < 70; ++i)
            QTest::keyClick(window.editPatrolDuration, key);
        EXPECT_EQ(window.spinPatrolTime->value(), end);
    }
}

TEST_F(OptionsEntry, OkRebuildsTheWordsCancelEscapeAndCloseBoxKeepThem)
{
    auto ok = [](TformAdminOptions& w) { Click(w.btnOk); };
    auto cancel = [](TformAdminOptions& w) { Click(w.btnCancel); };
    auto escape = [](TformAdminOptions& w) { ModalScript::Escape(w.checkShowConfig); };
    for (auto [close, stored] : {std::pair{+ok, true}, {+cancel, false}, {+escape, false}}) {
        f->adminOptions = 0xFFFFFF00u | 10u;
        f->linkTimeoutMs = 700;
        ModalScript script;
        script.Then(TypeCode("ketro")).Then(Admin(close));
        f->menuOptions->trigger();
        EXPECT_EQ(f->adminOptions, stored ? 10u : 0xFFFFFF0Au);
        EXPECT_EQ(f->linkTimeoutMs, 700);
    }
    f->adminOptions = 5; // the clock box opens unticked: OK stores bit 2 clear
    f->distOptions = 0xF0;
    ModalScript script;
    script.Then(TypeCode("ketro")).Then(Admin([](TformAdminOptions& w) {
        QTest::keyClick(w.editPatrolDuration, Qt::Key_Down);
        Click(w.btnOk);
    }));
    script.Then(TypeCode("vombrel")).Then([](QDialog& d) { Click(dynamic_cast<TformDistOptions&>(d).btnOk); });
    f->menuOptions->trigger();
    f->menuOptions->trigger();
    EXPECT_EQ(f->adminOptions, 0x3u);
    EXPECT_EQ(f->rfTestPatrolSeconds, 7);
    EXPECT_EQ(f->distOptions, 0u);
    // Each window freed once, by its caller.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(f->findChildren<QDialog*>().isEmpty());
}

TEST_F(OptionsEntry, AdministratorWindowIsDestroyedExactlyOnce)
{
    int destroyed = 0;
    ModalScript script;
    script.Then(TypeCode("ketro")).Then(Admin([&](TformAdminOptions& w) {
        EXPECT_FALSE(w.testAttribute(Qt::WA_DeleteOnClose));
        QObject::connect(&w, &QObject::destroyed, [&] { ++destroyed; });
        Click(w.btnOk);
    }));
    f->menuOptions->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(destroyed, 1);
}

TEST_F(OptionsEntry, RetryIntervalZeroNeverFiresTheLinkTimer)
{
    platform::TimeControl::UseVirtualTime();
    f->adminOptions = 0; // the wait time is editable
    ModalScript script;
    script.Then(TypeCode("ketro")).Then(Admin([](TformAdminOptions& w) {
        w.editWaitTime->selectAll();
        QTest::keyClicks(w.editWaitTime, "0");
        Click(w.btnOk);
    }));
    f->menuOptions->trigger();
    ASSERT_EQ(f->linkTimeoutMs, 0);
    f->StartLinkTimer(f->linkTimeoutMs);
    platform::TimeControl::Advance(60000);
    EXPECT_FALSE(f->timerConnectionManager->IsArmed());
    EXPECT_EQ(f->linkRetries, 5); // never fired
    EXPECT_TRUE(beeps.empty());
    f->StopLinkTimer();
    platform::TimeControl::UseRealTime();
}

TEST(OptionsWindows, CaptionsAndButtonRules)
{
    TformDistOptions dist(nullptr);
    EXPECT_EQ(S(dist.pageControl->tabText(0)), "  &Options  ");
    EXPECT_EQ(S(dist.checkAllowLog->text()), "Show &Message Log");
    EXPECT_EQ(S(dist.labelDummy->text()),
              "  &Options    &Reset Administrator Password    Change &Distributor Password  32");
    EXPECT_EQ(dist.btnChangeAdminPwd->width(), dist.btnChangeDistPwd->width());
    EXPECT_EQ(dist.btnChangeDistPwd->width(),
              std::max(CaptionWidth(dist.btnChangeAdminPwd, dist.btnChangeAdminPwd->text()),
                       CaptionWidth(dist.btnChangeDistPwd, dist.btnChangeDistPwd->text())) + 48);
    TformAdminOptions admin(nullptr);
    EXPECT_EQ(S(admin.pageControl->tabText(0)), "  Options  ");
    EXPECT_EQ(admin.clientArea->width(), 438);
    EXPECT_TRUE(admin.editCurrent->styleSheet().contains(QString::number(0x25CF))); // the symbol font's "l"
    for (QDialog* window : std::initializer_list<QDialog*>{&dist, &admin}) {
        auto* ok = window->findChild<QPushButton*>("btnOk");
        auto* cancel = window->findChild<QPushButton*>("btnCancel");
        EXPECT_EQ(ok->width(), std::max(75, CaptionWidth(cancel, "&Cancel") + 48));
        EXPECT_EQ(cancel->x() + cancel->width(), cancel->parentWidget()->width());
        EXPECT_EQ(ok->x() + ok->width() + 16, cancel->x());
    }
}
