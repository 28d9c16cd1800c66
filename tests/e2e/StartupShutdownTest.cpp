// Start-up and shutdown that meet a fault, and the termination signals.
#include "e2e/Harness.h"

#include "platform/Modal.h"
#include "platform/Registry.h"
#include "platform/TerminationSignals.h"

#include <QCoreApplication>
#include <QDialog>
#include <QTabWidget>
#include <algorithm>
#include <csignal>
#include <fstream>

namespace {

bool SettingsSaved()
{
    TRegistry reg(KEY_READ);
    reg.SetRootKey(HKEY_CURRENT_USER);
    return reg.OpenKeyReadOnly("\\Software\\Drosen\\KVT Config Tool") && reg.ValueExists("Language");
}

bool ConfigurationTabShown(TformMain* form)
{
    return form->pageMain->isTabVisible(form->pageMain->indexOf(form->tabConfig));
}

} // namespace

TEST_F(EndToEnd, ABadStoredPortSettingEndsTheLoadSilentlyAndStartUpGoesOn)
{
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("\\Software\\Drosen\\KVT Config Tool\\portVigilator", true));
        reg.WriteInteger("BaudRate", 9600); // a text in a good store
        reg.CloseKey();
    }
    StartAndConnect();
    EXPECT_TRUE(exceptions.empty()) << "the load ends silently, as at any other value of the wrong type";
    EXPECT_EQ(form->windowTitle().toStdString(), " Vantelox SMS Repeater Installation Utility - V1.01.00")
        << "the language pass ran";
    EXPECT_EQ(form->portVigilator->BaudRate(), br115200);
    EXPECT_FALSE(ConfigurationTabShown(form)) << "the tab rules ran (administrator options 10)";
    EXPECT_NE(std::find(modals.begin(), modals.end(), "TformRTFM"), modals.end()) << "the reminder came";
    EXPECT_TRUE(form->portVigilator->Connected());
    Advance(300);
    EXPECT_GE(sim->CountCommand(0xA5), 1u) << "the handshake ran";
}

TEST_F(EndToEnd, AFailedSaveLosesNeitherCommsOffNorTheClosedPort)
{
    StartAndConnect();
    Advance(300);
    sim->ClearReceived();
    std::ofstream(dir.File("plain-file")) << "x";
    platform::SetRegistryFile(dir.File("plain-file/registry.txt")); // no folder can be made there
    form->close();
    EXPECT_EQ(exceptions.size(), 1u) << "the save failure is shown";
    exceptions.clear();
    EXPECT_FALSE(form->portVigilator->Connected());
    Advance(10);
    const auto off = sim->FramesWithCommand(0xA5);
    ASSERT_EQ(off.size(), 1u);
    EXPECT_EQ(off[0].record, RecordOf({0xC0, 0xA5, 0x00}));
}

TEST_F(EndToEnd, AFailedCommsOffWriteLosesNeitherTheSaveNorTheClosedPort)
{
    StartAndConnect();
    Advance(300);
    sim->HangUp(); // the device is gone: the last write fails
    form->close();
    EXPECT_LE(exceptions.size(), 1u);
    exceptions.clear();
    EXPECT_TRUE(SettingsSaved());
    EXPECT_FALSE(form->portVigilator->Connected());
}

class SignalEndToEnd : public EndToEnd, public ::testing::WithParamInterface<int> {};

TEST_P(SignalEndToEnd, ASignalClosesTheWayTheCloseBoxDoes)
{
    StartAndConnect();
    Advance(300);
    sim->ClearReceived();
    platform::TerminationSignals watcher([this](int) { form->CloseOnSignal(); });
    ASSERT_EQ(std::raise(GetParam()), 0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->portVigilator->Connected());
    EXPECT_TRUE(SettingsSaved());
    Advance(10);
    const auto off = sim->FramesWithCommand(0xA5);
    ASSERT_EQ(off.size(), 1u);
    EXPECT_EQ(off[0].record, RecordOf({0xC0, 0xA5, 0x00}));
}

INSTANTIATE_TEST_SUITE_P(TermIntHup, SignalEndToEnd, ::testing::Values(SIGTERM, SIGINT, SIGHUP));

TEST_F(EndToEnd, ASignalWhileTheReminderIsUpClosesWithoutConnecting)
{
    platform::TerminationSignals watcher([this](int) { form->CloseOnSignal(); });
    platform::SetModalHook([this](QDialog& dialog) {
        modals.push_back(dialog.objectName().toStdString());
        if (dialog.objectName() == "TformRTFM") {
            std::raise(SIGTERM);
            QCoreApplication::processEvents();
        }
        return 2;
    });
    StartAndConnect();
    Advance(300);
    EXPECT_NE(std::find(modals.begin(), modals.end(), "TformRTFM"), modals.end());
    EXPECT_FALSE(form->portVigilator->Connected());
    EXPECT_EQ(sim->Received().size(), 0u);
    EXPECT_TRUE(SettingsSaved());
}
