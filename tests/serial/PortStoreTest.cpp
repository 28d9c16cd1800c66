// Port settings through the registry store and ini files, and the port list.
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/SerialPorts.h"
#include "serial/PortCore.h"
#include "support/CommBaudCheck.h"
#include "support/Pty.h"
#include "support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

const std::string kProductKey = "HKEY_CURRENT_USER\\Software\\Drosen\\KVT Config Tool";

class PortStore : public ::testing::Test {
protected:
    void SetUp() override { platform::SetRegistryFile(dir.File("registry.txt")); }
    void TearDown() override { platform::SetRegistryFile(dir.File("unused.txt")); }

    std::vector<std::string> StoredNames()
    {
        TRegistry reg(KEY_READ);
        EXPECT_TRUE(reg.OpenKeyReadOnly("Software\\Drosen\\KVT Config Tool\\portVigilator"));
        return reg.GetValueNames();
    }

    TempDir dir;
};

std::unique_ptr<TComPort> NamedPort()
{
    auto port = std::make_unique<TComPort>();
    port->SetName("portVigilator");
    return port;
}

} // namespace

TEST_F(PortStore, BasicGroupWritesExactlyItsValuesInOrder)
{
    auto port = NamedPort();
    port->SetPort("ttyUSB0");
    port->SetBaudRate(br115200);
    port->StoreSettings(stRegistry, kProductKey);
    EXPECT_EQ(StoredNames(),
              (std::vector<std::string>{"Port", "BaudRate", "StopBits", "DataBits", "Parity", "FlowControl"}));

    auto custom = NamedPort();
    custom->SetBaudRate(brCustom);
    custom->SetCustomBaudRate(250000);
    TRegistry wipe;
    wipe.DeleteKey("Software\\Drosen\\KVT Config Tool\\portVigilator");
    wipe.CloseKey();
    custom->StoreSettings(stRegistry, kProductKey);
    EXPECT_EQ(StoredNames(), (std::vector<std::string>{"Port", "BaudRate", "CustomBaudRate", "StopBits", "DataBits",
                                                       "Parity", "FlowControl"}));
}

TEST_F(PortStore, EveryGroupRoundTripsThroughTheRegistry)
{
    auto port = NamedPort();
    port->SetStoredProps(TStoredProps{spBasic, spFlowControl, spBuffer, spTimeouts, spParity, spOthers});
    port->SetPort("/dev/rfcomm0");
    port->SetBaudRate(brCustom);
    port->SetCustomBaudRate(250000);
    port->SetStopBits(sbTwoStopBits);
    port->SetDataBits(dbSeven);
    port->Parity()->SetBits(prOdd);
    port->Parity()->SetCheck(true);
    port->Parity()->SetReplace(true);
    port->Parity()->SetReplaceChar(0);
    port->SetEventChar('A');
    port->SetDiscardNull(true);
    port->Buffer()->SetInputSize(4096);
    port->Buffer()->SetOutputSize(2048);
    port->Timeouts()->SetReadInterval(10);
    port->Timeouts()->SetReadTotalC(20);
    port->Timeouts()->SetReadTotalM(30);
    port->Timeouts()->SetWriteTotalC(40);
    port->Timeouts()->SetWriteTotalM(50);
    port->FlowControl()->SetControlRTS(rtsToggle);
    port->FlowControl()->SetControlDTR(dtrEnable);
    port->FlowControl()->SetDSRSensitivity(true);
    port->FlowControl()->SetOutDSRFlow(true);
    port->FlowControl()->SetTxContinueOnXoff(true);
    port->FlowControl()->SetXonXoffIn(true);
    port->FlowControl()->SetXonChar(1);
    port->FlowControl()->SetXoffChar(char(200));
    port->StoreSettings(stRegistry, kProductKey);

    {
        TRegistry reg(KEY_READ);
        ASSERT_TRUE(reg.OpenKeyReadOnly("Software\\Drosen\\KVT Config Tool\\portVigilator"));
        EXPECT_EQ(reg.ReadString("EventChar"), "A");
        EXPECT_EQ(reg.ReadString("Parity.ReplaceChar"), "#0");
        EXPECT_EQ(reg.ReadString("FlowControl.XonChar"), "#1");
        EXPECT_EQ(reg.ReadString("FlowControl.XoffChar"), "#200");
        EXPECT_EQ(reg.ReadString("DiscardNull"), "Yes");
        EXPECT_EQ(reg.ReadString("FlowControl.ControlRTS"), "Toggle");
        EXPECT_EQ(reg.ReadInteger("Timeouts.ReadTotalConstant"), 20);
    }
    // The store survives a restart of the program.
    platform::SetRegistryFile(dir.File("registry.txt"));

    auto loaded = NamedPort();
    loaded->SetStoredProps(port->StoredProps());
    loaded->LoadSettings(stRegistry, kProductKey);
    EXPECT_EQ(loaded->Port(), "/dev/rfcomm0");
    EXPECT_EQ(loaded->BaudRate(), brCustom);
    EXPECT_EQ(loaded->CustomBaudRate(), 250000);
    EXPECT_EQ(loaded->StopBits(), sbTwoStopBits);
    EXPECT_EQ(loaded->DataBits(), dbSeven);
    EXPECT_EQ(loaded->EventChar(), 'A');
    EXPECT_TRUE(loaded->DiscardNull());
    EXPECT_EQ(loaded->Parity()->Bits(), prOdd);
    EXPECT_TRUE(loaded->Parity()->Check());
    EXPECT_TRUE(loaded->Parity()->Replace());
    EXPECT_EQ(loaded->Buffer()->InputSize(), 4096);
    EXPECT_EQ(loaded->Buffer()->OutputSize(), 2048);
    EXPECT_EQ(loaded->Timeouts()->ReadInterval(), 10);
    EXPECT_EQ(loaded->Timeouts()->ReadTotalConstant(), 20);
    EXPECT_EQ(loaded->Timeouts()->ReadTotalMultiplier(), 30);
    EXPECT_EQ(loaded->Timeouts()->WriteTotalConstant(), 40);
    EXPECT_EQ(loaded->Timeouts()->WriteTotalMultiplier(), 50);
    EXPECT_EQ(loaded->FlowControl()->ControlRTS(), rtsToggle);
    EXPECT_EQ(loaded->FlowControl()->ControlDTR(), dtrEnable);
    EXPECT_TRUE(loaded->FlowControl()->DSRSensitivity());
    EXPECT_TRUE(loaded->FlowControl()->OutDSRFlow());
    EXPECT_TRUE(loaded->FlowControl()->TxContinueOnXoff());
    EXPECT_TRUE(loaded->FlowControl()->XonXoffIn());
    EXPECT_FALSE(loaded->FlowControl()->XonXoffOut());
    EXPECT_EQ(loaded->FlowControl()->XonChar(), 1);
    EXPECT_EQ(uint8_t(loaded->FlowControl()->XoffChar()), 200);
}

TEST_F(PortStore, TheRootOfTheStorePath)
{
    const std::pair<std::string, HKEY> cases[] = {
        {"HKEY_LOCAL_MACHINE\\Software\\Drosen\\KVT Config Tool", HKEY_LOCAL_MACHINE},
        {"hkey_local_machine\\Software\\Drosen\\KVT Config Tool\\", HKEY_LOCAL_MACHINE},
        {kProductKey, HKEY_CURRENT_USER},
        {"\\Software\\Drosen\\KVT Config Tool", HKEY_CURRENT_USER},
        {"HKEY_CLASSES_ROOT\\Software\\Drosen\\KVT Config Tool", HKEY_CURRENT_USER},
    };
    const std::string key = "Software\\Drosen\\KVT Config Tool\\portVigilator";
    for (const auto& [path, root] : cases) {
        SCOPED_TRACE(path);
        auto port = NamedPort();
        port->SetPort("ttyUSB7");
        port->StoreSettings(stRegistry, path);
        for (const HKEY r : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            TRegistry reg;
            reg.SetRootKey(r);
            const bool there = reg.OpenKeyReadOnly(key) && reg.ReadString("Port") == "ttyUSB7";
            EXPECT_EQ(there, r == root) << RootKeyName(r);
            reg.CloseKey();
            reg.DeleteKey(key);
        }
    }
}

TEST_F(PortStore, ParityCheckAndReplaceAreStoredApart)
{
    for (const bool check : {true, false}) {
        SCOPED_TRACE(check);
        auto port = NamedPort();
        port->SetStoredProps(TStoredProps{spParity});
        port->Parity()->SetCheck(check);
        port->Parity()->SetReplace(!check);
        port->StoreSettings(stRegistry, kProductKey);
        {
            TRegistry reg(KEY_READ);
            ASSERT_TRUE(reg.OpenKeyReadOnly("Software\\Drosen\\KVT Config Tool\\portVigilator"));
            EXPECT_EQ(reg.ReadString("Parity.Check"), check ? "Yes" : "No");
            EXPECT_EQ(reg.ReadString("Parity.Replace"), check ? "No" : "Yes");
        }
        auto loaded = NamedPort();
        loaded->SetStoredProps(TStoredProps{spParity});
        loaded->LoadSettings(stRegistry, kProductKey);
        EXPECT_EQ(loaded->Parity()->Check(), check);
        EXPECT_EQ(loaded->Parity()->Replace(), !check);
    }
}

TEST_F(PortStore, RegistryLoadOfMissingValues)
{
    Pty pty(Pty::Line::KernelDefaults);
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("Software\\Drosen\\KVT Config Tool\\portVigilator", true));
        reg.WriteString("Port", pty.SlavePath());
        reg.CloseKey();
    }
    auto port = NamedPort();
    port->SetBaudRate(br115200);
    port->Parity()->SetBits(prEven);
    port->LoadSettings(stRegistry, kProductKey);
    EXPECT_EQ(port->Port(), pty.SlavePath());
    EXPECT_EQ(port->BaudRate(), br9600) << "a missing text reads empty: the converter's default";
    EXPECT_EQ(port->Parity()->Bits(), prNone);
    port->Open();

    // A custom rate needs its integer: missing, the load fails as a whole.
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("Software\\Drosen\\KVT Config Tool\\portVigilator", true));
        reg.WriteString("BaudRate", "Custom");
        reg.CloseKey();
    }
    try {
        port->LoadSettings(stRegistry, kProductKey);
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 17);
        EXPECT_STREQ(e.what(), "Failed to load settings");
    }
    EXPECT_EQ(port->BaudRate(), brCustom) << "values set before the failure stay";
    // The failed load still closed its update bracket: setters reach the device.
    port->SetCustomBaudRate(250000);
    EXPECT_EQ(ReadBackOtherBaud(pty.MasterFd()), 250000u);
    port->Close();
}

TEST_F(PortStore, IniFileRoundTripAndDefaults)
{
    const std::string file = dir.File("port.ini");
    auto port = NamedPort();
    port->SetStoredProps(TStoredProps{spBasic, spOthers, spTimeouts});
    port->SetPort("ttyUSB3");
    port->SetBaudRate(br57600);
    port->SetEventChar(0);
    port->StoreSettings(stIniFile, file);

    TIniFile ini(file);
    EXPECT_EQ(ini.ReadString("portVigilator", "Port", ""), "ttyUSB3");
    EXPECT_EQ(ini.ReadString("portVigilator", "BaudRate", ""), "57600");
    EXPECT_EQ(ini.ReadString("portVigilator", "EventChar", ""), "#0");
    EXPECT_EQ(ini.ReadString("portVigilator", "Timeouts.ReadInterval", ""), "-1");

    auto loaded = NamedPort();
    loaded->SetStoredProps(port->StoredProps());
    loaded->LoadSettings(stIniFile, file);
    EXPECT_EQ(loaded->Port(), "ttyUSB3");
    EXPECT_EQ(loaded->BaudRate(), br57600);
    EXPECT_EQ(loaded->Timeouts()->ReadInterval(), -1);

    // Without the section every property stays, except a custom rate, which
    // falls back to 9600.
    auto other = NamedPort();
    other->SetName("otherPort");
    other->SetPort("keep");
    other->SetBaudRate(brCustom);
    other->SetCustomBaudRate(300000);
    other->LoadSettings(stIniFile, file);
    EXPECT_EQ(other->Port(), "keep");
    EXPECT_EQ(other->BaudRate(), brCustom);
    EXPECT_EQ(other->CustomBaudRate(), 9600);
}

TEST_F(PortStore, StoreFailureBecomesCode16)
{
    auto port = NamedPort();
    try {
        port->StoreSettings(stIniFile, dir.File("no-such-folder/port.ini"));
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 16);
        EXPECT_EQ(e.WinCode(), -1);
    }
}

TEST_F(PortStore, EnumeratesARecordedSysfsTreeSortedIgnoringCase)
{
    namespace fs = std::filesystem;
    const fs::path tty = fs::path(dir.Path()) / "class" / "tty";
    auto make = [&](const std::string& name, const char* type, bool device) {
        fs::create_directories(tty / name);
        if (type)
            std::ofstream(tty / name / "type") << type << "\n";
        if (device)
            fs::create_directories(tty / name / "device" / "driver");
    };
    make("ttyS0", "4", true);
    make("ttyS1", "0", true); // no UART behind it
    make("ttyUSB10", nullptr, true);
    make("ttyUSB2", nullptr, true);
    make("ttyACM0", nullptr, true);
    make("rfcomm0", nullptr, false); // Bluetooth: virtual, no device link
    make("ttyAMA0", nullptr, true);
    make("ttymxc0", nullptr, true); // letter case is ignored: before ttyS0
    make("tty0", nullptr, false);
    make("console", nullptr, false);
    make("ptmx", nullptr, false);
    platform::SetSysfsRoot(dir.Path());
    std::vector<std::string> ports = {"stale"};
    EnumComPorts(ports);
    platform::SetSysfsRoot("/sys");
    EXPECT_EQ(ports, (std::vector<std::string>{"rfcomm0", "ttyACM0", "ttyAMA0", "ttymxc0", "ttyS0", "ttyUSB10", "ttyUSB2"}));

    platform::SetSysfsRoot(dir.File("nothing-here"));
    try {
        EnumComPorts(ports);
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 23);
        EXPECT_EQ(std::string(e.what()).rfind("Registry error (win error code: ", 0), 0u);
    }
    platform::SetSysfsRoot("/sys");
}
