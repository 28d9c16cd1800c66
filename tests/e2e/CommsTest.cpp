// The Communications entry against the simulator: the port list is a recorded
// device tree, and its "ttyUSB7" is a link to the simulator's pseudo-terminal
// in a device folder of the test's own, so the choice goes the whole way from
// the list to the open device.
#include "e2e/Harness.h"

#include "platform/CommDevice.h"
#include "platform/SerialPorts.h"
#include "serial/PortControls.h"
#include "tools/Comms.h"
#include "tools/ModalScript.h"

#include <QListWidget>
#include <QPushButton>
#include <filesystem>

namespace {

void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center()); }

class CommsEndToEnd : public EndToEnd {
protected:
    void SetUp() override
    {
        EndToEnd::SetUp();
        for (const char* name : {"ttyUSB7", "rfcomm0"})
            std::filesystem::create_directories(std::filesystem::path(sysfs.Path()) / "class" / "tty" / name);
        platform::SetSysfsRoot(sysfs.Path());
        platform::comm::SetDeviceRoot(devices.Path());
        sim->SetSymlink(devices.File("ttyUSB7"));
        sim->AddRepeater(9247);
    }
    void TearDown() override
    {
        EndToEnd::TearDown();
        platform::comm::SetDeviceRoot("/dev");
        platform::SetSysfsRoot("/sys");
    }

    // Opens the dialog from the menu; `user` acts in it.
    void UseDialog(std::function<void(TformComms&)> user)
    {
        ModalScript script;
        script.Then([user](QDialog& d) { user(dynamic_cast<TformComms&>(d)); });
        form->menuComms->trigger();
        EXPECT_EQ(script.opened, std::vector<std::string>{"formComms"});
        EXPECT_EQ(formComms, nullptr);
    }

    size_t Handshakes() const { return FramesWithCommand(0x3A).size(); }

    TempDir sysfs, devices;
};

} // namespace

TEST_F(CommsEndToEnd, ChoosingTheSimulatorsPortConnects)
{
    StorePort("rfcomm0"); // a Bluetooth port that is away
    StartAndConnect();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].text.substr(0, 50), "Failed to connect to the Vigilator Interface Unit.");
    EXPECT_FALSE(form->portVigilator->Connected());
    dialogs.clear();

    UseDialog([](TformComms& w) {
        EXPECT_EQ(w.comboPortVigilator->Text(), "rfcomm0");
        QTest::keyClick(w.comboPortVigilator, Qt::Key_Down);
        EXPECT_EQ(w.comboPortVigilator->Text(), "ttyUSB7");
        Click(w.btnOk);
    });
    EXPECT_EQ(form->portVigilator->Port(), "ttyUSB7");
    EXPECT_TRUE(form->portVigilator->Connected());
    Advance(20);
    Advance(20);
    Advance(200);
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_EQ(form->StatusText(), "  Vigilator-Repeater Communications set");
    ASSERT_EQ(form->boxRepeaters->count(), 1);
    EXPECT_EQ(form->boxRepeaters->item(0)->text().toStdString(), " 0000-9247");
    EXPECT_TRUE(dialogs.empty());
}

TEST_F(CommsEndToEnd, OkWithoutAChoiceReconnectsOnThePtyItHad)
{
    StartAndConnect();
    Advance(200);
    ASSERT_EQ(form->opState, osIdle);
    sim->ClearReceived();

    UseDialog([](TformComms& w) {
        EXPECT_EQ(w.comboPortVigilator->ItemIndex(), -1) << "a pty path is not among the listed ports";
        Click(w.btnOk);
    });
    EXPECT_EQ(form->portVigilator->Port(), sim->SlavePath());
    Advance(20);
    Advance(200);
    EXPECT_EQ(Handshakes(), 1u) << "closed and connected again";
    EXPECT_EQ(form->opState, osIdle);
    EXPECT_EQ(form->StatusText(), "  Vigilator-Repeater Communications set");
    EXPECT_TRUE(dialogs.empty());
}
