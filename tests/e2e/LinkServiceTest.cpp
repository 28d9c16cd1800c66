// The receive service and the link's failure paths against the simulator:
// frames on the wire, one frame a tick, noise, sleeping while idle, lost
// replies and a device that goes away.
#include "e2e/Harness.h"

#include "link/Replies.h"
#include "link/Requests.h"
#include "link/Responses.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "sim/Protocol.h"
#include "support/Pty.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <map>

namespace {

// A press and release of the left mouse button in the middle of the button.
void Click(QPushButton* button)
{
    const QPointF at(button->width() / 2.0, button->height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, at, button->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, button->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(button, &press);
    QApplication::sendEvent(button, &release);
}

sim::Bytes KeepAlive(uint16_t mv)
{
    const sim::Bytes message = {0x3A, 0x02, uint8_t(mv >> 8), uint8_t(mv)};
    return sim::EncodeUnitFrame(message);
}

const char* const kLinkProblem = "A problem was found while communicating with the Vigilator";
const char* const kGoneText = "A problem was found while communicating with the Vigilator\n"
                              "Please check the PC's Bluetooth settings and the Interface power.";

} // namespace

TEST_F(EndToEnd, RecordOf252BytesIsSentAnd253IsNot)
{
    StartAndConnect();
    Advance(200);
    sim->ClearReceived();
    TMsgRecord record;
    record.data[0] = 0xC0;
    record.data[1] = 0x99;
    for (int i = 2; i < kMaxMsgData; ++i)
        record.data[i] = uint8_t(i);
    record.length = 252;
    SendFrame(&record, form->portVigilator);
    Advance(1);
    ASSERT_EQ(sim->Received().size(), 1u);
    EXPECT_TRUE(sim->Received()[0].checksumOk);
    EXPECT_EQ(sim->Received()[0].record, sim::Bytes(record.data, record.data + 252));
    sim->ClearReceived();
    record.length = 253;
    SendFrame(&record, form->portVigilator);
    Advance(1);
    EXPECT_TRUE(sim->Received().empty());
    EXPECT_EQ(sim->BadChecksumCount(), 0u);
    EXPECT_EQ(sim->DiscardedBytes(), 0u) << "not a byte of it went out";
}

TEST_F(EndToEnd, OneFrameATickAlsoAfterABadHeader)
{
    sim->SetBatteryMv(7600);
    StartAndConnect();
    Advance(300);
    ASSERT_FALSE(form->imageBattery100->isHidden());
    sim::Bytes burst = {0x24, 0x02, 0x00}; // a bad header: thrown away in the tick that finds it
    for (uint16_t mv : {7200, 6600}) {
        const sim::Bytes frame = KeepAlive(mv);
        burst.insert(burst.end(), frame.begin(), frame.end());
    }
    sim->SendRaw(burst);
    Advance(1); // the bytes arrive and wake the receive service, which runs at once
    EXPECT_FALSE(form->imageBattery75->isHidden()) << "the first frame in the first tick, the noise gone with it";
    Advance(18);
    EXPECT_FALSE(form->imageBattery75->isHidden()) << "one frame a tick";
    Advance(1);
    EXPECT_FALSE(form->imageBattery50->isHidden()) << "the second frame in the next tick, 20 ms later";
}

TEST_F(EndToEnd, FrameCutInsideItsChecksumEscapePairWaitsForTheRest)
{
    StartAndConnect();
    Advance(300);
    // Keep-alive 3A 02 1B 85 (7045 mV): its checksum is 0x24, sent as AA FE.
    const sim::Bytes frame = KeepAlive(7045);
    ASSERT_EQ(frame.size(), 9u);
    ASSERT_EQ(frame[7], 0xAA);
    ASSERT_EQ(frame[8], 0xFE);
    sim->SendRaw(sim::Bytes(frame.begin(), frame.end() - 1));
    Advance(100);
    EXPECT_TRUE(form->imageBattery75->isHidden()) << "not taken while the pair is cut";
    EXPECT_EQ(form->rxRing->Count(), 8u);
    sim->SendRaw({0xFE});
    Advance(20);
    EXPECT_FALSE(form->imageBattery75->isHidden()) << "taken once the pair is whole";
    EXPECT_EQ(form->rxRing->Count(), 0u);
}

TEST_F(EndToEnd, ReceiveServiceSleepsWhileNothingWaits)
{
    StartAndConnect();
    Advance(300);
    EXPECT_FALSE(form->timerRxService->Enabled()) << "idle: no 20 ms ticks";
    sim->SendMessage({0x3A, 0x02, 0x1B, 0x58}); // 7000 mV
    Advance(1);
    EXPECT_FALSE(form->imageBattery50->isHidden()) << "arriving bytes wake it";
    EXPECT_FALSE(form->timerRxService->Enabled()) << "asleep again once the ring is empty";
    // A partial frame keeps it awake until its bytes have stopped for 200 ms.
    sim->SendRaw({0x24, 0x10, 0x00, 0x01});
    Advance(100);
    EXPECT_TRUE(form->timerRxService->Enabled());
    Advance(200);
    EXPECT_FALSE(form->timerRxService->Enabled());
    EXPECT_EQ(form->rxRing->Count(), 0u) << "the stalled frame was given up";
}

// Each lamp is drawn again only when its colour changes: at a discovery
// cycle the transmit and receive lamps flash once each, the signal lamp stays.
TEST_F(EndToEnd, LampsChangeOnlyWhenTheyFlash)
{
    sim->AddRepeater(9247);
    StartAndConnect();
    Advance(3000);
    struct Counter : QObject {
        std::map<QObject*, int> changes;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            changes[watched] += event->type() == QEvent::PaletteChange;
            return false;
        }
    } counter;
    for (QWidget* lamp : {form->ledTx, form->ledRx, form->ledRssi})
        lamp->installEventFilter(&counter);
    Advance(2000); // one discovery cycle
    EXPECT_EQ(counter.changes[form->ledTx], 2);
    EXPECT_EQ(counter.changes[form->ledRx], 2);
    EXPECT_EQ(counter.changes[form->ledRssi], 0);
}

TEST_F(EndToEnd, MoreThanTheRingHoldsNeverOverfillsItAndLosesNoFrame)
{
    StartAndConnect();
    Advance(300);
    // The simulator's own discovery answers stay away: the batches below are
    // the only ones.
    sim->DropRepliesTo(0x78);
    sim->DropRepliesTo(0x79);
    // 700 discovery batches of one repeater each, about 7.7 KB: far more than
    // the ring buffer (2047 bytes) and the driver hold at once. Every batch
    // but the last says more follow, so the list ends up with all of them
    // only when no frame was lost.
    sim::Bytes burst;
    const int batches = 700;
    for (int i = 0; i < batches; ++i) {
        const uint32_t id = 10000 + uint32_t(i);
        const sim::Bytes message = {0x78, uint8_t(i + 1 < batches ? 1 : 0), 0, uint8_t(id >> 16), uint8_t(id >> 8),
                                    uint8_t(id)};
        const sim::Bytes frame = sim::EncodeUnitFrame(message);
        burst.insert(burst.end(), frame.begin(), frame.end());
    }
    sim->SendRaw(burst);
    bool waitedInDriver = false;
    for (int tick = 0; tick < batches + 100; ++tick) {
        Advance(20);
        ASSERT_LE(form->rxRing->Count(), 2047u);
        waitedInDriver = waitedInDriver || form->BytesLeftInDriver();
    }
    EXPECT_TRUE(waitedInDriver) << "the test must really fill the ring";
    EXPECT_EQ(form->boxRepeaters->count(), batches);
    EXPECT_EQ(form->textRepeaters->text().toStdString(), "Repeaters (700)");
}

TEST_F(EndToEnd, HeaderByteOfTheUnitCountsInTheChecksum)
{
    sim->AddRepeater(9247);
    sim->SetHeaderByte(0x13);
    StartAndConnect();
    Advance(300);
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_EQ(form->boxRepeaters->count(), 1);
    sim->SendRaw({0x24, 0x06, 0x13, 0x3A, 0x02, 0x19, 0x64, uint8_t(-(0x13 + 0x3A + 0x02 + 0x19 + 0x64))}); // 6500 mV
    Advance(100);
    EXPECT_FALSE(form->imageBattery0->isHidden());
    sim->SendRaw({0x24, 0x06, 0x13, 0x3A, 0x02, 0x1D, 0x4D, uint8_t(-(0x3A + 0x02 + 0x1D + 0x4D))}); // 7501 mV, bad
    Advance(400);
    EXPECT_TRUE(form->imageBattery100->isHidden()) << "a checksum without the header byte is refused";
}

TEST_F(JobsEndToEnd, NoiseBeforeARelayReplyCostsNoResend)
{
    const sim::Bytes noises[] = {{0x24}, {0x24, 0xFA, 0x00}, {0x24, 0x24}, {0x24, 0x05, 0x00, 0xAA}};
    for (const sim::Bytes& noise : noises) {
        sim->ClearReceived();
        sim->SetNoise(noise);
        form->opState = osSleep;
        QueueSleep(form);
        Advance(1000);
        EXPECT_EQ(form->StatusText(), "  Sleep successfully set") << ::testing::PrintToString(noise);
        EXPECT_EQ(sim->RelaysWithCommand(0xD4).size(), 1u) << "taken on its first copy";
        EXPECT_EQ(form->opState, osIdle);
        sim->ClearFaults();
    }
    EXPECT_TRUE(dialogs.empty());
}

TEST_F(JobsEndToEnd, KeepAliveReplyLeavesALostPollGuarded)
{
    form->EnableControls(false);
    form->opState = osDeployLogOffPoll;
    sim->DropRepliesTo(0x2D, 1);
    const int64_t start = platform::MonotonicMs();
    SendPoll(form);
    sim->SendMessage({0x3A, 0x02, 0x1D, 0x4C}); // arrives while the poll reply is lost
    Advance(100);
    EXPECT_TRUE(form->timerConnectionManager->Enabled()) << "only a poll reply stops the poll's timer";
    Advance(200);
    const auto polls = FramesWithCommand(0x2D);
    ASSERT_GE(polls.size(), 2u);
    EXPECT_EQ(polls[0].timeMs - start, 0);
    EXPECT_EQ(polls[1].timeMs - start, 250) << "resent after 250 ms";
}

// ------------------------------------------------------------ a device that goes away

TEST_F(EndToEnd, HangUpWhileIdleClosesThePortAndTellsOnce)
{
    sim->AddRepeater(9247);
    StartAndConnect();
    Advance(300);
    sim->HangUp();
    // Nothing is written meanwhile: the port's event thread sees the hang-up.
    ASSERT_TRUE(ServeUntil([&] { return !form->portVigilator->Connected(); }));
    EXPECT_EQ(form->StatusText(), "  NOT CONNECTED");
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].text, kGoneText);
    EXPECT_EQ(beeps, (std::vector<uint32_t>{0x10}));
    EXPECT_FALSE(form->timerGeneral->Enabled());
    EXPECT_FALSE(form->timerDiscover->Enabled());
    EXPECT_FALSE(form->timerRxService->Enabled());
    EXPECT_FALSE(form->menuConnect->isChecked());
    EXPECT_TRUE(form->menuConnect->isEnabled());
    Advance(10000); // discovery and signal-strength ticks would have written
    EXPECT_EQ(dialogs.size(), 1u);
    EXPECT_TRUE(exceptions.empty());
    // The device is back: Connect works at once.
    sim->Recreate();
    FollowRecreatedPty();
    form->menuConnect->trigger();
    Advance(300);
    EXPECT_TRUE(form->portVigilator->Connected());
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_EQ(form->boxRepeaters->count(), 1);
    EXPECT_EQ(dialogs.size(), 1u);
}

TEST_F(JobsEndToEnd, HangUpDuringAJobEndsIt)
{
    sim->DropRepliesTo(0x7A); // the options read stays unanswered
    Click(form->btnDeploy);
    Advance(20);
    ASSERT_EQ(form->opState, osEcuOptionsRead);
    ASSERT_FALSE(form->pageMain->isEnabled());
    sim->HangUp();
    ASSERT_TRUE(ServeUntil([&] { return !form->portVigilator->Connected(); }));
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_TRUE(form->pageMain->isEnabled()) << "the controls came back";
    EXPECT_TRUE(form->btnConfig->isVisibleTo(form));
    EXPECT_FALSE(form->btnAbort->isVisibleTo(form));
    EXPECT_FALSE(form->timerConnectionManager->Enabled());
    EXPECT_FALSE(form->timerMsgTimeout->Enabled());
    EXPECT_EQ(form->StatusText(), "  NOT CONNECTED");
    Advance(20000);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].text, kGoneText);
}

TEST_F(JobsEndToEnd, WriteToAVanishedDeviceEndsTheJobItStarted)
{
    // The device goes away and the user starts a job before the program has
    // heard of it: the job's first write fails, and ends it.
    sim->HangUp();
    form->opState = osSleep;
    QueueSleep(form);
    ASSERT_TRUE(ServeUntil([&] { return !form->portVigilator->Connected(); }));
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_FALSE(form->timerConnectionManager->Enabled()) << "no timer left armed";
    Advance(20000);
    EXPECT_EQ(dialogs.size(), 1u);
    EXPECT_TRUE(exceptions.empty());
}

TEST_F(EndToEnd, NoSecondErrorBoxWhileOneIsOpen)
{
    StartAndConnect();
    Advance(300);
    sim->SetSilent(true);
    bool hungUp = false;
    platform::SetMessageDlgHook([&](const std::string& text, platform::MsgDlgType type, uint32_t) {
        dialogs.push_back({text, int(type)});
        if (!hungUp) {
            // The user leaves the first box open; meanwhile the device goes.
            hungUp = true;
            sim->HangUp();
            EXPECT_TRUE(ServeUntil([&] { return !form->portVigilator->Connected(); }));
        }
        return int(platform::mrOk);
    });
    form->txMsg.length = 3;
    form->txMsg.data[0] = 0xC0;
    form->txMsg.data[1] = 0xA5;
    form->txMsg.data[2] = 0x01;
    QueueMsg(form, &form->txMsg, 0);
    Advance(17500); // the link timer gives up
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].text, kLinkProblem);
    EXPECT_FALSE(form->portVigilator->Connected());
    EXPECT_EQ(form->StatusText(), "  NOT CONNECTED");
}
