// The configuration job against a simulated repeater: every request on the
// wire, every tick, the ends of a job and single-entry sends.
#include "e2e/Harness.h"

#include "app/Rxcallback.h"
#include "e2e/Clicks.h"
#include "link/Responses.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/SymbolFont.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <regex>

namespace {

// The request an entry's reply check waits for: command and, where it has
// one, the item (or log) byte that follows the address.
std::pair<int, int> ExpectedRequest(const TConfigItem& item)
{
    if (item.replyCheck == ReplyCheckD1)
        return {0xD0, -1};
    if (item.replyCheck == ReplyCheckE5)
        return {0xE4, -1};
    if (item.replyCheck == ReplyCheckED)
        return {0xEC, -1};
    if (item.replyCheck == ReplyCheckF1)
        return {0xF0, item.code};
    if (item.replyCheck == ReplyCheckF3)
        return {0xF2, item.code};
    return {0xCA, item.code};
}

bool TickIsDone(const QLabel* tick)
{
    return !tick->isHidden() && tick->text() == platform::SymbolGlyph(0xFC) &&
           tick->palette().color(QPalette::WindowText) == QColor(0, 255, 0);
}

bool TickIsFailed(const QLabel* tick)
{
    return !tick->isHidden() && tick->text() == platform::SymbolGlyph(0xFB) &&
           tick->palette().color(QPalette::WindowText) == QColor(255, 0, 0);
}

} // namespace

TEST_F(JobsEndToEnd, FullConfigurationOfEveryEntry)
{
    form->editSerialNum->setText("9247");
    form->editEcuNum->setText("BEEF");
    form->editLowRfThresh->setText("13");
    form->comboHostTel->setEditText("+44 7700 900123");
    form->editApn->setText("internet");
    for (auto& item : form->configItems)
        item.box->setChecked(true);
    form->btnConfigClick();
    EXPECT_EQ(form->StatusText(), "  Checking Repeater calibration");
    EXPECT_EQ(form->opState, osCalibrationCheck);
    EXPECT_FALSE(form->pageMain->isEnabled());
    EXPECT_TRUE(form->btnAbort->isVisibleTo(form));
    const int64_t start = platform::MonotonicMs();
    Advance(60000);

    EXPECT_EQ(form->opState, osIdle);
    std::smatch m;
    const std::string status = form->StatusText();
    ASSERT_TRUE(std::regex_match(status, m, std::regex("  Configuration successfully completed in "
                                                       "(([0-9]+) minutes?, )?([0-9]+)\\.([0-9]{3}) seconds")))
        << status;
    const int64_t reported = (m[2].matched ? std::stoll(m[2]) * 60000 : 0) + std::stoll(m[3]) * 1000 + std::stoll(m[4]);
    const auto relays = Relays();
    ASSERT_FALSE(relays.empty());
    const int64_t lastReply = relays.back().timeMs + 20;
    EXPECT_GE(reported, relays.back().timeMs - start);
    EXPECT_LE(reported, lastReply - start + 40);

    // One request per ticked, visible entry, in table order; an entry whose
    // box is out of sight (the GPS co-ordinates) is unticked and not sent.
    std::vector<std::pair<int, int>> expected;
    for (int i = 0; i < kConfigItemCount; ++i) {
        const TConfigItem& item = form->configItems[size_t(i)];
        if (item.box->isHidden()) {
            EXPECT_FALSE(item.box->isChecked()) << "entry " << i << " is out of sight";
            continue;
        }
        expected.push_back(ExpectedRequest(item));
        EXPECT_TRUE(TickIsDone(item.tick)) << "entry " << i;
    }
    std::vector<std::pair<int, int>> sent;
    for (const auto& f : relays) {
        EXPECT_EQ(f.record[1], 0x7A) << "chirp-triggered";
        EXPECT_EQ(f.RepeaterAddress(), kId & 0xFFFFFF);
        const auto args = f.RepeaterArgs();
        const int command = f.RepeaterCommand();
        const bool withItem = command == 0xCA || command == 0xF0 || command == 0xF2;
        sent.emplace_back(command, withItem && !args.empty() ? args[0] : -1);
    }
    EXPECT_EQ(sent, expected);
    // A pause of 0.25 s before each item.
    for (size_t i = 1; i < relays.size(); ++i)
        EXPECT_GE(relays[i].timeMs - relays[i - 1].timeMs, 250);

    // The values arrived as the repeater stores them.
    EXPECT_EQ(repeater->Item(0x00) ? *repeater->Item(0x00) : sim::Bytes(), (sim::Bytes{0x00, 0x24, 0x1F}));
    EXPECT_EQ(repeater->Item(0x01) ? *repeater->Item(0x01) : sim::Bytes(), (sim::Bytes{0xBE, 0xEF}));
    EXPECT_EQ(repeater->ItemText(0x30), "internet");
    EXPECT_EQ(repeater->Item(0x16) ? *repeater->Item(0x16) : sim::Bytes(), (sim::Bytes{13}));
    EXPECT_TRUE(form->pageMain->isEnabled());
    EXPECT_TRUE(beeps.size() >= 1 && beeps.back() == 0x40) << "information beep";
}

TEST_F(JobsEndToEnd, ExactRequestBytesOnTheWire)
{
    form->comboPatrolHour->setCurrentIndex(23);
    form->comboPatrolMinute->setCurrentIndex(45);
    form->editSerialNum->setText("12999999");
    TickOnly({4, 45});
    form->btnConfigClick();
    Advance(3000);
    const auto relays = Relays();
    ASSERT_EQ(relays.size(), 2u);
    EXPECT_EQ(relays[0].record, RecordOf({0xC0, 0x7A, 0xCA, 0x12, 0x34, 0x56, 0x05, 0x00, 0x02, 0x23, 0x45}));
    EXPECT_EQ(relays[1].record, RecordOf({0xC0, 0x7A, 0xCA, 0x12, 0x34, 0x56, 0x00, 0x00, 0x03, 0xC6, 0x5D, 0x3F}));
    EXPECT_EQ(sim->CountCommand(0x2D), 1u) << "one calibration poll";
}

TEST_F(JobsEndToEnd, RejectionEndsTheJobWithARedCross)
{
    TickOnly({0, 4, 45});
    repeater->Reject(0xCA, 3, 1); // the first write is refused
    form->btnConfigClick();
    Advance(5000);
    EXPECT_EQ(form->StatusText(), "  Configuration rejected by the Repeater - Check firmware version");
    EXPECT_TRUE(TickIsFailed(form->configItems[0].tick));
    EXPECT_FALSE(form->configItems[4].tick->isVisibleTo(form));
    EXPECT_EQ(Relays().size(), 1u) << "the entries after it are not sent";
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_EQ(beeps.back(), 0x10u);
}

TEST_F(JobsEndToEnd, NoResponseMarksTheEntryInProgress)
{
    TickOnly({0, 4});
    repeater->DropReplies(0xCA);
    form->btnConfigClick();
    Advance(20000);
    EXPECT_EQ(form->StatusText(), "  No Response from Repeater");
    EXPECT_TRUE(TickIsFailed(form->configItems[0].tick));
    // Both timers resend: the reply timer at 5 and 10 s, the link timer at
    // 3.5, 7, 10.5 and 14 s; the reply timer gives up at 15 s.
    EXPECT_EQ(Relays().size(), 7u);
    EXPECT_TRUE(dialogs.empty());
    EXPECT_EQ(form->opState, osIdle);
}

TEST_F(JobsEndToEnd, LinkFailureShowsTheDialogAndMarksTheEntry)
{
    TickOnly({0});
    // No frame at all after the request, and a link timer that gives up
    // before the reply timer does.
    form->linkTimeoutMs = 1000;
    sim->DropRepliesTo(0x7A);
    form->btnConfigClick();
    Advance(20000);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].text, "A problem was found while communicating with the Vigilator");
    EXPECT_TRUE(TickIsFailed(form->configItems[0].tick));
    EXPECT_EQ(form->opState, osIdle);
}

TEST_F(JobsEndToEnd, CalibrationErrorAnsweredNoAndYes)
{
    repeater->SetCalibrationError(true);
    TickOnly({0});
    platform::SetMessageDlgHook([this](const std::string& text, platform::MsgDlgType type, uint32_t) {
        dialogs.push_back({text, int(type)});
        return int(platform::mrNo);
    });
    form->btnConfigClick();
    Advance(2000);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].text, "An internal calibration error has been detected in the Repeater.\n"
                               "Do you want to continue with the configuration?");
    EXPECT_EQ(form->StatusText(), "  Internal calibration error");
    EXPECT_TRUE(Relays().empty());
    EXPECT_EQ(form->opState, osIdle);

    dialogs.clear();
    platform::SetMessageDlgHook([this](const std::string& text, platform::MsgDlgType type, uint32_t) {
        dialogs.push_back({text, int(type)});
        return int(platform::mrYes);
    });
    form->btnConfigClick();
    Advance(3000);
    EXPECT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(Relays().size(), 1u);
    EXPECT_TRUE(TickIsDone(form->configItems[0].tick));
}

TEST_F(JobsEndToEnd, AbortInTheMiddle)
{
    TickOnly({0, 4, 5, 6, 45});
    form->btnConfigClick();
    Advance(700);
    const size_t before = Relays().size();
    ASSERT_GE(before, 1u);
    form->btnAbortClick();
    EXPECT_EQ(form->StatusText(), "  Action aborted by user");
    EXPECT_EQ(form->opState, osIdle);
    Advance(10000);
    EXPECT_LE(Relays().size(), before + 0) << "nothing more is sent";
    EXPECT_TRUE(form->pageMain->isEnabled());
}

TEST_F(JobsEndToEnd, SingleEntrySends)
{
    // An unticked entry goes all the same, without a calibration check.
    TickOnly({});
    form->editSerialNum->setText("7");
    form->popupBox = form->boxSerialNum;
    form->menuSendSingleMsgClick();
    Advance(3000);
    EXPECT_TRUE(TickIsDone(form->configItems[45].tick));
    EXPECT_EQ(sim->CountCommand(0x2D), 0u);
    EXPECT_NE(form->StatusText().find("Configuration successfully completed in"), std::string::npos);

    // The options entry reads the repeater's options first and changes only its bit.
    sim->ClearReceived();
    repeater->SetItem(0x0D, {0xF2});
    form->radioEnableLna->setChecked(true);
    form->popupBox = form->boxLowNoiseAmp;
    form->menuSendSingleMsgClick();
    Advance(3000);
    const auto relays = Relays();
    ASSERT_EQ(relays.size(), 2u);
    EXPECT_EQ(relays[0].RepeaterCommand(), 0xC8);
    EXPECT_EQ(relays[1].record, RecordOf({0xC0, 0x7A, 0xCA, 0x12, 0x34, 0x56, 0x0D, 0x00, 0x01, 0xF3}));
    EXPECT_TRUE(TickIsDone(form->configItems[7].tick));

    // Boxes outside the table do nothing at all.
    sim->ClearReceived();
    form->popupBox = form->boxAlarmTel;
    form->menuSendSingleMsgClick();
    EXPECT_TRUE(form->pageMain->isEnabled());
    Advance(1000);
    EXPECT_TRUE(Relays().empty());
}

TEST_F(JobsEndToEnd, InvalidInputIsRefusedBeforeAnythingIsSent)
{
    TickOnly({17, 45});
    form->editLowRfThresh->setText("256");
    form->editSerialNum->setText("13000000");
    form->btnConfigClick();
    EXPECT_EQ(form->StatusText(), "  User input error - Configuration aborted");
    EXPECT_TRUE(TickIsFailed(form->configItems[17].tick));
    EXPECT_FALSE(form->configItems[45].tick->isVisibleTo(form)) << "only the first invalid entry is marked";
    Advance(1000);
    EXPECT_EQ(sim->CountCommand(0x2D), 0u);
    EXPECT_TRUE(Relays().empty());

    // A text that would not fit a message is refused, not cut short.
    TickOnly({34});
    form->editApn->setText(QString(300, 'a'));
    form->btnConfigClick();
    EXPECT_EQ(form->StatusText(), "  User input error - Configuration aborted");
    EXPECT_TRUE(TickIsFailed(form->configItems[34].tick));

    // A list without a selection is invalid input.
    TickOnly({0});
    form->comboGsmBand->setCurrentIndex(-1);
    form->btnConfigClick();
    EXPECT_EQ(form->StatusText(), "  User input error - Configuration aborted");
    Advance(1000);
    EXPECT_TRUE(Relays().empty());
}

TEST_F(JobsEndToEnd, RefusalsWithoutPortOrRepeater)
{
    TickOnly({});
    clicks::Click(form->btnConfig);
    EXPECT_EQ(form->StatusText(), "  No configurations selected");
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_TRUE(form->pageMain->isEnabled()) << "the controls are back";
    TickOnly({0});
    form->boxRepeatersDblClick();
    form->btnConfigClick();
    EXPECT_EQ(form->StatusText(), "  No Repeater selected");
    EXPECT_EQ(form->opState, osIdle);
    form->portVigilator->Close();
    form->btnConfigClick();
    EXPECT_EQ(form->StatusText(), "  Not connected to a Vigilator");
    EXPECT_TRUE(form->pageMain->isEnabled());
}

TEST_F(JobsEndToEnd, LatePollReplyNeverReplacesTheOutstandingRequest)
{
    TickOnly({0});
    repeater->DropReplies(0xCA, 1); // the first write goes unanswered: it is resent
    form->btnConfigClick();
    Advance(300);
    ASSERT_EQ(form->opState, osConfigItems);
    const sim::Bytes request = Relays().back().record;
    sim->ClearReceived();
    // A duplicate of the calibration report arrives now.
    sim::Bytes report(16, 0);
    report[0] = 0x2D;
    report[4] = 0x12;
    report[5] = 0x34;
    report[6] = 0x56;
    sim->SendMessage(report);
    sim->SendMessage({0x2D, 0x00});
    Advance(6000);
    EXPECT_EQ(sim->CountCommand(0x2D), 0u) << "no poll in answer";
    const auto resent = Relays();
    ASSERT_FALSE(resent.empty());
    EXPECT_EQ(resent.front().record, request) << "the retry resends the request, not a poll";
    EXPECT_NE(form->StatusText().find("Configuration successfully completed"), std::string::npos);
}
