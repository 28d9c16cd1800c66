// The rules by which replies move a job on: whose reply counts, the poll
// replies short and long, the outcome bits, the ECU options merge, the ends
// of single sends and failed reads, discovery lengths, the comms-mode reply
// and the signal-strength gauge.
#include "e2e/Clicks.h"
#include "e2e/Harness.h"

#include "link/Requests.h"
#include "platform/Clock.h"
#include "platform/SymbolFont.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

namespace {

constexpr uint8_t kPoll = 0x2D;
constexpr uint8_t kChirpReply = 0x7B;

// A poll reply of `length` data bytes; from 7 bytes on it carries the
// outcome, the reason code and a repeater address.
sim::Bytes PollReply(size_t length, uint8_t outcome = 0, uint8_t reason = 0, uint32_t address = 0x123456)
{
    sim::Bytes m {kPoll, reason, outcome, 0, uint8_t(address >> 16), uint8_t(address >> 8), uint8_t(address)};
    m.resize(length, 0);
    return m;
}

// A relayed reply of the repeater at `address`: code, address, payload.
sim::Bytes RelayReply(uint8_t code, uint32_t address, std::initializer_list<uint8_t> payload)
{
    sim::Bytes m {kChirpReply, code, uint8_t(address >> 16), uint8_t(address >> 8), uint8_t(address)};
    for (const uint8_t b : payload)
        m.push_back(b);
    return m;
}

bool TickIsFailed(const QLabel* tick)
{
    return !tick->isHidden() && tick->text() == platform::SymbolGlyph(0xFB) &&
           tick->palette().color(QPalette::WindowText) == QColor(255, 0, 0);
}

std::vector<int64_t> TimesFrom(const std::vector<sim::ReceivedFrame>& frames, int64_t start)
{
    std::vector<int64_t> times;
    for (const auto& f : frames)
        times.push_back(f.timeMs - start);
    return times;
}

} // namespace

class ReplyRules : public JobsEndToEnd {
protected:
    // Puts the program in `state` as a job would, with its controls greyed.
    void EnterState(TOpState state)
    {
        form->EnableControls(false);
        form->opState = state;
    }

    // One frame from the interface unit, taken by the next receive tick.
    void Deliver(const sim::Bytes& message)
    {
        sim->SendMessage(message);
        Advance(20);
    }

    std::vector<sim::ReceivedFrame> Polls() const { return sim->FramesWithCommand(kPoll); }
};

// ---------------------------------------------------------------- whose reply

TEST_F(ReplyRules, OnlyTheSelectedRepeatersRepliesAreRead)
{
    repeater->SetSilent(true); // nothing of its own arrives meanwhile
    const uint32_t others[] = {0x133456, 0x123556, 0x123457, 0x563412};

    // The signal-strength tail: another repeater's value changes nothing.
    for (uint32_t other : others) {
        Deliver(RelayReply(0xCD, other, {0x00, 0x00, 20}));
        Deliver(RelayReply(0xFF, other, {0xCC, 0x05}));
        EXPECT_TRUE(form->guageRssi->isHidden()) << std::hex << other;
        EXPECT_EQ(form->gsmLogonState, 0) << std::hex << other;
    }
    Deliver(RelayReply(0xCD, kId, {0x00, 0x00, 20}));
    EXPECT_FALSE(form->guageRssi->isHidden());
    EXPECT_EQ(form->guageRssi->value(), 20);
    EXPECT_EQ(form->gsmLogonState, 2);

    // A job's step: the options read of a deployment waits for its own repeater.
    clicks::Click(form->btnDeploy);
    ASSERT_EQ(form->opState, osEcuOptionsRead);
    Advance(20); // the read goes out
    sim->ClearReceived();
    for (uint32_t other : others) {
        Deliver(RelayReply(0xC9, other, {0x0D, 0x01}));
        EXPECT_EQ(form->opState, osEcuOptionsRead) << std::hex << other;
    }
    EXPECT_TRUE(Relays().empty()) << "no options write for another repeater's options";
    Deliver(RelayReply(0xC9, kId, {0x0D, 0x01}));
    EXPECT_EQ(form->opState, osDeploy);
    const auto relays = Relays();
    ASSERT_EQ(relays.size(), 1u);
    EXPECT_EQ(relays[0].RepeaterArgs(), (sim::Bytes {0x0D, 0x00, 0x01, 0x03}));
}

// ---------------------------------------------------------------- poll replies

TEST_F(ReplyRules, PollRepliesByLengthAddressAndState)
{
    sim->DropRepliesTo(kPoll); // the replies are the test's own
    struct Case {
        const char* what;
        TOpState state;
        sim::Bytes reply;
        TOpState after;
        bool polledAgain;
    };
    const Case cases[] = {
        // 15 data bytes are a short reply, 16 a long one.
        {"short 15 steps the patrol poll", osPatrolPoll, PollReply(15, 0x01), osPatrolOutcome, true},
        {"short 2 steps the patrol poll", osPatrolPoll, {kPoll, 0x00}, osPatrolOutcome, true},
        {"a long report before any short one", osPatrolPoll, PollReply(16), osPatrolPoll, true},
        {"short 15 is no outcome", osPatrolOutcome, PollReply(15), osPatrolOutcome, true},
        {"long 16 is the outcome", osPatrolOutcome, PollReply(16), osIdle, false},
        {"long 17 is the outcome", osPatrolOutcome, PollReply(17), osIdle, false},
        {"another repeater's report (high)", osPatrolOutcome, PollReply(16, 0, 0, 0x133456), osPatrolOutcome, true},
        {"another repeater's report (middle)", osPatrolOutcome, PollReply(16, 0, 0, 0x123556), osPatrolOutcome, true},
        {"another repeater's report (low)", osPatrolOutcome, PollReply(16, 0, 0, 0x123457), osPatrolOutcome, true},
        {"log-on poll", osLogOnPoll, PollReply(15), osLogOnOutcome, true},
        {"test SMS poll", osTestSmsPoll, PollReply(15), osTestSmsOutcome, true},
        {"log-off poll", osLogOffPoll, PollReply(15), osLogOffOutcome, true},
        {"FTP test poll", osTestFtpPoll, PollReply(15), osTestFtpOutcome, true},
        {"deployment log-off poll", osDeployLogOffPoll, PollReply(15), osDeployLogOffOutcome, true},
        {"long report in the log-on poll", osLogOnPoll, PollReply(16, 0x01), osLogOnPoll, true},
        // The calibration check has no short step: it polls on.
        {"short reply in the calibration check", osCalibrationCheck, PollReply(15, 0x51), osCalibrationCheck, true},
        {"another's report in the calibration check", osCalibrationCheck, PollReply(16, 0, 0, 0x123457),
         osCalibrationCheck, true},
        // Idle: a late reply is left alone.
        {"short reply while idle", osIdle, PollReply(15), osIdle, false},
        {"long report while idle", osIdle, PollReply(16), osIdle, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        form->EndOperation();
        EnterState(c.state);
        sim->ClearReceived();
        Deliver(c.reply);
        EXPECT_EQ(form->opState, c.after);
        EXPECT_EQ(Polls().size(), c.polledAgain ? 1u : 0u);
        if (c.polledAgain) {
            EXPECT_EQ(Polls()[0].record, RecordOf({0xC0, kPoll}));
        }
    }
    form->EndOperation();
}

TEST_F(ReplyRules, OutcomeBitsAndTheirTexts)
{
    sim->DropRepliesTo(kPoll);
    struct Case {
        TOpState state;
        uint8_t outcome;
        uint8_t reason;
        const char* status;
        uint32_t beep;
        int logonState; // -1: unchanged
    };
    const Case cases[] = {
        {osPatrolOutcome, 0x00, 0x00, "  Patrol complete", 0x40, -1},
        // Bit 0: logged on.
        {osLogOnOutcome, 0x01, 0x27, "  Log-on successful", 0x40, 2},
        {osLogOnOutcome, 0xFF, 0x00, "  Log-on successful", 0x40, 2},
        {osLogOnOutcome, 0xFE, 0x27, "  Logon Failed - Illegal GSM Band", 0x10, 1},
        {osLogOnOutcome, 0x00, 0x33, "  Logon Failed - SIM Card Not Detected", 0x10, 1},
        {osLogOnOutcome, 0x00, 0x34, "  Logon Failed - SIM Error", 0x10, 1},
        {osLogOnOutcome, 0x00, 0x2F, "  Logon Failed - Modem Communication Error", 0x10, 1},
        {osLogOnOutcome, 0x00, 0x50, "  Logon Failed - Unknown Error", 0x10, 1},
        // Log-off: bit 0 clear is success.
        {osLogOffOutcome, 0x00, 0x00, "  Log-off successful", 0x40, -1},
        {osLogOffOutcome, 0xFE, 0x00, "  Log-off successful", 0x40, -1},
        {osLogOffOutcome, 0x01, 0x00, "  Repeater could not log off the network!!", 0x10, -1},
        // Bit 1: SMS sent; bit 4: FTP test passed.
        {osTestSmsOutcome, 0x02, 0x00, "  SMS Successfully Sent", 0x40, -1},
        {osTestSmsOutcome, 0xFD, 0x00, "  SMS Send Failed", 0x10, -1},
        {osTestFtpOutcome, 0x10, 0x00, "  FTP Test Successful", 0x40, -1},
        {osTestFtpOutcome, 0xEF, 0x00, "  FTP Test Failed", 0x10, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(int(c.state)) + " outcome " + std::to_string(c.outcome));
        form->gsmLogonState = 0;
        beeps.clear();
        EnterState(c.state);
        form->timerTextFlash->SetEnabled(true);
        form->SetSimplePanel(false); // the flashing text, at its dark half
        sim->ClearReceived();
        Deliver(PollReply(16, c.outcome, c.reason));
        EXPECT_EQ(form->StatusText(), c.status);
        EXPECT_FALSE(form->timerTextFlash->Enabled()) << "the text stops flashing";
        EXPECT_TRUE(form->SimplePanel()) << "and stays shown";
        EXPECT_EQ(beeps, (std::vector<uint32_t> {c.beep}));
        EXPECT_EQ(form->opState, osIdle);
        EXPECT_TRUE(form->pageMain->isEnabled()) << "the job ended";
        EXPECT_TRUE(Polls().empty());
        EXPECT_EQ(form->gsmLogonState, c.logonState < 0 ? 0 : c.logonState);
    }
    EXPECT_TRUE(dialogs.empty());
}

TEST_F(ReplyRules, PollsAreResentEveryQuarterSecond)
{
    // No poll reply at all: the link timer resends the calibration poll
    // every 250 ms, five sends in all, then the link error.
    sim->DropRepliesTo(kPoll);
    TickOnly({0});
    const int64_t start = platform::MonotonicMs();
    clicks::Click(form->btnConfig);
    Advance(1240);
    EXPECT_EQ(TimesFrom(Polls(), start), (std::vector<int64_t> {0, 250, 500, 750, 1000}));
    EXPECT_TRUE(dialogs.empty()) << "the fifth send has its 250 ms too";
    Advance(20);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].text, "A problem was found while communicating with the Vigilator");
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_TRUE(Relays().empty());
}

TEST_F(ReplyRules, TheCalibrationCheckPollsOnThroughShortReplies)
{
    sim->SetIdlePollReports(false); // short replies only, until a report is queued
    TickOnly({0});
    clicks::Click(form->btnConfig);
    Advance(1000);
    EXPECT_EQ(form->opState, osCalibrationCheck);
    const size_t polls = Polls().size();
    EXPECT_GE(polls, 5u) << "each short reply is answered by the next poll";
    EXPECT_TRUE(dialogs.empty());
    EXPECT_TRUE(Relays().empty());

    sim::PollReport report;
    report.address = kId;
    sim->QueuePollReport(report);
    Advance(2000);
    ASSERT_EQ(Relays().size(), 1u) << "the report lets the items go";
    EXPECT_EQ(Relays()[0].RepeaterArgs()[0], 0x11);
    EXPECT_EQ(form->StatusText().rfind("  Configuration successfully completed in", 0), 0u);
}

// ---------------------------------------------------------------- deployment log-off

TEST_F(ReplyRules, AFailedDeploymentLogOffStillEndsInTheDeployedDialog)
{
    repeater->SetLoggedOn(true);
    repeater->Gsm().logOffSucceeds = false;
    Advance(1600);
    ASSERT_EQ(form->gsmLogonState, 2);
    beeps.clear();
    clicks::Click(form->btnDeploy);
    Advance(8000);
    EXPECT_EQ(form->StatusText(), "  Repeater could not log off the network!!");
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].text, "SMS Repeater Successfully Deployed");
    EXPECT_EQ(beeps, (std::vector<uint32_t> {0x10})) << "the dialog adds no beep";
    EXPECT_EQ(form->repeaterAddr[0], 0xFF) << "selection cleared";
    EXPECT_EQ(form->opState, osIdle);
}

// ---------------------------------------------------------------- ECU options

TEST_F(ReplyRules, OptionsAreMergedFieldByField)
{
    struct Case {
        const char* what;
        int entry;      // 7 low-noise amplifier, 13 report format
        bool single;    // single send, else a job with the entry alone ticked
        uint8_t stored;
        bool lna;
        int format;
        uint8_t written;
    };
    const Case cases[] = {
        // The report format owns bits 3 and 4; everything else is kept.
        {"format 0 over FF", 13, false, 0xFF, false, 0, 0xE7},
        {"format 1 over FF", 13, false, 0xFF, false, 1, 0xEF},
        {"format 1 over 10", 13, false, 0x10, false, 1, 0x08},
        {"format 0 over FF, single", 13, true, 0xFF, true, 0, 0xE7},
        {"format 1 over 10, single", 13, true, 0x10, true, 1, 0x08},
        // The amplifier owns bit 0.
        {"LNA off over FF", 7, false, 0xFF, false, 1, 0xFE},
        {"LNA on over 00", 7, false, 0x00, true, 1, 0x01},
        {"LNA off over FF, single", 7, true, 0xFF, false, 0, 0xFE},
        {"LNA on over 18, single", 7, true, 0x18, true, 0, 0x19},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        repeater->SetItem(0x0D, {c.stored});
        (c.lna ? form->radioEnableLna : form->radioDisableLna)->setChecked(true);
        form->comboReportFormat->setCurrentIndex(c.format);
        TickOnly(c.single ? std::initializer_list<int> {} : std::initializer_list<int> {c.entry});
        sim->ClearReceived();
        if (c.single) {
            clicks::ChooseFromPopup(form->configItems[size_t(c.entry)].box, form->menuPopup,
                                    form->menuSendSingleMsg);
        } else {
            clicks::Click(form->btnConfig);
        }
        Advance(4000);
        const auto relays = Relays();
        ASSERT_EQ(relays.size(), 2u);
        EXPECT_EQ(relays[0].RepeaterCommand(), 0xC8) << "read first";
        EXPECT_EQ(relays[1].RepeaterArgs(), (sim::Bytes {0x0D, 0x00, 0x01, c.written}));
        EXPECT_EQ(*repeater->Item(0x0D), (sim::Bytes {c.written}));
        EXPECT_EQ(form->opState, osIdle);
    }
}

TEST_F(ReplyRules, ASingleSendEndsWithItsOwnEntry)
{
    TickOnly({0, 4, 5, 45});
    for (int entry : {0, 4, 45}) {
        SCOPED_TRACE(entry);
        sim->ClearReceived();
        clicks::ChooseFromPopup(form->configItems[size_t(entry)].box, form->menuPopup, form->menuSendSingleMsg);
        Advance(4000);
        const auto relays = Relays();
        ASSERT_EQ(relays.size(), 1u) << "the ticked entries after it stay unsent";
        EXPECT_EQ(relays[0].RepeaterArgs()[0], form->configItems[size_t(entry)].code);
        EXPECT_EQ(form->StatusText().rfind("  Configuration successfully completed in", 0), 0u);
        EXPECT_EQ(form->opState, osIdle);
        for (int other : {0, 4, 5, 45}) {
            if (other != entry) {
                EXPECT_TRUE(form->configItems[size_t(other)].tick->isHidden()) << other;
            }
        }
    }
}

TEST_F(ReplyRules, ARedCrossWhenTheOptionsReadIsNeverAnswered)
{
    struct Case {
        const char* what;
        int entry;
        bool single;
        bool linkGivesUp; // else the reply timer does
    };
    const Case cases[] = {
        {"job, link", 13, false, true},     {"job, link (amplifier)", 7, false, true},
        {"job, reply timer", 13, false, false}, {"single amplifier, reply timer", 7, true, false},
        {"single format, reply timer", 13, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dialogs.clear();
        repeater->ClearFaults();
        repeater->DropReplies(0xC8);
        // A link that gives up before the reply timer does, or the reverse.
        form->linkTimeoutMs = c.linkGivesUp ? 1000 : 3500;
        TickOnly(c.single ? std::initializer_list<int> {} : std::initializer_list<int> {c.entry});
        sim->ClearReceived();
        if (c.single)
            clicks::ChooseFromPopup(form->configItems[size_t(c.entry)].box, form->menuPopup,
                                    form->menuSendSingleMsg);
        else
            clicks::Click(form->btnConfig);
        Advance(20000);
        EXPECT_TRUE(TickIsFailed(form->configItems[size_t(c.entry)].tick));
        EXPECT_EQ(form->opState, osIdle);
        if (c.linkGivesUp) {
            ASSERT_EQ(dialogs.size(), 1u);
            EXPECT_EQ(dialogs[0].text, "A problem was found while communicating with the Vigilator");
        } else {
            EXPECT_TRUE(dialogs.empty());
            EXPECT_EQ(form->StatusText(), "  No Response from Repeater");
        }
        for (const auto& f : Relays())
            EXPECT_EQ(f.RepeaterCommand(), 0xC8) << "no write without the read";
    }
}

// ---------------------------------------------------------------- the interface unit's own replies

TEST_F(ReplyRules, ADiscoveryReplyOfTheWrongLengthIsIgnoredWhole)
{
    QListWidget* list = form->boxRepeaters;
    ASSERT_EQ(list->count(), 2);
    sim->DropRepliesTo(0x78);
    sim->DropRepliesTo(0x79);
    const sim::Bytes bad[] = {
        {0x78, 0x00, 0x00},
        {0x78, 0x00, 0x00, 0x00, 0x24},
        {0x78, 0x00, 0x00, 0x00, 0x24, 0x1F, 0x00},
        {0x78, 0x01, 0x00, 0x00, 0x24, 0x1F, 0x00}, // its more-follows flag too
        {0x79, 0x00, 0x00, 0x00, 0x24, 0x1F, 0x00, 0x00, 0x00},
        {0x78, 0x00, 0x00, 0x00, 0x24, 0x1F, 0x00, 0x00, 0x00, 0x01, 0x00},
    };
    for (const sim::Bytes& reply : bad) {
        SCOPED_TRACE(reply.size());
        sim->ClearReceived();
        Deliver(reply);
        EXPECT_EQ(list->count(), 2);
        EXPECT_EQ(sim->CountCommand(0x79), 0u);
    }
    // 2 + 4k bytes: the cycle's one repeater is all that is listed.
    Deliver({0x78, 0x00, 0x00, 0x00, 0x24, 0x1F});
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text().toStdString(), " 0000-9247");
    Deliver({0x78, 0x00});
    EXPECT_EQ(list->count(), 0);
}

TEST_F(ReplyRules, TheCommsModeReplyStopsTheReplyTimer)
{
    repeater->DropReplies(0xC8);
    clicks::Click(form->btnDeploy);
    ASSERT_EQ(form->opState, osEcuOptionsRead);
    ASSERT_TRUE(form->timerMsgTimeout->Enabled());
    Deliver({0xA5, 0x01});
    EXPECT_FALSE(form->timerMsgTimeout->Enabled());
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_EQ(form->StatusText(), "  Vigilator-Repeater Communications set");
    sim->ClearReceived();
    Advance(20000);
    EXPECT_TRUE(sim->RelaysWithCommand(0xC8).empty()) << "the read is not resent";
    EXPECT_NE(form->StatusText(), "  No Response from Repeater");
    EXPECT_TRUE(dialogs.empty());

    // Also outside a job: a request sent while idle waits for no more replies.
    ASSERT_EQ(form->opState, osIdle);
    QueueCheckOptions(form);
    ASSERT_TRUE(form->timerMsgTimeout->Enabled());
    Deliver({0xA5, 0x01});
    EXPECT_FALSE(form->timerMsgTimeout->Enabled());
    sim->ClearReceived();
    Advance(20000);
    EXPECT_TRUE(sim->RelaysWithCommand(0xC8).empty());
    EXPECT_NE(form->StatusText(), "  No Response from Repeater");
}

// ---------------------------------------------------------------- signal strength

TEST_F(ReplyRules, GaugeColourAndValueBySignalStrength)
{
    repeater->SetLoggedOn(true);
    const QColor red(255, 0, 0), green(0, 0x80, 0);
    struct Case {
        uint8_t strength;
        int bar;
        const char* text;
        QColor colour;
    };
    const Case cases[] = {
        {0, 0, "0.0%", red},      {2, 2, "6.3%", red},        {6, 6, "18.8%", red},       {7, 7, "21.9%", green},
        {16, 16, "50.0%", green}, {32, 32, "100.0%", green},  {40, 32, "100.0%", green},
        {0xFF, 0, "???", red},    {7, 7, "21.9%", green},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.strength));
        repeater->SetSignalStrength(c.strength);
        Advance(1600);
        EXPECT_FALSE(form->guageRssi->isHidden());
        EXPECT_EQ(form->guageRssi->value(), c.bar);
        EXPECT_EQ(form->textRssiValue->text().toStdString(), c.text);
        EXPECT_EQ(form->guageRssi->palette().color(QPalette::Highlight), c.colour);
    }
}

TEST_F(ReplyRules, SignalStrengthRefusalLampAndRequestTimer)
{
    // Not logged on: the refusal hides the gauge and says so in its two texts.
    repeater->SetLoggedOn(false);
    Advance(1600);
    EXPECT_TRUE(form->guageRssi->isHidden());
    EXPECT_TRUE(form->textRssiValue->isHidden());
    EXPECT_EQ(form->textRssiValue->text().toStdString(), "0%");
    EXPECT_FALSE(form->textRssiError->isHidden());
    EXPECT_EQ(form->textRssiError->text().toStdString(), "<Not Logged on to GSM Network>");
    EXPECT_EQ(form->textSelectedRepeater->text().toStdString(), "0119-3046, Not logged on to GSM Network");
    EXPECT_TRUE(form->btnLogOn->isEnabled());
    EXPECT_FALSE(form->btnLogOff->isEnabled());

    // A reply lights the signal lamp lime; the receive lamp's timer puts it back.
    std::vector<QColor> lamp;
    const auto watch = clicks::WatchPalette(form->ledRssi, QPalette::Window, lamp);
    repeater->SetLoggedOn(true);
    Advance(1600);
    EXPECT_NE(std::find(lamp.begin(), lamp.end(), QColor(0, 255, 0)), lamp.end());

    // Each answer restarts the 1.5 s request timer: the next request comes
    // 1.5 s after the answer, not after the request before.
    auto requests = [this] {
        std::vector<int64_t> times;
        for (const auto& f : sim->Received())
            if (f.IsRelay() && f.RepeaterCommand() == 0xCC)
                times.push_back(f.timeMs);
        return times;
    };
    sim->ClearReceived();
    while (requests().empty())
        Advance(10);
    Advance(700);
    const int64_t answered = platform::MonotonicMs();
    Deliver(RelayReply(0xCD, kId, {0x00, 0x00, 0x10}));
    const size_t before = requests().size();
    Advance(1600);
    const auto times = requests();
    ASSERT_GT(times.size(), before);
    EXPECT_GE(times[before] - answered, 1500);
    EXPECT_LT(times[before] - answered, 1500 + 20);
}
