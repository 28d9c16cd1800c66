// Start-up, the handshake with the interface unit, keep-alive and discovery,
// checked on the wire and on the window.
#include "e2e/Harness.h"

#include "link/Responses.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Registry.h"
#include "sim/Protocol.h"

#include <QLabel>
#include <QListWidget>

namespace {

std::vector<std::string> ListItems(QListWidget* box)
{
    std::vector<std::string> items;
    for (int i = 0; i < box->count(); ++i)
        items.push_back(box->item(i)->text().toStdString());
    return items;
}

} // namespace

TEST_F(EndToEnd, HandshakeOnTheWireAndOnTheWindow)
{
    sim->SetSilent(true); // first look at what the program sends on its own
    StartAndConnect();
    EXPECT_EQ(form->StatusText(), "  Unidentified port opened");
    ASSERT_GE(sim->Received().size(), 3u);
    const auto& r = sim->Received();
    EXPECT_EQ(r[0].record, RecordOf({0xC0, 0x3A, 0x02}));
    EXPECT_EQ(r[1].record.size(), 6u);
    EXPECT_EQ(r[1].record[1], 0x32);
    const uint32_t sent = uint32_t(r[1].record[2]) << 24 | uint32_t(r[1].record[3]) << 16 |
                          uint32_t(r[1].record[4]) << 8 | r[1].record[5];
    EXPECT_LE(std::abs(int64_t(sent) - int64_t(LocalUnixTime())), 1) << "local time, big-endian";
    EXPECT_EQ(r[2].record, RecordOf({0xC0, 0xA5, 0x01}));
    for (const auto& f : r)
        EXPECT_TRUE(f.checksumOk);
    EXPECT_EQ(form->opState, osConnecting);
    EXPECT_TRUE(form->menuConnect->isChecked());
}

TEST_F(EndToEnd, ConnectsShowsBatteryAndListsRepeaters)
{
    sim->AddRepeater(9247);
    sim->AddRepeater(12345678);
    sim->AddRepeater(4194305);
    sim->SetBatteryMv(7600);
    StartAndConnect();
    Advance(20);
    Advance(20);
    // The keep-alive and the comms-mode replies have come in, one per tick.
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_FALSE(form->imageBattery100->isHidden());
    Advance(200);
    EXPECT_EQ(ListItems(form->boxRepeaters),
              (std::vector<std::string>{" 0000-9247", " 0419-4305", " 1234-5678"}));
    EXPECT_EQ(form->textRepeaters->text().toStdString(), "Repeaters (3)");
    EXPECT_EQ(form->StatusText(), "  Vigilator-Repeater Communications set");
    EXPECT_EQ(sim->CountCommand(0xA5), 1u) << "the comms-mode command went once";
    EXPECT_TRUE(dialogs.empty());
}

TEST_F(EndToEnd, LostCommsModeReplyIsResentDespiteTheKeepAliveReply)
{
    sim->AddRepeater(9247);
    // Lose the first comms-mode reply; the keep-alive reply still comes.
    sim->DropRepliesTo(0xA5, 1);
    StartAndConnect();
    Advance(100);
    EXPECT_EQ(form->StatusText(), "  Connected to Vigilator. Switching to Repeater mode.");
    EXPECT_EQ(form->opState, osConnecting);
    EXPECT_TRUE(form->timerConnectionManager->Enabled()) << "only the comms-mode reply stops the resends";
    Advance(3000);
    const auto sends = FramesWithCommand(0xA5);
    ASSERT_EQ(sends.size(), 2u);
    EXPECT_EQ(sends[1].timeMs - sends[0].timeMs, 3000);
    Advance(200);
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_GE(sim->CountCommand(0x78), 1u) << "discovery started";
    EXPECT_EQ(form->boxRepeaters->count(), 1);
    EXPECT_TRUE(dialogs.empty());
}

TEST_F(EndToEnd, KeepAliveOnlyUnitGetsFiveCommsModeSendsThenTheDialog)
{
    // The unit answers the keep-alive but never the comms-mode command.
    sim->DropRepliesTo(0xA5);
    StartAndConnect();
    Advance(14999);
    EXPECT_EQ(sim->CountCommand(0xA5), 5u);
    EXPECT_TRUE(dialogs.empty());
    Advance(1);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].text, "A problem was found while communicating with the Vigilator");
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_EQ(sim->CountCommand(0x78), 0u);
}

TEST_F(EndToEnd, DiscoveryCadenceAndBatches)
{
    for (uint32_t id = 1; id <= 6; ++id)
        sim->AddRepeater(id);
    sim->SetDiscoveryBatchSize(4);
    StartAndConnect();
    Advance(200);
    EXPECT_EQ(form->boxRepeaters->count(), 6);
    EXPECT_GE(sim->CountCommand(0x79), 1u) << "the second batch was asked for";
    const auto first = FramesWithCommand(0x78);
    ASSERT_FALSE(first.empty());
    sim->ClearReceived();
    Advance(6000);
    const auto later = FramesWithCommand(0x78);
    ASSERT_EQ(later.size(), 3u);
    EXPECT_EQ(later[1].timeMs - later[0].timeMs, 2000);
    // While a job runs, discovery is withheld.
    form->opState = osClearDatabase;
    sim->ClearReceived();
    Advance(6000);
    EXPECT_EQ(sim->CountCommand(0x78), 0u);
    form->opState = osIdle;
    // A repeater that left is gone after the next cycle.
    sim->RemoveRepeater(6);
    Advance(2100);
    EXPECT_EQ(form->boxRepeaters->count(), 5);
    EXPECT_EQ(form->textRepeaters->text().toStdString(), "Repeaters (5)");
    // Two neighbours in the list leave together.
    sim->RemoveRepeater(2);
    sim->RemoveRepeater(3);
    Advance(2100);
    EXPECT_EQ(form->boxRepeaters->count(), 3);
    EXPECT_EQ(form->textRepeaters->text().toStdString(), "Repeaters (3)");
}

TEST_F(EndToEnd, BatteryThresholds)
{
    struct Case {
        uint16_t mv;
        bool full, three, half, quarter, empty, blink;
    };
    const Case cases[] = {
        {7501, true, false, false, false, false, false}, {7500, false, true, false, false, false, false},
        {6501, false, false, true, false, false, false}, {6500, false, false, false, true, true, false},
        {6250, false, false, false, true, true, false},  {6249, false, false, false, true, true, true},
    };
    StartAndConnect();
    Advance(100);
    for (const Case& c : cases) {
        sim->SetBatteryMv(c.mv);
        Advance(60000); // the next keep-alive
        EXPECT_EQ(!form->imageBattery100->isHidden(), c.full) << c.mv;
        EXPECT_EQ(!form->imageBattery75->isHidden(), c.three) << c.mv;
        EXPECT_EQ(!form->imageBattery50->isHidden(), c.half) << c.mv;
        EXPECT_EQ(!form->imageBattery0->isHidden(), c.empty) << c.mv;
        EXPECT_EQ(form->timerLowBattery->Enabled(), c.blink) << c.mv;
        if (!c.blink) {
            EXPECT_EQ(!form->imageBattery25->isHidden(), c.quarter) << c.mv;
        }
    }
    // The quarter image blinks over the empty one.
    const bool before = form->imageBattery25->isHidden();
    Advance(500);
    EXPECT_NE(form->imageBattery25->isHidden(), before);
    EXPECT_EQ(sim->CountCommand(0x3A), 1u + 6u);
}

TEST_F(EndToEnd, SilentUnitGetsFiveCommsModeSendsThenTheDialog)
{
    sim->SetSilent(true);
    StartAndConnect();
    Advance(14999);
    EXPECT_EQ(sim->CountCommand(0xA5), 5u);
    EXPECT_TRUE(dialogs.empty());
    Advance(1);
    const auto sends = FramesWithCommand(0xA5);
    ASSERT_EQ(sends.size(), 5u);
    for (size_t i = 1; i < sends.size(); ++i)
        EXPECT_EQ(sends[i].timeMs - sends[i - 1].timeMs, 3000);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].text, "A problem was found while communicating with the Vigilator");
    EXPECT_EQ(beeps, (std::vector<uint32_t>{0x10}));
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_EQ(sim->CountCommand(0x78), 0u);
}

TEST_F(EndToEnd, MissingDeviceIsNotConnected)
{
    StorePort(dir.File("no-such-device"));
    StartAndConnect();
    EXPECT_EQ(form->StatusText(), "  NOT CONNECTED");
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].text, "Failed to connect to the Vigilator Interface Unit.\n"
                               "Please check the PC's Bluetooth settings and the Interface power.");
    EXPECT_EQ(beeps, (std::vector<uint32_t>{0x10}));
    EXPECT_FALSE(form->menuConnect->isChecked());
    EXPECT_FALSE(form->timerRxService->Enabled());
    EXPECT_FALSE(form->timerGeneral->Enabled());
}

TEST_F(EndToEnd, CloseSwitchesCommsModeOffAndSavesThePort)
{
    StartAndConnect();
    Advance(200);
    sim->ClearReceived();
    form->close();
    sim->Pump(platform::MonotonicMs());
    ASSERT_EQ(sim->Received().size(), 1u);
    EXPECT_EQ(sim->Received()[0].record, RecordOf({0xC0, 0xA5, 0x00}));
    EXPECT_FALSE(form->portVigilator->Connected());
    platform::SetRegistryFile(dir.File("registry.txt"));
    TRegistry reg(KEY_READ);
    ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Drosen\\KVT Config Tool\\portVigilator"));
    EXPECT_EQ(reg.ReadString("Port"), sim->SlavePath());
    EXPECT_EQ(reg.ReadString("BaudRate"), "115200");
}

TEST_F(EndToEnd, StoredBaudRateIsOverriddenTo115200)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\Drosen\\KVT Config Tool\\portVigilator", true));
    reg.WriteString("BaudRate", "9600");
    reg.CloseKey();
    StartAndConnect();
    EXPECT_EQ(form->portVigilator->BaudRate(), br115200);
    EXPECT_TRUE(form->portVigilator->Connected());
}

TEST_F(EndToEnd, NoiseAndCorruptFramesDoNotStopTheLink)
{
    sim->AddRepeater(9247);
    sim->SetNoise({0x00, 0x11, 0x13, 0xAA, 0x24, 0x02}, true);
    sim->CorruptNextChecksums(1);
    sim->SetSplit({1, 4, 7});
    StartAndConnect();
    Advance(5000);
    EXPECT_EQ(form->boxRepeaters->count(), 1);
    // A burst of random bytes, then ordinary traffic.
    sim->ClearFaults();
    sim::Bytes junk(3000);
    uint32_t x = 2463534242u;
    for (auto& b : junk) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = uint8_t(x);
    }
    sim->SendRaw(junk);
    Advance(3000);
    sim->AddRepeater(777);
    Advance(4100);
    EXPECT_EQ(form->boxRepeaters->count(), 2);
}

TEST_F(EndToEnd, ReconnectAfterTheLinkDrops)
{
    sim->AddRepeater(9247);
    StartAndConnect();
    Advance(200);
    sim->HangUp();
    Advance(3000);
    // The dropped link was told once, and the port closed.
    EXPECT_TRUE(exceptions.empty());
    EXPECT_EQ(dialogs.size(), 1u);
    EXPECT_FALSE(form->portVigilator->Connected());
    EXPECT_EQ(form->StatusText(), "  NOT CONNECTED");
    sim->Recreate();
    FollowRecreatedPty();
    form->menuConnect->trigger();
    Advance(300);
    EXPECT_TRUE(form->portVigilator->Connected());
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_EQ(form->boxRepeaters->count(), 1);
}

TEST_F(EndToEnd, MoreThanTheRingHoldsWaitsInTheDriverAndNothingIsLost)
{
    StartAndConnect();
    Advance(200);
    // 600 keep-alive replies back to back, 3600 bytes, more than the ring
    // buffer holds: the first say 7600 mV, the last 6400 mV.
    sim::Bytes burst;
    for (int i = 0; i < 600; ++i) {
        const uint16_t mv = i == 599 ? 6400 : 7600;
        const sim::Bytes message = {0x3A, 0x02, uint8_t(mv >> 8), uint8_t(mv)};
        const sim::Bytes frame = sim::EncodeUnitFrame(message);
        burst.insert(burst.end(), frame.begin(), frame.end());
    }
    sim->SendRaw(burst);
    Advance(600 * 20 + 500); // one frame per receive tick
    EXPECT_FALSE(form->imageBattery0->isHidden()) << "the last frame was taken, in order";
    EXPECT_TRUE(form->imageBattery100->isHidden());
    EXPECT_LE(form->rxRing->Count(), 2047u);
}

TEST_F(EndToEnd, ShortKeepAliveReplyLeavesTheBatteryAlone)
{
    sim->SetBatteryMv(7600);
    StartAndConnect();
    Advance(200);
    sim->SendMessage({0x3A, 0x02});
    sim->SendMessage({0x3A});
    Advance(100);
    EXPECT_FALSE(form->imageBattery100->isHidden());
}

TEST_F(EndToEnd, DiscoveryFollowUpLeavesTheOutstandingRequestAlone)
{
    for (uint32_t id = 1; id <= 6; ++id)
        sim->AddRepeater(id);
    sim->SetDiscoveryBatchSize(2);
    StartAndConnect();
    Advance(200);
    EXPECT_EQ(form->boxRepeaters->count(), 6);
    EXPECT_GE(sim->CountCommand(0x79), 2u);
    // txMsg still holds the last request the retry timers may resend.
    EXPECT_EQ(form->txMsg.length, 3);
    EXPECT_EQ(form->txMsg.data[1], 0xA5);
}
