// The Options entry: the password dialog, the access codes, the
// administrator and distributor options windows and what the main window
// does after each, all driven by clicks and keys through the modal hook.
#include "app/LangTestSupport.h"
#include "app/Languages.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "tools/Distoptions.h"
#include "tools/ModalScript.h"
#include "tools/Options.h"
#include "tools/Password.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

namespace {

std::string S(const QString& text)
{
    return text.toStdString();
}

void Click(QWidget* widget)
{
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center());
}

// The password dialog: `code` typed, then OK clicked.
ModalScript::Step TypeCode(const std::string& code)
{
    return [code](QDialog& dialog) {
        auto& window = dynamic_cast<TformPassword&>(dialog);
        QTest::keyClicks(window.editPassword, QString::fromStdString(code));
        Click(window.btnOk);
    };
}

template <class Window>
ModalScript::Step On(std::function<void(Window&)> act)
{
    return [act](QDialog& dialog) { act(dynamic_cast<Window&>(dialog)); };
}

// Records beeps and message dialogs.
class Sounds {
public:
    Sounds()
    {
        platform::SetBeepHook([this](uint32_t type) { beeps.push_back(type); });
        platform::SetMessageDlgHook([this](const std::string& text, platform::MsgDlgType type, uint32_t shown) {
            messages.push_back(text);
            types.push_back(type);
            buttons.push_back(shown);
            return int(platform::mrOk);
        });
    }
    ~Sounds()
    {
        platform::SetMessageDlgHook({});
        platform::SetBeepHook({});
    }
    std::vector<uint32_t> beeps;
    std::vector<std::string> messages;
    std::vector<platform::MsgDlgType> types;
    std::vector<uint32_t> buttons;
};

class OptionsEntry : public MainWindowTest {
protected:
    TformMain& Main(const std::string& library = "")
    {
        TformMain& f = Create(library);
        f.adminOptions = 10;
        f.distOptions = 0;
        f.linkTimeoutMs = 3500;
        f.rfTestPatrolSeconds = 8;
        return f;
    }
    bool ConfigTab(TformMain& f) { return f.pageMain->isTabVisible(f.pageMain->indexOf(f.tabConfig)); }
    bool EngineeringTab(TformMain& f) { return f.pageKvt->isTabVisible(f.pageKvt->indexOf(f.tabEngineering)); }
};

} // namespace

// ------------------------------------------------------------ password dialog

TEST(PasswordDialog, EnglishTextsMaskAndWidthsFromThePrompt)
{
    TformPassword window(nullptr);
    EXPECT_EQ(S(window.windowTitle()), " Enter Password");
    EXPECT_EQ(S(window.labelPasswordReq->text()), "A password is required to access the options screen :");
    EXPECT_EQ(S(window.btnOk->text()), "O&K");
    EXPECT_EQ(window.editPassword->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(window.styleSheet().isEmpty());
    EXPECT_TRUE(window.editPassword->styleSheet().contains(QString::number(0x263A))); // the symbol font's "J"

    const int client = window.labelPasswordReq->width();
    EXPECT_EQ(window.clientArea->width(), client);
    EXPECT_EQ(window.btnOk->width(), std::max(75, CaptionWidth(window.btnOk, "O&K") + 48));
    EXPECT_EQ(window.btnOk->x(), client / 2 - window.btnOk->width() / 2);
    EXPECT_EQ(window.editPassword->x(), 16);
    EXPECT_EQ(window.editPassword->width(), client - 32);
    EXPECT_EQ(window.width(), client + 32);
}

TEST(PasswordDialog, OkGivesOneAndCloseBoxOrEscapeGiveTwo)
{
    struct Case {
        const char* how;
        ModalScript::Step step;
        int result;
    };
    const Case cases[] = {
        {"OK", TypeCode("x"), 1},
        {"Enter", [](QDialog& d) { QTest::keyClick(dynamic_cast<TformPassword&>(d).editPassword, Qt::Key_Return); }, 1},
        {"Escape", [](QDialog& d) { ModalScript::Escape(dynamic_cast<TformPassword&>(d).editPassword); }, 2},
        {"close box", [](QDialog& d) { ModalScript::CloseBox(d); }, 2},
    };
    for (const Case& c : cases) {
        ModalScript script;
        script.Then(c.step);
        TformPassword window(nullptr);
        EXPECT_EQ(platform::ExecModal(window), c.result) << c.how;
    }
}

// ------------------------------------------------------------ access codes

TEST_F(OptionsEntry, AccessCodesStrippedAndComparedIgnoringCase)
{
    struct Case {
        std::string typed;
        bool cancel;
        const char* opens; // the window after the password dialog, or null
        bool refused;      // beep and "Password is Incorrect."
    };
    const Case cases[] = {
        {"ketro", false, "formAdminOptions", false},
        {" KETRO ", false, "formAdminOptions", false},
        {"\tKeTrO\t", false, "formAdminOptions", false},
        {"vombrel", false, "formDistOptions", false},
        {"  VOMBREL", false, "formDistOptions", false},
        {"ke tro", false, nullptr, true},
        {"ketrovombrel", false, nullptr, true},
        {"   ", false, nullptr, true}, // blanks are an entry, just a wrong one
        {"", false, nullptr, false},
        {"ketro", true, nullptr, false},
    };
    TformMain& f = Main();
    for (const Case& c : cases) {
        Sounds sounds;
        ModalScript script;
        if (c.cancel)
            script.Then([&](QDialog& d) {
                QTest::keyClicks(dynamic_cast<TformPassword&>(d).editPassword, QString::fromStdString(c.typed));
                ModalScript::CloseBox(d);
            });
        else
            script.Then(TypeCode(c.typed));
        f.menuOptions->trigger();
        std::vector<std::string> expected{"formPassword"};
        if (c.opens)
            expected.push_back(c.opens);
        EXPECT_EQ(script.opened, expected) << '"' << c.typed << '"';
        if (c.refused) {
            EXPECT_EQ(sounds.beeps, std::vector<uint32_t>{platform::MB_ICONHAND});
            EXPECT_EQ(sounds.messages, std::vector<std::string>{"Password is Incorrect."});
            EXPECT_EQ(sounds.types, std::vector<platform::MsgDlgType>{platform::MsgDlgType::Error});
            EXPECT_EQ(sounds.buttons, std::vector<uint32_t>{platform::mbOK});
        } else {
            EXPECT_TRUE(sounds.beeps.empty() && sounds.messages.empty()) << '"' << c.typed << '"';
        }
        EXPECT_EQ(f.adminOptions, 10u);
        EXPECT_EQ(f.distOptions, 0u);
    }
}

// ------------------------------------------------------------ administrator window

TEST_F(OptionsEntry, AdministratorWindowOpensFromTheOptionWord)
{
    struct Case {
        uint32_t options;
        bool config, clock, clockEnabled, warning, chirp, waitEditable;
    };
    const Case cases[] = {
        {10, false, false, true, true, true, false}, // the default word
        {0, false, false, true, false, false, true},
        {5, true, false, false, false, true, false}, // the clock box follows the configuration tab
        {2, false, false, true, false, true, false},
        {1, true, false, false, false, false, true},
    };
    TformMain& f = Main();
    for (const Case& c : cases) {
        f.adminOptions = c.options;
        f.linkTimeoutMs = 1234;
        f.rfTestPatrolSeconds = 17;
        TformAdminOptions window(&f);
        window.show();
        EXPECT_EQ(window.checkShowConfig->isChecked(), c.config) << c.options;
        EXPECT_EQ(window.checkSetClock->isChecked(), c.clock) << c.options;
        EXPECT_EQ(window.checkSetClock->isEnabled(), c.clockEnabled) << c.options;
        EXPECT_EQ(window.checkShowWarning->isChecked(), c.warning) << c.options;
        EXPECT_EQ(window.checkForceSlowTx->isChecked(), c.chirp) << c.options;
        for (QWidget* w : std::initializer_list<QWidget*>{window.labelWaitTime, window.editWaitTime,
                                                          window.spinWaitTime, window.Label2, window.Label3})
            EXPECT_EQ(w->isEnabled(), c.waitEditable) << c.options << ' ' << S(w->objectName());
        EXPECT_EQ(window.spinWaitTime->value(), 1234);
        EXPECT_EQ(window.spinPatrolTime->value(), 17);
        EXPECT_EQ(window.pageControl->currentWidget(), window.tabOptions);
    }
}

TEST_F(OptionsEntry, ChirpCannotBeUntickedAndTheConfigurationTabTakesTheClock)
{
    TformMain& f = Main();
    f.adminOptions = 0;
    for (QCheckBox* TformAdminOptions::*box :
         {&TformAdminOptions::checkSetClock, &TformAdminOptions::checkShowWarning, &TformAdminOptions::checkForceSlowTx}) {
        TformAdminOptions window(&f);
        window.show();
        ASSERT_TRUE(window.spinWaitTime->isEnabled());
        Click(window.*box);
        EXPECT_TRUE(window.checkForceSlowTx->isChecked());
        EXPECT_FALSE(window.spinWaitTime->isEnabled());
        Click(window.*box); // unticking again does not bring the wait time back
        EXPECT_TRUE(window.checkForceSlowTx->isChecked());
        EXPECT_FALSE(window.spinWaitTime->isEnabled());
    }
    TformAdminOptions window(&f);
    window.show();
    Click(window.checkSetClock);
    ASSERT_TRUE(window.checkSetClock->isChecked());
    Click(window.checkShowConfig);
    EXPECT_FALSE(window.checkSetClock->isChecked());
    EXPECT_FALSE(window.checkSetClock->isEnabled());
    Click(window.checkShowConfig);
    EXPECT_TRUE(window.checkSetClock->isEnabled());
    EXPECT_FALSE(window.checkSetClock->isChecked());
}

TEST_F(OptionsEntry, WaitTimeTakesDigitsAndStepsByFiftyPatrolOnlyByArrows)
{
    TformMain& f = Main();
    f.adminOptions = 0;
    f.linkTimeoutMs = 0;
    TformAdminOptions window(&f);
    window.show();
    window.editWaitTime->selectAll();
    QTest::keyClicks(window.editWaitTime, "1a2-b 3.");
    EXPECT_EQ(S(window.editWaitTime->text()), "123");
    window.editWaitTime->selectAll();
    QTest::keyClicks(window.editWaitTime, "98765");
    EXPECT_EQ(S(window.editWaitTime->text()), "9876");
    QTest::keyClick(window.editWaitTime, Qt::Key_Backspace);
    EXPECT_EQ(S(window.editWaitTime->text()), "987");
    window.editWaitTime->selectAll();
    QTest::keyClicks(window.editWaitTime, "9990");
    QTest::keyClick(window.editWaitTime, Qt::Key_Up);
    EXPECT_EQ(window.spinWaitTime->value(), 9999); // held at the end, no wrap
    QTest::keyClick(window.editWaitTime, Qt::Key_Down);
    EXPECT_EQ(window.spinWaitTime->value(), 9949);

    QTest::keyClicks(window.editPatrolDuration, "5");
    EXPECT_EQ(window.spinPatrolTime->value(), 8);
    QTest::keyClick(window.editPatrolDuration, Qt::Key_Up);
    EXPECT_EQ(window.spinPatrolTime->value(), 9);
    for (int i = 0; i < 70; ++i)
        QTest::keyClick(window.editPatrolDuration, Qt::Key_Up);
    EXPECT_EQ(window.spinPatrolTime->value(), 60);
    for (int i = 0; i < 70; ++i)
        QTest::keyClick(window.editPatrolDuration, Qt::Key_Down);
    EXPECT_EQ(window.spinPatrolTime->value(), 1);
    EXPECT_EQ(window.spinPatrolTime->toolTip(), "Use this to enter the duration of a test patrol");
}

TEST_F(OptionsEntry, AdministratorOkRebuildsTheWordCancelKeepsEverything)
{
    TformMain& f = Main();
    struct Case {
        const char* how;
        ModalScript::Step close;
        bool stored;
    };
    auto ok = [](QDialog& d) { Click(dynamic_cast<TformAdminOptions&>(d).btnOk); };
    auto cancel = [](QDialog& d) { Click(dynamic_cast<TformAdminOptions&>(d).btnCancel); };
    auto escape = [](QDialog& d) { ModalScript::Escape(dynamic_cast<TformAdminOptions&>(d).checkShowConfig); };
    auto closeBox = [](QDialog& d) { ModalScript::CloseBox(d); };
    for (const Case& c : {Case{"OK", ok, true}, Case{"Cancel", cancel, false}, Case{"Escape", escape, false},
                          Case{"close box", closeBox, false}}) {
        f.adminOptions = 0xFFFFFF00u | 10u;
        f.linkTimeoutMs = 700;
        f.rfTestPatrolSeconds = 30;
        ModalScript script;
        script.Then(TypeCode("ketro")).Then(c.close);
        f.menuOptions->trigger();
        ASSERT_EQ(script.opened.size(), 2u) << c.how;
        EXPECT_EQ(script.results[1], c.stored ? 1 : 2) << c.how;
        EXPECT_EQ(f.adminOptions, c.stored ? 10u : 0xFFFFFF0Au) << c.how;
        EXPECT_EQ(f.linkTimeoutMs, 700) << c.how;
        EXPECT_EQ(f.rfTestPatrolSeconds, 30) << c.how;
    }

    // Bits 0 and 2 set: the clock box opens unticked, and OK stores bit 2 clear.
    f.adminOptions = 5;
    ModalScript script;
    script.Then(TypeCode("ketro")).Then(On<TformAdminOptions>([](TformAdminOptions& w) {
        QTest::keyClick(w.editPatrolDuration, Qt::Key_Down);
        Click(w.btnOk);
    }));
    f.menuOptions->trigger();
    EXPECT_EQ(f.adminOptions, 0x3u);
    EXPECT_EQ(f.rfTestPatrolSeconds, 29);
}

TEST_F(OptionsEntry, ConfigurationTabFollowsTheAdministratorOption)
{
    TformMain& f = Main();
    f.adminOptions = 1;
    f.distOptions = 3;
    f.ShowConfigurationTab(true);
    f.ShowEngineeringTab(true);
    auto toggleConfig = [](TformAdminOptions& w) {
        Click(w.checkShowConfig);
        Click(w.btnOk);
    };
    ModalScript script;
    script.Then(TypeCode("ketro")).Then(On<TformAdminOptions>(toggleConfig));
    f.menuOptions->trigger();
    EXPECT_FALSE(ConfigTab(f));
    EXPECT_FALSE(EngineeringTab(f));
    EXPECT_EQ(f.distOptions, 2u); // the engineering bit goes with it
    EXPECT_FALSE(f.btnConfig->isVisibleTo(&f));

    script.Then(TypeCode("KETRO")).Then(On<TformAdminOptions>(toggleConfig));
    f.menuOptions->trigger();
    EXPECT_TRUE(ConfigTab(f));
    EXPECT_FALSE(EngineeringTab(f));
    EXPECT_EQ(f.adminOptions & 1u, 1u);

    // OK without a change of bit 0 leaves the tabs alone.
    f.ShowEngineeringTab(true);
    script.Then(TypeCode("ketro")).Then(On<TformAdminOptions>([](TformAdminOptions& w) { Click(w.btnOk); }));
    f.menuOptions->trigger();
    EXPECT_TRUE(ConfigTab(f));
    EXPECT_TRUE(EngineeringTab(f));
}

TEST_F(OptionsEntry, WindowsAreFreedOnceByTheirCaller)
{
    TformMain& f = Main();
    int destroyed = 0;
    bool deleteOnClose = true;
    auto watch = [&](QDialog& d) {
        deleteOnClose = d.testAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(&d, &QObject::destroyed, [&] { ++destroyed; });
    };
    ModalScript script;
    script.Then([&](QDialog& d) {
              watch(d);
              TypeCode("ketro")(d);
          })
        .Then([&](QDialog& d) {
            watch(d);
            Click(dynamic_cast<TformAdminOptions&>(d).btnOk);
        });
    f.menuOptions->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(destroyed, 2);
    EXPECT_FALSE(deleteOnClose);
    EXPECT_TRUE(f.findChildren<QDialog*>().isEmpty());
}

TEST_F(OptionsEntry, RetryIntervalZeroNeverFiresTheLinkTimer)
{
    platform::TimeControl::UseVirtualTime();
    TformMain& f = Main();
    f.adminOptions = 0; // the wait time is editable
    ModalScript script;
    script.Then(TypeCode("ketro")).Then(On<TformAdminOptions>([](TformAdminOptions& w) {
        w.editWaitTime->selectAll();
        QTest::keyClicks(w.editWaitTime, "0");
        Click(w.btnOk);
    }));
    f.menuOptions->trigger();
    ASSERT_EQ(f.linkTimeoutMs, 0);
    int fired = 0;
    const auto handler = f.timerConnectionManager->OnTimer();
    f.timerConnectionManager->SetOnTimer([&](QObject* s) {
        ++fired;
        handler(s);
    });
    f.StartLinkTimer(f.linkTimeoutMs);
    platform::TimeControl::Advance(60000);
    EXPECT_EQ(fired, 0);
    EXPECT_FALSE(f.timerConnectionManager->IsArmed());
    EXPECT_EQ(f.linkRetries, 5);
    f.StopLinkTimer();
    platform::TimeControl::UseRealTime();
}

// ------------------------------------------------------------ distributor window

TEST_F(OptionsEntry, DistributorWindowTicksFromTheWordAndOkRebuildsIt)
{
    TformMain& f = Main();
    for (uint32_t word : {0u, 1u, 2u, 3u}) {
        f.distOptions = word | 0xF0u;
        TformDistOptions window(&f);
        window.show();
        EXPECT_EQ(window.checkShowEngTab->isChecked(), (word & 1) != 0);
        EXPECT_EQ(window.checkAllowLog->isChecked(), (word & 2) != 0);
        EXPECT_EQ(window.pageControl->currentWidget(), window.tabOptions);
        EXPECT_FALSE(window.btnChangeAdminPwd->isEnabled());
        EXPECT_FALSE(window.btnChangeDistPwd->isEnabled());
        Click(window.btnOk);
        EXPECT_EQ(f.distOptions, word) << word;
    }
}

TEST_F(OptionsEntry, MessageLogEntryAndEngineeringTabFollowTheDistributorWindow)
{
    TformMain& f = Main();
    f.adminOptions = 1;
    f.ShowConfigurationTab(true);
    f.ShowEngineeringTab(false);
    f.menuMessageLog->setVisible(false);
    auto tick = [](std::vector<QCheckBox* TformDistOptions::*> boxes, bool ok) {
        return On<TformDistOptions>([boxes, ok](TformDistOptions& w) {
            for (auto box : boxes)
                Click(w.*box);
            Click(ok ? w.btnOk : w.btnCancel);
        });
    };
    ModalScript script;
    script.Then(TypeCode("vombrel")).Then(tick({&TformDistOptions::checkAllowLog}, true));
    f.menuOptions->trigger();
    EXPECT_EQ(f.distOptions, 2u);
    EXPECT_TRUE(f.menuMessageLog->isVisible());
    EXPECT_FALSE(EngineeringTab(f));

    script.Then(TypeCode("Vombrel")).Then(tick({&TformDistOptions::checkShowEngTab}, true));
    f.menuOptions->trigger();
    EXPECT_EQ(f.distOptions, 3u);
    EXPECT_TRUE(EngineeringTab(f));

    // Cancel: nothing moves.
    script.Then(TypeCode("vombrel"))
        .Then(tick({&TformDistOptions::checkShowEngTab, &TformDistOptions::checkAllowLog}, false));
    f.menuOptions->trigger();
    EXPECT_EQ(f.distOptions, 3u);
    EXPECT_TRUE(f.menuMessageLog->isVisible());
    EXPECT_TRUE(EngineeringTab(f));

    script.Then(TypeCode("vombrel"))
        .Then(tick({&TformDistOptions::checkShowEngTab, &TformDistOptions::checkAllowLog}, true));
    f.menuOptions->trigger();
    EXPECT_EQ(f.distOptions, 0u);
    EXPECT_FALSE(f.menuMessageLog->isVisible());
    EXPECT_FALSE(EngineeringTab(f));
}

TEST(DistributorWindow, EnglishTextsAndLayout)
{
    TformDistOptions window(nullptr);
    EXPECT_EQ(S(window.windowTitle()), " Options");
    EXPECT_EQ(S(window.pageControl->tabText(0)), "  &Options  ");
    EXPECT_EQ(S(window.pageControl->tabText(1)), "  &Reset Administrator Password  ");
    EXPECT_EQ(S(window.pageControl->tabText(2)), "  Change &Distributor Password  ");
    EXPECT_EQ(S(window.checkShowEngTab->text()), "Show &Engineering Tab");
    EXPECT_EQ(S(window.checkAllowLog->text()), "Show &Message Log");
    EXPECT_EQ(S(window.labelValidatePwd->text()), "Re-enter Distributor &Password :");
    EXPECT_EQ(S(window.btnChangeAdminPwd->text()), "Re&set Administrator Password");
    EXPECT_EQ(S(window.labelCurrentPwd->text()), "C&urrent Password :");
    EXPECT_EQ(S(window.btnChangeDistPwd->text()), "C&hange Distributor Password");
    EXPECT_EQ(S(window.btnOk->text()), "O&K");
    EXPECT_EQ(S(window.labelDummy->text()),
              "  &Options    &Reset Administrator Password    Change &Distributor Password  32");
    const int pwd = std::max({100, CaptionWidth(window.btnChangeAdminPwd, window.btnChangeAdminPwd->text()) + 48,
                              CaptionWidth(window.btnChangeDistPwd, window.btnChangeDistPwd->text()) + 48});
    EXPECT_EQ(window.btnChangeAdminPwd->width(), pwd);
    EXPECT_EQ(window.btnChangeDistPwd->width(), pwd);
    const int client = window.clientArea->width();
    EXPECT_GE(client, 565);
    EXPECT_EQ(window.btnCancel->x() + window.btnCancel->width(), client);
    EXPECT_EQ(window.btnOk->x() + window.btnOk->width() + 16, window.btnCancel->x());
    EXPECT_EQ(window.btnOk->width(), window.btnCancel->width());
    EXPECT_TRUE(window.labelDummy->isHidden());
}

TEST(AdministratorWindow, EnglishTextsAndLayout)
{
    TformAdminOptions window(nullptr);
    EXPECT_EQ(S(window.windowTitle()), " Options");
    EXPECT_EQ(S(window.pageControl->tabText(0)), "  Options  ");
    EXPECT_EQ(S(window.pageControl->tabText(1)), "Change Administrator Password");
    EXPECT_EQ(S(window.checkShowConfig->text()), "Show Configuration tab");
    EXPECT_EQ(S(window.checkForceSlowTx->text()), "Force chirp-triggered transmissions");
    EXPECT_EQ(S(window.labelWaitTime->text()), "Bluetooth response timeout");
    EXPECT_EQ(S(window.Label3->text()), "(Default is 3500ms)");
    EXPECT_EQ(S(window.btnCancel->text()), "&Cancel");
    for (QCheckBox* box : {window.checkShowConfig, window.checkSetClock, window.checkShowWarning, window.checkForceSlowTx})
        EXPECT_GE(box->width(), CaptionWidth(box, box->text()) + 19);
    EXPECT_EQ(window.clientArea->width(), 438);
    EXPECT_EQ(window.btnOk->width(), std::max(75, CaptionWidth(window.btnCancel, "&Cancel") + 48));
    EXPECT_EQ(window.btnChangePwd->width(), CaptionWidth(window.btnChangePwd, window.btnChangePwd->text()) + 48);
    EXPECT_FALSE(window.btnChangePwd->isEnabled());
    EXPECT_TRUE(window.editCurrent->styleSheet().contains(QString::number(0x25CF))); // the symbol font's "l"
}

TEST_F(OptionsEntry, LongerTextsWidenThePasswordAndOptionsWindows)
{
    TformMain& f = Main("Longer.dll");
    TformPassword password(&f);
    TformPassword english(nullptr);
    EXPECT_GT(password.width(), english.width());
    EXPECT_EQ(password.editPassword->width(), password.clientArea->width() - 32);
    EXPECT_EQ(S(password.btnOk->text()), "Längere &OK (erweitert)");

    TformAdminOptions admin(&f);
    EXPECT_GT(admin.clientArea->width(), 438);
    const int widest = std::max({admin.checkShowConfig->width(), admin.checkSetClock->width(),
                                 admin.checkShowWarning->width(), admin.checkForceSlowTx->width(),
                                 admin.labelWaitTime->width(), admin.labelPatrolDuration->width()});
    EXPECT_GE(admin.clientArea->width(), widest + 32 + 32);
}
