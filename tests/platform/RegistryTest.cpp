// Tests of the registry store (platform/Registry.h).
#include "platform/Registry.h"
#include "support/FileBytes.h"
#include "support/SettingsKey.h"
#include "support/TempDir.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

// Every test runs on a store file of its own in a private folder.
class Registry : public ::testing::Test {
protected:
    void SetUp() override
    {
        file_ = dir_.File("registry.txt");
        platform::SetRegistryFile(file_);
    }
    // Drops the in-memory tree and loads the store from the file again.
    void Reload() { platform::SetRegistryFile(file_); }

    TempDir dir_;
    std::string file_;
};

}  // namespace

TEST_F(Registry, TypedValuesReadBack)
{
    TRegistry reg;
    EXPECT_EQ(reg.Access(), KEY_ALL_ACCESS);
    EXPECT_EQ(reg.RootKey(), HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey(kSettingsKey, true));
    reg.WriteInteger("Time Zone", -5);
    reg.WriteInteger("Max Int", INT32_MAX);
    reg.WriteInteger("Min Int", INT32_MIN);
    reg.WriteBool("Show Hints", true);
    reg.WriteBool("Max", false);
    reg.WriteString("APN", "internet");
    EXPECT_EQ(reg.ReadInteger("Time Zone"), -5);
    EXPECT_EQ(reg.ReadInteger("Max Int"), INT32_MAX);
    EXPECT_EQ(reg.ReadInteger("Min Int"), INT32_MIN);
    EXPECT_TRUE(reg.ReadBool("Show Hints"));
    EXPECT_FALSE(reg.ReadBool("Max"));
    EXPECT_EQ(reg.ReadInteger("Show Hints"), 1);  // booleans are integers 1/0
    EXPECT_EQ(reg.ReadInteger("Max"), 0);
    EXPECT_TRUE(reg.ReadBool("Time Zone"));      // any integer != 0
    EXPECT_EQ(reg.ReadString("APN"), "internet");
    // Writing another type replaces the value.
    reg.WriteString("Time Zone", "text now");
    EXPECT_EQ(reg.ReadString("Time Zone"), "text now");
    reg.WriteInteger("APN", 7);
    EXPECT_EQ(reg.ReadInteger("APN"), 7);
}

TEST_F(Registry, MissingOrIllTypedValuesRaise)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kSettingsKey, true));
    reg.WriteString("Delay", "10");
    reg.WriteInteger("Count", 3);

    try {
        reg.ReadInteger("Top");
        FAIL() << "no exception";
    } catch (const ERegistryException& e) {
        EXPECT_NE(std::string(e.what()).find("\"Top\""), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("missing"), std::string::npos) << e.what();
    }
    EXPECT_THROW(reg.ReadBool("Show Hints"), ERegistryException);
    try {
        reg.ReadInteger("Delay");  // text read as integer
        FAIL() << "no exception";
    } catch (const ERegistryException& e) {
        EXPECT_NE(std::string(e.what()).find("\"Delay\""), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("not an integer"), std::string::npos) << e.what();
    }
    EXPECT_THROW(reg.ReadBool("Delay"), ERegistryException);
    try {
        reg.ReadString("Count");  // integer read as text
        FAIL() << "no exception";
    } catch (const ERegistryException& e) {
        EXPECT_NE(std::string(e.what()).find("\"Count\""), std::string::npos) << e.what();
    }
    // A missing text value reads as empty text.
    EXPECT_EQ(reg.ReadString("APN"), "");
    // The exception is the program's Exception and a std::runtime_error.
    EXPECT_THROW(reg.ReadInteger("Top"), Exception);
    EXPECT_THROW(reg.ReadInteger("Top"), std::runtime_error);

    // No key open: integers raise, text reads empty, no values exist.
    TRegistry none;
    EXPECT_THROW(none.ReadInteger("Count"), ERegistryException);
    EXPECT_EQ(none.ReadString("Delay"), "");
    EXPECT_FALSE(none.ValueExists("Count"));
    EXPECT_TRUE(none.GetValueNames().empty());
}

TEST_F(Registry, WritingWithoutAWritableKeyRaises)
{
    {
        TRegistry reg;
        EXPECT_THROW(reg.WriteInteger("X", 1), ERegistryException);  // no key open
        EXPECT_THROW(reg.WriteString("X", "a"), ERegistryException);
        ASSERT_TRUE(reg.OpenKey(kSettingsKey, true));
        reg.WriteInteger("X", 1);
        reg.CloseKey();
        EXPECT_THROW(reg.WriteBool("X", true), ERegistryException);  // closed again
    }
    {
        TRegistry reg;  // full access, but the key is opened read-only
        ASSERT_TRUE(reg.OpenKeyReadOnly(kSettingsKey));
        EXPECT_EQ(reg.ReadInteger("X"), 1);
        try {
            reg.WriteInteger("X", 2);
            FAIL() << "no exception";
        } catch (const ERegistryException& e) {
            EXPECT_NE(std::string(e.what()).find("reading only"), std::string::npos) << e.what();
        }
        EXPECT_FALSE(reg.DeleteValue("X"));
        EXPECT_EQ(reg.ReadInteger("X"), 1);
        EXPECT_FALSE(reg.OpenKeyReadOnly("\\Software\\Missing"));
    }
    {
        TRegistry reg(KEY_READ);
        EXPECT_TRUE(reg.OpenKey(kSettingsKey, false));
        EXPECT_THROW(reg.WriteString("X", "b"), ERegistryException);
        EXPECT_FALSE(reg.OpenKey("\\Software\\New Key", true));  // may not create
        EXPECT_FALSE(reg.KeyExists("\\Software\\New Key"));
        EXPECT_FALSE(reg.DeleteKey(kSettingsKey));
        EXPECT_TRUE(reg.KeyExists(kSettingsKey));
    }
}

TEST_F(Registry, OpenKeyRelativeAndAbsolute)
{
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey("\\Software\\A", false));  // missing, not created
    EXPECT_FALSE(reg.HasOpenKey());
    ASSERT_TRUE(reg.OpenKey("\\Software\\A", true));
    EXPECT_EQ(reg.CurrentPath(), "Software\\A");
    ASSERT_TRUE(reg.OpenKey("B\\C", true));  // relative to the open key
    EXPECT_EQ(reg.CurrentPath(), "Software\\A\\B\\C");
    ASSERT_TRUE(reg.OpenKey("\\Software\\D", true));  // absolute again
    EXPECT_EQ(reg.CurrentPath(), "Software\\D");
    EXPECT_FALSE(reg.OpenKey("Missing", false));
    EXPECT_EQ(reg.CurrentPath(), "Software\\D");  // unchanged after a failed open
    EXPECT_TRUE(reg.KeyExists("\\Software\\A\\B"));
    EXPECT_FALSE(reg.KeyExists("B"));  // relative to Software\D
    ASSERT_TRUE(reg.OpenKey("\\Software", false));
    EXPECT_TRUE(reg.KeyExists("A\\B\\C"));
    EXPECT_TRUE(reg.OpenKey("A\\B\\", false));  // a trailing '\' is allowed
    EXPECT_EQ(reg.CurrentPath(), "Software\\A\\B");
    // Invalid paths: empty names inside, control characters.
    EXPECT_FALSE(reg.OpenKey("\\Software\\\\A", true));
    EXPECT_FALSE(reg.OpenKey("Bad\nName", true));
    EXPECT_EQ(reg.CurrentPath(), "Software\\A\\B");
    // "\" opens the root itself.
    ASSERT_TRUE(reg.OpenKey("\\", false));
    EXPECT_EQ(reg.CurrentPath(), "");
    EXPECT_TRUE(reg.HasOpenKey());

    // Without an open key a relative path starts at the root.
    TRegistry other;
    ASSERT_TRUE(other.OpenKey("Software\\A", false));
    EXPECT_EQ(other.CurrentPath(), "Software\\A");

    // The two roots are separate trees.
    TRegistry machine;
    machine.SetRootKey(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(machine.KeyExists("\\Software\\A"));
    ASSERT_TRUE(machine.OpenKey("\\HARDWARE\\DEVICEMAP\\SERIALCOMM", true));
    machine.WriteString("\\Device\\Serial0", "COM1");
    EXPECT_FALSE(reg.KeyExists("\\HARDWARE"));
}

TEST_F(Registry, ObjectsShareOneTree)
{
    {
        TRegistry a, b;
        ASSERT_TRUE(a.OpenKey(kSettingsKey, true));
        ASSERT_TRUE(b.OpenKey(kSettingsKey, true));
        a.WriteInteger("Top", 10);
        b.WriteInteger("Left", 20);
        EXPECT_EQ(b.ReadInteger("Top"), 10);  // one tree: b sees a's value
        EXPECT_EQ(a.ReadInteger("Left"), 20);
        a.CloseKey();  // writes the file
        b.WriteString("APN", "after a closed");
    }  // b's destructor writes again
    {
        // A key and a subkey of it, closed in the other order.
        TRegistry outer, inner;
        ASSERT_TRUE(outer.OpenKey(kSettingsKey, true));
        ASSERT_TRUE(inner.OpenKey(std::string(kSettingsKey) + "\\portVigilator", true));
        inner.WriteString("Port", "COM3");
        outer.WriteInteger("Width", 640);
        inner.CloseKey();
        outer.WriteInteger("Height", 480);
        outer.CloseKey();
    }
    Reload();
    TRegistry reg(KEY_READ);
    ASSERT_TRUE(reg.OpenKeyReadOnly(kSettingsKey));
    EXPECT_EQ(reg.ReadInteger("Top"), 10);
    EXPECT_EQ(reg.ReadInteger("Left"), 20);
    EXPECT_EQ(reg.ReadString("APN"), "after a closed");
    EXPECT_EQ(reg.ReadInteger("Width"), 640);
    EXPECT_EQ(reg.ReadInteger("Height"), 480);
    ASSERT_TRUE(reg.OpenKeyReadOnly("portVigilator"));
    EXPECT_EQ(reg.ReadString("Port"), "COM3");
}

TEST_F(Registry, NamesAreCaseInsensitiveAndKeepTheirCase)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\MixedCase Key", true));
    reg.WriteInteger("Patrol Hour", 7);
    EXPECT_TRUE(reg.ValueExists("PATROL HOUR"));
    EXPECT_EQ(reg.ReadInteger("patrol hour"), 7);
    reg.WriteInteger("PATROL HOUR", 8);  // the same value
    EXPECT_EQ(reg.GetValueNames(), std::vector<std::string>{"Patrol Hour"});
    EXPECT_EQ(reg.ReadInteger("Patrol Hour"), 8);
    reg.WriteInteger("Zone", 9); // every letter, the last one too

    TRegistry other;
    ASSERT_TRUE(other.OpenKey("\\SOFTWARE\\mixedcase key", false));
    EXPECT_EQ(other.CurrentPath(), "Software\\MixedCase Key");
    EXPECT_EQ(other.ReadInteger("pAtRoL hOuR"), 8);
    EXPECT_EQ(other.ReadInteger("zONE"), 9);
    EXPECT_TRUE(other.DeleteValue("patrol HOUR"));
    EXPECT_FALSE(reg.ValueExists("Patrol Hour"));
}

TEST_F(Registry, ValueOrderDeleteValueAndDeleteKey)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kSettingsKey, true));
    for (const char* n : {"Language", "Max", "Top", "Height"})
        reg.WriteInteger(n, 1);
    reg.WriteString("Max", "now text");  // keeps its place
    EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"Language", "Max", "Top", "Height"}));
    EXPECT_TRUE(reg.DeleteValue("Top"));
    EXPECT_FALSE(reg.DeleteValue("Top"));
    EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"Language", "Max", "Height"}));

    ASSERT_TRUE(reg.OpenKey("Sub\\Deeper", true));
    reg.WriteInteger("X", 1);
    TRegistry other;
    ASSERT_TRUE(other.OpenKey(kSettingsKey, false));
    EXPECT_EQ(other.GetKeyNames(), std::vector<std::string>{"Sub"});
    EXPECT_FALSE(other.DeleteKey("Missing"));
    EXPECT_FALSE(other.DeleteKey("\\"));  // not the root
    EXPECT_TRUE(other.DeleteKey("Sub"));  // with its subkeys and values
    EXPECT_FALSE(other.KeyExists("Sub\\Deeper"));
    // reg's open key is gone: its writes raise, its reads find nothing, and
    // a relative open does not bring it back.
    EXPECT_THROW(reg.WriteInteger("X", 2), ERegistryException);
    EXPECT_FALSE(reg.ValueExists("X"));
    EXPECT_FALSE(reg.OpenKey("Again", true));
    EXPECT_FALSE(other.KeyExists("Sub"));
}

TEST_F(Registry, EveryTextAndNameRoundTripsThroughTheFile)
{
    const std::vector<std::string> texts = {
        "",
        "plain",
        "quote \" inside",
        "\"",
        "back\\slash",
        "ends with a backslash\\",
        "\\x41 and \\n stay literal",
        "a=b",
        "\"Name\"=dword:00000001",
        "[HKEY_CURRENT_USER\\Software]",
        "; not a comment",
        "line\nbreak",
        "cr\ronly",
        "crlf\r\n",
        "\ttabs\t",
        "  blanks at both ends  ",
        "non-ASCII: Grüße € Ω 日本語 😀",
        std::string("nul\0inside", 11),
        "\x01\x1f\x7f controls",
        "invalid UTF-8: \xff\xfe\x80",
    };
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kSettingsKey, true));
        for (size_t i = 0; i < texts.size(); ++i) {
            reg.WriteString("T" + std::to_string(i), texts[i]);
            reg.WriteInteger("Name " + texts[i], static_cast<int32_t>(i));  // awkward names
        }
        reg.WriteInteger("Negative", -1);
        reg.WriteInteger("Min", INT32_MIN);
        reg.CloseKey();
    }
    // The file is readable text in the documented format.
    const std::string data = ReadAll(file_);
    EXPECT_NE(data.find("[HKEY_CURRENT_USER\\Software\\Drosen\\KVT Config Tool]\n"), std::string::npos);
    EXPECT_NE(data.find("\"Negative\"=dword:ffffffff\n"), std::string::npos);
    EXPECT_NE(data.find("\"T1\"=\"plain\"\n"), std::string::npos);
    EXPECT_NE(data.find("\"T2\"=\"quote \\\" inside\"\n"), std::string::npos);
    EXPECT_NE(data.find("\"T11\"=\"line\\nbreak\"\n"), std::string::npos);

    Reload();
    TRegistry reg(KEY_READ);
    ASSERT_TRUE(reg.OpenKeyReadOnly(kSettingsKey));
    for (size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(reg.ReadString("T" + std::to_string(i)), texts[i]) << "text " << i;
        EXPECT_EQ(reg.ReadInteger("Name " + texts[i]), static_cast<int32_t>(i)) << "name " << i;
    }
    EXPECT_EQ(reg.ReadInteger("Negative"), -1);
    EXPECT_EQ(reg.ReadInteger("Min"), INT32_MIN);
    // The value order survives too.
    std::vector<std::string> names = reg.GetValueNames();
    ASSERT_EQ(names.size(), texts.size() * 2 + 2);
    EXPECT_EQ(names[0], "T0");
    EXPECT_EQ(names[1], "Name ");
    EXPECT_EQ(names.back(), "Min");
}

TEST_F(Registry, EmptyKeysSurviveAReload)
{
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("\\Software\\Empty\\Leaf", true));
    }
    Reload();
    TRegistry reg;
    EXPECT_TRUE(reg.KeyExists("\\Software\\Empty\\Leaf"));
}

TEST_F(Registry, UnsavedChangesAreOnlyInMemoryUntilCloseKey)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kSettingsKey, true));
    reg.WriteInteger("Top", 1);
    EXPECT_FALSE(fs::exists(file_));
    reg.CloseKey();
    ASSERT_TRUE(fs::exists(file_));
    ASSERT_TRUE(reg.OpenKey(kSettingsKey, false));
    reg.WriteInteger("Top", 2);
    Reload();  // drops the change that was never saved
    EXPECT_EQ(reg.ReadInteger("Top"), 1);
}

TEST_F(Registry, SavingIsAtomicAndLeavesNoTemporaryFiles)
{
    for (int round = 0; round < 5; ++round) {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kSettingsKey, true));
        reg.WriteInteger("Round", round);
        reg.CloseKey();
    }
    EXPECT_EQ(FilesIn(dir_.Path()), std::vector<std::string>{"registry.txt"});
    struct stat st {};
    ASSERT_EQ(::stat(file_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);  // settings hold passwords
    // An existing file's permissions are kept.
    ASSERT_EQ(::chmod(file_.c_str(), 0640), 0);
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kSettingsKey, true));
        reg.WriteInteger("Round", 99);
    }
    ASSERT_EQ(::stat(file_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(FilesIn(dir_.Path()), std::vector<std::string>{"registry.txt"});
}

TEST_F(Registry, SaveFailureRaisesAtCloseKeyAndNotInTheDestructor)
{
    const std::string blocker = dir_.File("not-a-folder");
    WriteAll(blocker, "x");
    platform::SetRegistryFile(blocker + "/registry.txt");
    auto reg = std::make_unique<TRegistry>();
    ASSERT_TRUE(reg->OpenKey(kSettingsKey, true));
    reg->WriteInteger("Top", 1);
    try {
        reg->CloseKey();
        FAIL() << "no exception";
    } catch (const ERegistryException& e) {
        EXPECT_NE(std::string(e.what()).find("not-a-folder"), std::string::npos) << e.what();
    }
    // A reader that made no changes is not blamed for the failed save.
    TRegistry reader(KEY_READ);
    ASSERT_TRUE(reader.OpenKeyReadOnly(kSettingsKey));
    EXPECT_NO_THROW(reader.CloseKey());
    // The change is still in memory, and the destructor swallows the error.
    ASSERT_TRUE(reg->OpenKey(kSettingsKey, false));
    EXPECT_EQ(reg->ReadInteger("Top"), 1);
    testing::internal::CaptureStderr();
    EXPECT_NO_THROW(reg.reset());
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("not saved"), std::string::npos) << err;
    EXPECT_EQ(ReadAll(blocker), "x");
}

TEST_F(Registry, DamagedFileIsKeptAndWhatParsesIsLoaded)
{
    using namespace std::string_literals;
    const std::string data =
        "; a comment\n"
        "\"Orphan\"=dword:00000001\n"                        // a value before any key
        "[HKEY_CURRENT_USER\\Software\\Good]\n"
        "\"Top\"=dword:0000000a\n"
        "\"Name\"=\"text with \\\"quotes\\\"\"\r\n"         // CRLF is accepted
        "\"Broken\"=\"no closing quote\n"
        "\"BadHex\"=dword:xyz\n"
        "\"TooLong\"=dword:123456789\n"
        "\"Bin\"=\"nul\0byte\"\n"
        "garbage line\n"
        "[HKEY_NOWHERE\\Software\\Lost]\n"                   // an unknown root
        "\"LostValue\"=dword:00000002\n"
        "[HKEY_CURRENT_USER\\Software\\Good\\Sub]\n"
        "\"Left\"=dword:ffffffff\n"
        "\"Half\"=\"trunc"s;                                // cut off at the end
    ASSERT_NE(data.find('\0'), std::string::npos);
    WriteAll(file_, data);

    testing::internal::CaptureStderr();
    Reload();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("damaged"), std::string::npos) << err;
    EXPECT_NE(err.find("registry.txt.damaged"), std::string::npos) << err;
    ASSERT_TRUE(fs::exists(file_ + ".damaged"));
    EXPECT_EQ(ReadAll(file_ + ".damaged"), data);

    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("\\Software\\Good", false));
        EXPECT_EQ(reg.ReadInteger("Top"), 10);
        EXPECT_EQ(reg.ReadString("Name"), "text with \"quotes\"");
        EXPECT_FALSE(reg.ValueExists("Broken"));
        EXPECT_FALSE(reg.ValueExists("Bin"));
        ASSERT_TRUE(reg.OpenKey("Sub", false));
        EXPECT_EQ(reg.ReadInteger("Left"), -1);
        EXPECT_FALSE(reg.ValueExists("Half"));
        reg.WriteInteger("New", 5);
        reg.CloseKey();  // overwrites the store; the copy stays
    }
    EXPECT_EQ(ReadAll(file_ + ".damaged"), data);
    Reload();
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("\\Software\\Good\\Sub", false));
        EXPECT_EQ(reg.ReadInteger("New"), 5);
        EXPECT_EQ(reg.ReadInteger("Left"), -1);
    }

    // A second damaged file does not replace the first copy.
    WriteAll(file_, "[HKEY_CURRENT_USER\\X]\nnonsense\n");
    testing::internal::CaptureStderr();
    Reload();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(ReadAll(file_ + ".damaged"), data);
    EXPECT_EQ(ReadAll(file_ + ".damaged.1"), "[HKEY_CURRENT_USER\\X]\nnonsense\n");
    TRegistry reg;
    EXPECT_TRUE(reg.KeyExists("\\X"));
}

TEST_F(Registry, BinaryGarbageDoesNotCrash)
{
    std::string junk;
    for (int i = 0; i < 200000; ++i)
        junk += static_cast<char>((i * 7919) % 256);
    junk += std::string(100000, '[');  // a very long line
    WriteAll(file_, junk);
    testing::internal::CaptureStderr();
    Reload();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("damaged"), std::string::npos);
    EXPECT_EQ(ReadAll(file_ + ".damaged"), junk);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kSettingsKey, true));
    reg.WriteInteger("Fine", 1);
    EXPECT_NO_THROW(reg.CloseKey());
}

namespace {

// What stands where the store's file should be. A folder cannot be read (as
// root, permission bits alone would not stop us); a FIFO, a device or a
// socket must not be waited on or read without end.
enum class Unreadable { Folder, Fifo, Device, Socket };

class RegistryUnreadableStore : public Registry, public ::testing::WithParamInterface<Unreadable> {};

}  // namespace

TEST_P(RegistryUnreadableStore, IsNeverWaitedOnNorOverwritten)
{
    if (GetParam() == Unreadable::Folder) {
        ASSERT_TRUE(fs::create_directory(file_));
        WriteAll(file_ + "/inside", "keep");
    } else {
        ASSERT_TRUE(MakeSpecialFile(file_, SpecialFile(int(GetParam()) - 1)));
    }
    const fs::file_type type = fs::symlink_status(file_).type();
    HangGuard guard(60);
    testing::internal::CaptureStderr();
    Reload();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("cannot be read"), std::string::npos) << err;

    auto reg = std::make_unique<TRegistry>();
    ASSERT_TRUE(reg->OpenKey(kSettingsKey, true));  // starts empty
    EXPECT_FALSE(reg->ValueExists("Top"));
    reg->WriteInteger("Top", 1);
    try {
        reg->CloseKey();
        FAIL() << "no exception";
    } catch (const ERegistryException& e) {
        EXPECT_NE(std::string(e.what()).find("could not be read"), std::string::npos) << e.what();
    }
    testing::internal::CaptureStderr();
    reg.reset();  // tries once more, and warns instead of throwing
    err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("not saved"), std::string::npos) << err;
    EXPECT_EQ(fs::symlink_status(file_).type(), type);
    if (GetParam() == Unreadable::Folder) {
        EXPECT_EQ(ReadAll(file_ + "/inside"), "keep");
    }
    EXPECT_EQ(FilesIn(dir_.Path()), std::vector<std::string>{"registry.txt"});
}

INSTANTIATE_TEST_SUITE_P(Table, RegistryUnreadableStore,
                         ::testing::Values(Unreadable::Folder, Unreadable::Fifo, Unreadable::Device,
                                           Unreadable::Socket),
                         [](const auto& p) {
                             return p.param == Unreadable::Folder ? std::string("Folder")
                                                                  : SpecialFileName(SpecialFile(int(p.param) - 1));
                         });

TEST_F(Registry, DefaultLocationFollowsXdgConfigHome)
{
    struct EnvGuard {
        std::optional<std::string> old;
        EnvGuard()
        {
            if (const char* v = std::getenv("XDG_CONFIG_HOME"))
                old = v;
        }
        ~EnvGuard()
        {
            if (old)
                setenv("XDG_CONFIG_HOME", old->c_str(), 1);
            else
                unsetenv("XDG_CONFIG_HOME");
        }
    } guard;
    const std::string config = dir_.File("config-home");
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    platform::SetRegistryFile("");  // back to the default location
    const std::string expected = config + "/kvt-config-tool/registry.txt";
    EXPECT_EQ(platform::RegistryFile(), expected);
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kSettingsKey, true));
        reg.WriteInteger("Top", 3);
    }  // the folders are created when the file is first written
    EXPECT_TRUE(fs::exists(expected));
    platform::SetRegistryFile(file_);
    EXPECT_EQ(platform::RegistryFile(), file_);
}

// ------------------------------------------------------------ store file lines

namespace {

// A key path `levels` deep below HKEY_CURRENT_USER ("L1\L2\...").
std::string DeepPath(int levels)
{
    std::string path;
    for (int i = 1; i <= levels; ++i)
        path += (i > 1 ? "\\L" : "L") + std::to_string(i);
    return path;
}

struct StoreCase {
    const char* name;
    std::string content;
    std::string key;  // where "X" is looked for
    bool damaged;
    bool found;
};

void PrintTo(const StoreCase& c, std::ostream* os)
{
    *os << c.name;
}

const StoreCase kStoreCases[] = {
    {"Integer", "[HKEY_CURRENT_USER\\K]\n\"X\"=dword:00000001\n", "K", false, true},
    {"EmptyText", "[HKEY_CURRENT_USER\\K]\n\"X\"=\"\"\n", "K", false, true},
    {"EmptyInteger", "[HKEY_CURRENT_USER\\K]\n\"X\"=dword:\n", "K", true, false},
    {"IntegerOfEightDigits", "[HKEY_CURRENT_USER\\K]\n\"X\"=dword:ffffffff\n", "K", false, true},
    {"IntegerOfNineDigits", "[HKEY_CURRENT_USER\\K]\n\"X\"=dword:000000001\n", "K", true, false},
    {"NothingAfterEquals", "[HKEY_CURRENT_USER\\K]\n\"X\"=\n", "K", true, false},
    {"UnknownType", "[HKEY_CURRENT_USER\\K]\n\"X\"=qword:1\n", "K", true, false},
    {"ByteOrderMarkSkipped", "\xEF\xBB\xBF[HKEY_CURRENT_USER\\K]\n\"X\"=dword:00000001\n", "K", false, true},
    {"ByteOrderMarkOnlyAtTheStart", "[HKEY_CURRENT_USER\\K]\n\xEF\xBB\xBF\"X\"=dword:00000001\n", "K", true,
     false},
    {"DeepestKey", "[HKEY_CURRENT_USER\\" + DeepPath(32) + "]\n\"X\"=dword:00000001\n", DeepPath(32), false,
     true},
    {"KeyTooDeep", "[HKEY_CURRENT_USER\\" + DeepPath(33) + "]\n\"X\"=dword:00000001\n", DeepPath(33), true,
     false},
    {"ThousandsOfLevels", "[HKEY_CURRENT_USER\\" + DeepPath(5000) + "]\n\"X\"=dword:00000001\n",
     DeepPath(5000), true, false},
};

class RegistryStoreLine : public Registry, public ::testing::WithParamInterface<StoreCase> {};

}  // namespace

TEST_P(RegistryStoreLine, IsReadOrKeptAsideAsDamaged)
{
    WriteAll(file_, GetParam().content);
    testing::internal::CaptureStderr();
    Reload();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("damaged") != std::string::npos, GetParam().damaged) << err;
    EXPECT_EQ(fs::exists(file_ + ".damaged"), GetParam().damaged);
    TRegistry reg;
    reg.SetRootKey(HKEY_CURRENT_USER);
    EXPECT_EQ(reg.OpenKeyReadOnly("\\" + GetParam().key) && reg.ValueExists("X"), GetParam().found);
}

INSTANTIATE_TEST_SUITE_P(Table, RegistryStoreLine, ::testing::ValuesIn(kStoreCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(Registry, KeysDeeperThan32LevelsCannotBeMade)
{
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey("\\" + DeepPath(33), true));
    ASSERT_TRUE(reg.OpenKey("\\" + DeepPath(31), true));
    EXPECT_FALSE(reg.OpenKey("A\\B", true));  // relative: 33 levels too
    ASSERT_TRUE(reg.OpenKey("A", true));
    EXPECT_EQ(reg.CurrentPath(), DeepPath(31) + "\\A");
}

TEST_F(Registry, SavedKeysKeepTheirOrderAndOnlyKeysWithValuesOrNoSubkeysGetAHeader)
{
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("\\A\\B", true));
        ASSERT_TRUE(reg.OpenKey("\\D", true));
        ASSERT_TRUE(reg.OpenKey("\\A\\C", true));
        reg.WriteInteger("X", 1);
        ASSERT_TRUE(reg.OpenKey("\\" + DeepPath(32), true));
        reg.WriteInteger("X", 2);
        reg.CloseKey();
    }
    const std::string data = ReadAll(file_);
    size_t headers = 0;
    for (size_t at = data.find("\n["); at != std::string::npos; at = data.find("\n[", at + 1))
        ++headers;
    EXPECT_EQ(headers, 4u) << data;  // A\B, D, A\C, L1\..\L32
    EXPECT_EQ(data.find("[HKEY_CURRENT_USER\\A]"), std::string::npos) << data;
    EXPECT_LT(data.size(), 1000u) << data;

    Reload();
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\", false));
    EXPECT_EQ(reg.GetKeyNames(), (std::vector<std::string>{"A", "D", "L1"}));
    ASSERT_TRUE(reg.OpenKey("A", false));
    EXPECT_EQ(reg.GetKeyNames(), (std::vector<std::string>{"B", "C"}));
    ASSERT_TRUE(reg.OpenKey("\\" + DeepPath(32), false));
    EXPECT_EQ(reg.ReadInteger("X"), 2);
}

TEST_F(Registry, ManyValuesInOneKeyStayFoundAfterDeletes)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kSettingsKey, true));
    for (int i = 0; i < 1000; ++i)
        reg.WriteInteger("V" + std::to_string(i), i);
    for (int i = 0; i < 1000; i += 3)
        ASSERT_TRUE(reg.DeleteValue("v" + std::to_string(i)));
    reg.WriteInteger("V0", -1);  // comes back last
    for (int i = 1; i < 1000; ++i) {
        if (i % 3 == 0)
            continue;
        ASSERT_EQ(reg.ReadInteger("V" + std::to_string(i)), i) << i;
    }
    EXPECT_EQ(reg.GetValueNames().size(), 1000u - 334u + 1u);
    EXPECT_EQ(reg.GetValueNames().back(), "V0");
    EXPECT_EQ(reg.ReadInteger("V0"), -1);
    EXPECT_FALSE(reg.ValueExists("V3"));
}
