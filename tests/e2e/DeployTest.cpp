// Deploy, abandon, sleep, the ECU state, and the signal-strength poll of the
// selected repeater.
#include "e2e/Harness.h"

#include "platform/Dialogs.h"

#include <functional>

#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>

TEST_F(JobsEndToEnd, DeployNotLoggedOnIsDoneAtOnce)
{
    repeater->SetItem(0x0D, {0x01});
    Advance(1600); // a signal-strength refusal: not logged on
    ASSERT_EQ(form->gsmLogonState, 1);
    form->btnDeployClick();
    EXPECT_FALSE(form->pageMain->isEnabled());
    Advance(5000);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].text, "SMS Repeater Successfully Deployed");
    EXPECT_EQ(form->StatusText(), "  SMS Repeater Successfully Deployed");
    EXPECT_EQ(*repeater->Item(0x0D), (sim::Bytes{0x03})) << "ECU active bit set";
    EXPECT_TRUE(Relays().size() == 2u) << "options read, options written; no log-off";
    EXPECT_EQ(form->repeaterAddr[0], 0xFF) << "selection cleared";
    EXPECT_EQ(form->opState, osIdle);
}

TEST_F(JobsEndToEnd, DeployLoggedOnLogsOffFirst)
{
    repeater->SetLoggedOn(true);
    Advance(1600);
    ASSERT_EQ(form->gsmLogonState, 2);
    form->btnDeployClick();
    Advance(8000);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].text, "SMS Repeater Successfully Deployed");
    EXPECT_EQ(form->StatusText(), "  Log-off successful");
    std::vector<int> commands;
    for (const auto& f : Relays())
        commands.push_back(f.RepeaterCommand());
    EXPECT_EQ(commands, (std::vector<int>{0xC8, 0xCA, 0xD4}));
    EXPECT_GE(sim->CountCommand(0x2D), 2u) << "polled until the log-off report";
    EXPECT_EQ(form->repeaterAddr[0], 0xFF);
}

TEST_F(JobsEndToEnd, AbandonWithAndWithoutTheWarning)
{
    repeater->SetItem(0x0D, {0x03});
    form->adminOptions |= 0x8;
    platform::SetMessageDlgHook([this](const std::string& text, platform::MsgDlgType type, uint32_t) {
        dialogs.push_back({text, int(type)});
        return int(platform::mrNo);
    });
    form->btnAbandonClick();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].text, "If you Abandon this deployment, the Repeater will be permanently disabled\n"
                               "until a successful Deployment has been performed.\n\n"
                               "Are you sure you want to Abandon this deployment?");
    Advance(3000);
    EXPECT_TRUE(Relays().empty()) << "No changes nothing";

    dialogs.clear();
    platform::SetMessageDlgHook([this](const std::string& text, platform::MsgDlgType type, uint32_t) {
        dialogs.push_back({text, int(type)});
        return int(platform::mrOk);
    });
    form->adminOptions &= ~0x8u;
    form->btnAbandonClick();
    Advance(8000);
    ASSERT_EQ(dialogs.size(), 1u) << "no question without the option";
    EXPECT_EQ(dialogs[0].text, "Deployment abandoned by user");
    EXPECT_EQ(form->StatusText(), "  Sleep successfully set");
    EXPECT_EQ(*repeater->Item(0x0D), (sim::Bytes{0x01})) << "ECU active bit cleared, others kept";
    EXPECT_TRUE(repeater->Asleep());
    EXPECT_EQ(form->repeaterAddr[0], 0xFF);
}

TEST_F(JobsEndToEnd, SleepAndEcuStateKeepTheControlsEnabled)
{
    form->btnSleepClick();
    EXPECT_TRUE(form->pageMain->isEnabled());
    Advance(3000);
    EXPECT_EQ(form->StatusText(), "  Sleep successfully set");
    EXPECT_TRUE(repeater->Asleep());
    EXPECT_TRUE(dialogs.empty());

    repeater->SetItem(0x0D, {0xF5});
    form->radioEcuActive->setChecked(true);
    form->btnEcuActiveClick();
    Advance(3000);
    EXPECT_EQ(form->StatusText(), "  ECU State command successful");
    EXPECT_EQ(*repeater->Item(0x0D), (sim::Bytes{0xF7}));
    form->radioEcuInactive->setChecked(true);
    form->btnEcuActiveClick();
    Advance(3000);
    EXPECT_EQ(*repeater->Item(0x0D), (sim::Bytes{0xF5}));
}

TEST_F(JobsEndToEnd, CommandsNeedASelectedRepeater)
{
    form->boxRepeatersDblClick();
    TformMain* f = form;
    const std::function<void()> clicks[] = {[f] { f->btnDeployClick(); }, [f] { f->btnAbandonClick(); },
                                            [f] { f->btnSleepClick(); }, [f] { f->btnEcuActiveClick(); }};
    for (const auto& click : clicks) {
        form->SetStatusText("");
        click();
        EXPECT_EQ(form->StatusText(), "  No Repeater selected");
        EXPECT_EQ(form->opState, osIdle);
    }
    Advance(2000);
    EXPECT_TRUE(Relays().empty());
}

TEST_F(JobsEndToEnd, SignalStrengthGaugeAndMisses)
{
    repeater->SetLoggedOn(true);
    repeater->SetSignalStrength(16);
    Advance(1600);
    EXPECT_TRUE(!form->guageRssi->isHidden());
    EXPECT_EQ(form->guageRssi->value(), 16);
    EXPECT_EQ(form->textRssiValue->text().toStdString(), "50.0%");
    EXPECT_EQ(form->textSelectedRepeater->text().toStdString(), "0119-3046, Logged-on to GSM Network");
    EXPECT_TRUE(form->btnLogOff->isEnabled());
    EXPECT_FALSE(form->btnLogOn->isEnabled());

    // The repeater stops answering: after five requests without a reply the
    // sixth tick shows the message.
    repeater->SetSilent(true);
    sim->ClearReceived();
    Advance(1500 * 5 + 100);
    EXPECT_TRUE(!form->guageRssi->isHidden());
    Advance(1500);
    EXPECT_FALSE(!form->guageRssi->isHidden());
    EXPECT_EQ(form->textRssiError->text().toStdString(), "<No Response From Repeater>");
    // No retry and no reply time-out on these requests.
    EXPECT_FALSE(form->timerConnectionManager->Enabled());
    EXPECT_FALSE(form->timerMsgTimeout->Enabled());
    size_t polls = 0;
    for (const auto& f : sim->Received())
        polls += f.IsRelay() && f.RepeaterCommand() == 0xCC;
    EXPECT_EQ(polls, 6u);
}
