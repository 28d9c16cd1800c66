// Tests of the serial port list (platform/SerialPorts.h) on a recorded copy of
// the kernel's device tree.
#include "platform/SerialPorts.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

class SerialPorts : public ::testing::Test {
protected:
    void TearDown() override { platform::SetSysfsRoot("/sys"); }

    fs::path ClassTty() const { return fs::path(root_.Path()) / "class" / "tty"; }

    // A tty entry as the kernel shows it: class/tty/NAME is a link into
    // devices/, whose folder holds `type` and the `device` link.
    struct Entry {
        std::string name;
        const char* type = nullptr; // contents of the type file; none when null
        bool device = false;
        bool driver = false;
    };
    void Add(const Entry& e)
    {
        const fs::path real = fs::path(root_.Path()) / "devices" / "platform" / e.name;
        fs::create_directories(real);
        if (e.type)
            std::ofstream(real / "type") << e.type;
        if (e.device) {
            const fs::path hw = fs::path(root_.Path()) / "devices" / "hw" / e.name;
            fs::create_directories(hw);
            if (e.driver) {
                fs::create_directories(fs::path(root_.Path()) / "bus" / "drv");
                fs::create_directory_symlink(fs::path(root_.Path()) / "bus" / "drv", hw / "driver");
            }
            fs::create_directory_symlink(hw, real / "device");
        }
        fs::create_directories(ClassTty());
        fs::create_directory_symlink(real, ClassTty() / e.name);
    }

    std::vector<std::string> List(bool* ok = nullptr, int* error = nullptr)
    {
        platform::SetSysfsRoot(root_.Path());
        std::vector<std::string> names{"stale"};
        int err = -1;
        const bool result = platform::ListSerialPorts(names, &err);
        if (ok)
            *ok = result;
        if (error)
            *error = err;
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir root_;
};

TEST_F(SerialPorts, KeepsRealPortsAndDropsPhantomsAndConsoles)
{
    Add({"ttyS0", "4\n", true, true});  // a 16550A
    Add({"ttyS1", "0\n", true, true});  // phantom: no UART behind it
    Add({"ttyS2", nullptr, true, true}); // no type file: a bound driver decides
    Add({"ttyS3", nullptr, true, false});
    Add({"ttyUSB0", nullptr, true, true});
    Add({"ttyACM0", nullptr, true, true});
    Add({"rfcomm0", nullptr, false, false}); // Bluetooth: virtual, no device link at all
    Add({"ttyAMA0", nullptr, true, true});
    Add({"ttymxc1", nullptr, false, false}); // listed, but nothing behind it
    for (const char* name : {"tty0", "tty12", "console", "ptmx", "ttyprintk"})
        Add({name, nullptr, false, false});
    Add({"tty1", nullptr, true, true}); // a virtual console even with a device

    bool ok = false;
    int error = -1;
    EXPECT_EQ(List(&ok, &error),
              (std::vector<std::string>{"rfcomm0", "ttyACM0", "ttyAMA0", "ttyS0", "ttyS2", "ttyUSB0"}));
    EXPECT_TRUE(ok);
    EXPECT_EQ(error, 0);
}

TEST_F(SerialPorts, MissingTreeFailsWithACode)
{
    bool ok = true;
    int error = 0;
    List(&ok, &error);
    EXPECT_FALSE(ok);
    EXPECT_NE(error, 0);

    platform::SetSysfsRoot(root_.File("nowhere"));
    std::vector<std::string> names{"stale"};
    EXPECT_FALSE(platform::ListSerialPorts(names, nullptr)); // no error slot: still no crash
    EXPECT_TRUE(names.empty());
}

TEST_F(SerialPorts, AReadErrorPartWayGivesNoList)
{
    Add({"ttyUSB0", nullptr, true, true});
    Add({"ttyUSB1", nullptr, true, true});
    struct RestoreReader {
        ~RestoreReader() { platform::SetDirectoryReader({}); }
    } restore;
    // The first entries come, then the folder cannot be read on.
    platform::SetDirectoryReader([](const std::string& dir, std::vector<std::string>& names, int* error) {
        std::vector<std::string> all;
        platform::RealDirectoryReader()(dir, all, error);
        names.push_back(all.at(0));
        *error = EIO;
        return false;
    });
    bool ok = true;
    int error = 0;
    EXPECT_TRUE(List(&ok, &error).empty());
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, EIO);

    platform::SetDirectoryReader({});
    EXPECT_EQ(List(&ok, &error), (std::vector<std::string>{"ttyUSB0", "ttyUSB1"}));
    EXPECT_TRUE(ok);
}

} // namespace
