// The Options entry on a connected program: both options windows switch the
// configuration and engineering tabs and the message-log menu entry, while
// the link to the interface unit goes on; the words are back after a restart.
#include "e2e/Harness.h"

#include "tools/Distoptions.h"
#include "tools/ModalScript.h"
#include "tools/Options.h"
#include "tools/Password.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

void Click(QWidget* widget)
{
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center());
}

ModalScript::Step Code(const char* code)
{
    return [code](QDialog& d) {
        auto& password = dynamic_cast<TformPassword&>(d);
        QTest::keyClicks(password.editPassword, code);
        QTest::keyClick(password.editPassword, Qt::Key_Return);
    };
}

template <class Window>
ModalScript::Step Tick(std::vector<QCheckBox* Window::*> boxes, bool ok = true)
{
    return [boxes, ok](QDialog& d) {
        auto& window = dynamic_cast<Window&>(d);
        for (auto box : boxes)
            Click(window.*box);
        Click(ok ? window.btnOk : window.btnCancel);
    };
}

} // namespace

TEST_F(EndToEnd, OptionsWindowsSwitchTheTabsAndTheMessageLogEntry)
{
    StartAndConnect();
    auto configTab = [this] { return form->pageMain->isTabVisible(form->pageMain->indexOf(form->tabConfig)); };
    auto engineeringTab = [this] { return form->pageKvt->isTabVisible(form->pageKvt->indexOf(form->tabEngineering)); };
    ASSERT_EQ(form->adminOptions, 10u); // the first run's defaults
    ASSERT_FALSE(configTab());
    ASSERT_FALSE(form->menuMessageLog->isVisible());
    {
        ModalScript script;
        script.Then(Code("Ketro")).Then(Tick<TformAdminOptions>({&TformAdminOptions::checkShowConfig}));
        form->menuOptions->trigger();
        EXPECT_TRUE(configTab());
        EXPECT_TRUE(form->btnConfig->isVisible());
        EXPECT_FALSE(engineeringTab());

        script.Then(Code(" vombrel "))
            .Then(Tick<TformDistOptions>({&TformDistOptions::checkShowEngTab, &TformDistOptions::checkAllowLog}));
        form->menuOptions->trigger();
        EXPECT_EQ(form->distOptions, 3u);
        EXPECT_TRUE(engineeringTab());
        EXPECT_TRUE(form->menuMessageLog->isVisible());

        script.Then(Code("vombrel"))
            .Then(Tick<TformDistOptions>({&TformDistOptions::checkShowEngTab, &TformDistOptions::checkAllowLog}, false));
        form->menuOptions->trigger();
        EXPECT_EQ(form->distOptions, 3u); // Cancel
        EXPECT_TRUE(engineeringTab());
        EXPECT_TRUE(form->menuMessageLog->isVisible());

        for (QCheckBox* box : {form->boxRxDuration, form->boxEcuNum, form->boxSerialNum})
            box->setChecked(true);
        script.Then(Code("ketro")).Then(Tick<TformAdminOptions>({&TformAdminOptions::checkShowConfig}));
        form->menuOptions->trigger();
        EXPECT_FALSE(configTab());
        EXPECT_FALSE(engineeringTab());
        for (QCheckBox* box : {form->boxRxDuration, form->boxEcuNum, form->boxSerialNum})
            EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString() << " of the hidden tab";
        EXPECT_EQ(form->distOptions, 2u);
        EXPECT_TRUE(form->menuMessageLog->isVisible());
        EXPECT_EQ(script.opened, (std::vector<std::string>{"formPassword", "formAdminOptions", "formPassword",
                                                           "formDistOptions", "formPassword", "formDistOptions",
                                                           "formPassword", "formAdminOptions"}));
    }
    // The link went on meanwhile: the keep-alive still gets its replies.
    const size_t before = sim->Received().size();
    Advance(61000);
    EXPECT_GT(sim->Received().size(), before);
    EXPECT_TRUE(dialogs.empty());

    // The option words outlive the program.
    {
        ModalScript script;
        script.Then(Code("KETRO")).Then(Tick<TformAdminOptions>({&TformAdminOptions::checkShowConfig}));
        form->menuOptions->trigger();
    }
    const uint32_t admin = form->adminOptions;
    ASSERT_NE(admin, 10u);
    form->close();
    delete form;
    form = nullptr;
    formMain = nullptr;
    StartAndConnect();
    EXPECT_EQ(form->adminOptions, admin);
    EXPECT_EQ(form->distOptions, 2u);
    EXPECT_TRUE(configTab());
    EXPECT_FALSE(engineeringTab());
    EXPECT_TRUE(form->menuMessageLog->isVisible());
}
