// Manual messages typed on the engineering tab and sent with the Tx buttons,
// against the simulator, with the message log open beside them.
#include "e2e/Clicks.h"
#include "e2e/Harness.h"

#include "link/Mme.h"
#include "platform/Clock.h"
#include "tools/Msglog.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <algorithm>

namespace {

class ManualMessages : public JobsEndToEnd {
protected:
    void SetUp() override
    {
        JobsEndToEnd::SetUp();
        form->pageMain->setCurrentWidget(form->tabConfig);
        form->pageKvt->setCurrentWidget(form->tabEngineering);
        ASSERT_TRUE(form->btnSend1->isVisible());
        ASSERT_TRUE(form->checkSendToRepeater->isChecked()) << "relayed is the default";
    }
    void TearDown() override
    {
        if (formMsgLog)
            formMsgLog->close();
        JobsEndToEnd::TearDown();
    }
    // Types the text into the editor with the keyboard, from its start.
    void TypeInto(QLineEdit* edit, const std::string& text)
    {
        edit->clear();
        edit->setCursorPosition(0);
        for (char c : text)
            clicks::Type(edit, c);
    }
    void OpenLog()
    {
        form->distOptions |= 2;
        ApplyMessageLogOption(form);
        QMenuBar* bar = form->menubar;
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(form->menuTools->menuAction()).center());
        ASSERT_TRUE(form->menuTools->isVisible());
        QTest::mouseClick(form->menuTools, Qt::LeftButton, {},
                          form->menuTools->actionGeometry(form->menuMessageLog).center());
        ASSERT_NE(formMsgLog, nullptr);
    }
    std::vector<std::string> LogLines() const
    {
        std::vector<std::string> out;
        for (int i = 0; i < formMsgLog->lines->Count(); ++i)
            out.push_back(formMsgLog->lines->Line(i));
        return out;
    }
    std::vector<int64_t> SendTimes(uint8_t repeaterCommand, int64_t from) const
    {
        std::vector<int64_t> t;
        for (const auto& f : sim->RelaysWithCommand(repeaterCommand))
            t.push_back(f.timeMs - from);
        return t;
    }
};

bool Contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

} // namespace

TEST_F(ManualMessages, DirectMessageReachesTheUnitByteForByteAndTheLogShowsBothWays)
{
    OpenLog();
    QTest::mouseClick(form->checkSendToRepeater, Qt::LeftButton);
    ASSERT_FALSE(form->checkSendToRepeater->isChecked());
    TypeInto(form->editManualMsg1, "3a02");
    EXPECT_EQ(form->editManualMsg1->displayText().left(6).toStdString(), "3A 02 ");
    clicks::Click(form->btnSend1);
    Advance(100);
    const auto sent = FramesWithCommand(0x3A);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].wire, RecordOf({0x24, 0x04, 0xC0, 0x3A, 0x02, 0x04}));
    EXPECT_EQ(form->StatusText(), "  Queueing Message");
    const auto lines = LogLines();
    EXPECT_TRUE(Contains(lines, " C0 3A 02"));
    const auto replies = sim->SentWithId(0x3A);
    ASSERT_FALSE(replies.empty()) << "the keep-alive was answered";
    std::string reply;
    for (uint8_t b : replies.back().message) {
        static const char hex[] = "0123456789ABCDEF";
        reply += ' ';
        reply += hex[b >> 4];
        reply += hex[b & 15];
    }
    EXPECT_TRUE(Contains(lines, reply)) << reply;
}

TEST_F(ManualMessages, EveryTxButtonSendsItsOwnEditor)
{
    QLineEdit* edits[] = {form->editManualMsg1, form->editManualMsg2, form->editManualMsg3, form->editManualMsg4,
                          form->editManualMsg5, form->editManualMsg6, form->editManualMsg7, form->editManualMsg8};
    QPushButton* buttons[] = {form->btnSend1, form->btnSend2, form->btnSend3, form->btnSend4,
                              form->btnSend5, form->btnSend6, form->btnSend7, form->btnSend8};
    QTest::mouseClick(form->checkSendToRepeater, Qt::LeftButton);
    for (int i = 0; i < 8; ++i)
        TypeInto(edits[i], "7" + std::to_string(i)); // 70 .. 77: commands the unit ignores
    for (int i = 7; i >= 0; --i)
        clicks::Click(buttons[i]);
    Advance(100);
    std::vector<sim::Bytes> records;
    for (const auto& f : sim->Received())
        if (f.record.size() == 2 && f.record[1] >= 0x70 && f.record[1] <= 0x77)
            records.push_back(f.record);
    ASSERT_EQ(records.size(), 8u);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(records[size_t(i)], RecordOf({0xC0, uint8_t(0x77 - i)}));
}

TEST_F(ManualMessages, EmptyEditorSendsNothingAndLeavesTheStatus)
{
    form->SetStatusText("  before");
    TypeInto(form->editManualMsg2, "");
    clicks::Click(form->btnSend2);
    Advance(100);
    for (const auto& f : sim->Received())
        EXPECT_TRUE(f.IsRelay() && f.RepeaterCommand() == 0xCC) << "only the signal-strength poll went out";
    EXPECT_EQ(form->StatusText(), "  before");
}

TEST_F(ManualMessages, KeysOtherThanHexDigitsBackspaceAndBlankTypeNothing)
{
    QLineEdit* edit = form->editManualMsg3;
    TypeInto(edit, "g-x!A");
    EXPECT_EQ(ManualMessageDigits(edit->text().toStdString()), "A");
    TypeInto(edit, "c8 0d");
    EXPECT_EQ(ManualMessageDigits(edit->text().toStdString()), "C80D");
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(ManualMessageDigits(edit->text().toStdString()), "C80");
    TypeInto(edit, "a b");
    EXPECT_EQ(edit->displayText().left(4).toStdString(), "A  B") << "the blank shows";
}

TEST_F(ManualMessages, EndKeyPutsTheCaretAfterTheLastTypedCharacter)
{
    QLineEdit* edit = form->editManualMsg4;
    TypeInto(edit, "3A02");
    edit->setCursorPosition(0);
    QTest::keyClick(edit, Qt::Key_End);
    // After 3A 02, not at the end of the mask; the edit itself steps over the
    // blank that separates the pairs, to where the next digit goes.
    EXPECT_EQ(edit->cursorPosition(), 6);
    TypeInto(edit, "");
    edit->setCursorPosition(7);
    QTest::keyClick(edit, Qt::Key_End);
    EXPECT_EQ(edit->cursorPosition(), 0);
    TypeInto(edit, "1");
    edit->setCursorPosition(0);
    QTest::keyClick(edit, Qt::Key_End);
    EXPECT_EQ(edit->cursorPosition(), 1);
}

TEST_F(ManualMessages, RelayedMessageWhoseAnswerComesBackIsSentOnce)
{
    OpenLog();
    repeater->SetItem(0x0D, {0x05});
    form->checkSendToRepeater->setChecked(true);
    TypeInto(form->editManualMsg1, "C80D");
    const int64_t start = platform::MonotonicMs();
    clicks::Click(form->btnSend1);
    EXPECT_EQ(form->StatusText(), "  Queueing Message");
    Advance(20000);
    EXPECT_EQ(SendTimes(0xC8, start), (std::vector<int64_t>{0}));
    const auto sent = sim->RelaysWithCommand(0xC8);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].record, RecordOf({0xC0, 0x7A, 0xC8, 0x12, 0x34, 0x56, 0x0D}));
    EXPECT_EQ(form->StatusText(), "  Queueing Message") << "no failure reported";
    EXPECT_TRUE(beeps.empty());
    EXPECT_FALSE(form->timerMsgTimeout->Enabled());
    const auto lines = LogLines();
    EXPECT_TRUE(Contains(lines, " C0 7A C8 12 34 56 0D"));
    EXPECT_TRUE(Contains(lines, " 7B C9 12 34 56 0D 05")) << "the answer is in the log";
}

TEST_F(ManualMessages, RelayedMessageRefusedByTheRepeaterIsAnsweredToo)
{
    repeater->Reject(0xC8, 0x02);
    form->checkSendToRepeater->setChecked(true);
    TypeInto(form->editManualMsg1, "C80D");
    const int64_t start = platform::MonotonicMs();
    clicks::Click(form->btnSend1);
    Advance(20000);
    EXPECT_EQ(SendTimes(0xC8, start), (std::vector<int64_t>{0}));
    EXPECT_TRUE(beeps.empty());
}

TEST_F(ManualMessages, SilentRepeaterGetsThreeSendsAndNoResponse)
{
    repeater->SetSilent(true);
    form->checkSendToRepeater->setChecked(true);
    TypeInto(form->editManualMsg1, "C8");
    const int64_t start = platform::MonotonicMs();
    clicks::Click(form->btnSend1);
    Advance(14900);
    const auto times = SendTimes(0xC8, start);
    for (int64_t t : {0, 5000, 10000})
        EXPECT_NE(std::find(times.begin(), times.end(), t), times.end()) << t;
    EXPECT_EQ(form->StatusText(), "  Queueing Message");
    Advance(200);
    EXPECT_EQ(form->StatusText(), "  No Response from Repeater");
    EXPECT_EQ(beeps, (std::vector<uint32_t>{0x10}));
    for (const auto& f : sim->RelaysWithCommand(0xC8))
        EXPECT_EQ(f.record, RecordOf({0xC0, 0x7A, 0xC8, 0x12, 0x34, 0x56}));
}

TEST_F(ManualMessages, AnswerFromAnotherRepeaterOrToAnotherCommandDoesNotCount)
{
    // The selected repeater stays silent; the other one answers the same
    // command sent to it directly, which is not the manual message's answer.
    repeater->SetSilent(true);
    form->checkSendToRepeater->setChecked(true);
    TypeInto(form->editManualMsg1, "C8");
    clicks::Click(form->btnSend1);
    TMsgRecord other;
    const uint8_t otherAddress[3] = {0x00, 0x24, 0x1F}; // 9247
    ASSERT_TRUE(BuildManualMessage("C8 0D", true, otherAddress, other));
    SendFrame(&other, form->portVigilator);
    Advance(15100);
    EXPECT_EQ(form->StatusText(), "  No Response from Repeater");
}

TEST_F(ManualMessages, DirectOrEmptyMessageDuringARelayedOneLeavesTheRequestThatIsResent)
{
    repeater->SetSilent(true);
    form->checkSendToRepeater->setChecked(true);
    TypeInto(form->editManualMsg1, "C8");
    clicks::Click(form->btnSend1);
    TypeInto(form->editManualMsg3, "");
    clicks::Click(form->btnSend3);
    form->checkSendToRepeater->setChecked(false);
    TypeInto(form->editManualMsg2, "3A02");
    clicks::Click(form->btnSend2);
    EXPECT_EQ(form->txMsg.length, 6);
    Advance(5100);
    const auto resent = sim->RelaysWithCommand(0xC8);
    ASSERT_GE(resent.size(), 2u);
    EXPECT_EQ(resent.back().record, RecordOf({0xC0, 0x7A, 0xC8, 0x12, 0x34, 0x56}));
    EXPECT_EQ(FramesWithCommand(0x3A).size(), 1u) << "the direct message went out once";
}

TEST_F(ManualMessages, WithNoRepeaterSelectedTheRelayCarriesFFFFFF)
{
    form->ClearRepeaterSelection();
    form->checkSendToRepeater->setChecked(true);
    TypeInto(form->editManualMsg1, "C8 0D");
    clicks::Click(form->btnSend1);
    Advance(100);
    const auto sent = sim->RelaysWithCommand(0xC8);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].record, RecordOf({0xC0, 0x7A, 0xC8, 0xFF, 0xFF, 0xFF, 0x0D}));
}
