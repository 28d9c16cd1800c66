// The one outstanding request: its two retry timers and the end of a job.
#include "e2e/Harness.h"

#include "link/Requests.h"
#include "link/Responses.h"
#include "platform/Clock.h"

#include <QAction>
#include <QPushButton>
#include <QTest>

namespace {

// A relayed request to repeater 12 34 56, as the request builders make them.
void QueueRelay(TformMain* form, int32_t replyTimeoutMs)
{
    TMsgRecord& m = form->txMsg;
    const uint8_t bytes[] = {0xC0, 0xA7, 0x2C, 0x12, 0x34, 0x56};
    m.length = sizeof bytes;
    std::copy(std::begin(bytes), std::end(bytes), m.data);
    QueueMsg(form, &form->txMsg, replyTimeoutMs);
}

std::vector<int64_t> TimesOf(const std::vector<sim::ReceivedFrame>& frames, int64_t from)
{
    std::vector<int64_t> t;
    for (const auto& f : frames)
        t.push_back(f.timeMs - from);
    return t;
}

} // namespace

TEST_F(EndToEnd, SilentLinkResendsOnBothTimersAndTheReplyTimerGivesUpFirst)
{
    StartAndConnect();
    Advance(200);
    sim->SetSilent(true);
    sim->ClearReceived();
    form->opState = osClearDatabase;
    form->EnableControls(false);
    const int64_t start = platform::MonotonicMs();
    QueueRelay(form, 1000);
    Advance(16000);
    const auto sends = FramesWithCommand(0x7A);
    EXPECT_EQ(TimesOf(sends, start), (std::vector<int64_t>{0, 3500, 5000, 7000, 10000, 10500, 14000}));
    for (const auto& f : sends)
        EXPECT_EQ(f.record, RecordOf({0xC0, 0x7A, 0x2C, 0x12, 0x34, 0x56})) << "resent unchanged";
    EXPECT_EQ(form->StatusText(), "  No Response from Repeater");
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_TRUE(form->pageMain->isEnabled()) << "the controls came back";
    EXPECT_TRUE(dialogs.empty()) << "the reply timer ended the job before the link timer";
    EXPECT_EQ(beeps, (std::vector<uint32_t>{0x10}));
}

TEST_F(EndToEnd, WithoutChirpOptionTheRelayGoesAsA7WithOneSecond)
{
    StartAndConnect();
    Advance(200);
    sim->SetSilent(true);
    form->adminOptions = 8;
    sim->ClearReceived();
    const int64_t start = platform::MonotonicMs();
    QueueRelay(form, 1000);
    Advance(3100);
    const auto sends = FramesWithCommand(0xA7);
    EXPECT_EQ(TimesOf(sends, start), (std::vector<int64_t>{0, 1000, 2000}));
    EXPECT_EQ(form->StatusText(), "  No Response from Repeater");
}

TEST_F(EndToEnd, NoReplyTimeoutMeansTheLinkTimerAlone)
{
    StartAndConnect();
    Advance(200);
    sim->SetSilent(true);
    sim->ClearReceived();
    QueueRelay(form, 0);
    EXPECT_FALSE(form->timerMsgTimeout->Enabled());
    Advance(17500);
    EXPECT_EQ(sim->CountCommand(0x7A), 5u);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].text, "A problem was found while communicating with the Vigilator");
}

TEST_F(EndToEnd, AnyValidFrameStopsTheLinkTimer)
{
    StartAndConnect();
    Advance(200);
    // The repeater is absent, but the unit still answers its own commands.
    QueueRelay(form, 1000);
    EXPECT_TRUE(form->timerConnectionManager->Enabled());
    sim->SendMessage({0x3A, 0x02, 0x1D, 0x4C}); // a keep-alive reply
    Advance(20);
    EXPECT_FALSE(form->timerConnectionManager->Enabled());
    EXPECT_TRUE(form->timerMsgTimeout->Enabled()) << "the job is now guarded by the reply timer alone";
}

// A job greys the menus and arms Abort; its end puts both back. With the
// configuration tab hidden Abort stands in Configure's place, disabled.
TEST_F(JobsEndToEnd, EndOperationWithTheConfigurationTabHidden)
{
    repeater->SetItem(0x0D, {0x01});
    Advance(1600); // not logged on: the deploy is done at once
    // (The hidden Vigilator Setup item stays disabled as a hidden action is.)
    const QAction* menus[] = {form->menuLoad,    form->menuSave,       form->menuOptions, form->menuComms,
                              form->menuConnect, form->menuReadConfig, form->menuViewLogs};
    for (bool tabShown : {false, true}) {
        SCOPED_TRACE(tabShown ? "tab shown" : "tab hidden");
        form->ShowConfigurationTab(tabShown);
        Select(kId);
        Advance(100);
        QTest::mouseClick(form->btnDeploy, Qt::LeftButton);
        ASSERT_EQ(form->opState, osEcuOptionsRead);
        EXPECT_TRUE(form->btnAbort->isVisibleTo(form));
        EXPECT_TRUE(form->btnAbort->isEnabled());
        for (const QAction* menu : menus)
            EXPECT_FALSE(menu->isEnabled()) << menu->objectName().toStdString();
        Advance(5000);
        ASSERT_EQ(form->opState, osIdle);
        EXPECT_EQ(form->btnConfig->isVisibleTo(form), tabShown);
        EXPECT_EQ(form->btnAbort->isVisibleTo(form), !tabShown);
        if (!tabShown) {
            EXPECT_FALSE(form->btnAbort->isEnabled());
        }
        for (const QAction* menu : menus)
            EXPECT_TRUE(menu->isEnabled()) << menu->objectName().toStdString();
    }
}

TEST_F(EndToEnd, CommsModeReplyDuringAJobEndsItProperly)
{
    StartAndConnect();
    Advance(200);
    form->opState = osPatrolPoll;
    form->EnableControls(false);
    sim->SendMessage({0xA5, 0x01});
    Advance(20);
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_TRUE(form->pageMain->isEnabled());
    // The discovery that follows at once finds no repeater selected and greys
    // the repeater buttons again; the menu stays as the job's end left it.
    EXPECT_TRUE(form->menuConnect->isEnabled());
}
