// A save of the registry store reaches the disk whole: one write for a batch
// of keys, nothing of a batch that failed half-way, the old or the new file
// after a process killed at any moment of its save, and the temporary files
// of a killed save removed at the next start.
#include "platform/AtomicFile.h"
#include "platform/Registry.h"
#include "support/FileBytes.h"
#include "support/SettingsKey.h"
#include "support/TempDir.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Leftovers(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().find(".tmp-") != std::string::npos ||
            entry.path().filename().string().find(".damaged") != std::string::npos)
            names.push_back(entry.path().filename().string());
    return names;
}

// A save as the program's: values in the key and in the port's subkey, each
// key closed on its own, all in one batch.
void Save(int version, int values = 60)
{
    platform::RegistryWriteBatch batch;
    TRegistry key;
    key.OpenKey(kSettingsKey, true);
    for (int i = 0; i < values; ++i)
        key.WriteInteger("Value " + std::to_string(i), version);
    key.WriteString("Text", "version " + std::to_string(version));
    {
        TRegistry port;
        port.OpenKey(std::string(kSettingsKey) + "\\portVigilator", true);
        port.WriteString("Port", "tty" + std::to_string(version));
        port.CloseKey();
    }
    key.CloseKey();
    batch.Commit();
}

// The version every value of the stored key holds; -1 when they differ.
int StoredVersion()
{
    TRegistry key(KEY_READ);
    if (!key.OpenKeyReadOnly(kSettingsKey))
        return -1;
    const int version = key.ReadInteger("Value 0");
    for (const std::string& name : key.GetValueNames())
        if (name.rfind("Value ", 0) == 0 && key.ReadInteger(name) != version)
            return -1;
    if (key.ReadString("Text") != "version " + std::to_string(version))
        return -1;
    TRegistry port(KEY_READ);
    if (!port.OpenKeyReadOnly(std::string(kSettingsKey) + "\\portVigilator") ||
        port.ReadString("Port") != "tty" + std::to_string(version))
        return -1;
    return version;
}

int calls = 0;
int CountRename(const char* from, const char* to)
{
    ++calls;
    return ::rename(from, to);
}

class RegistrySave : public ::testing::Test {
protected:
    void SetUp() override
    {
        file_ = dir_.File("registry.txt");
        platform::SetRegistryFile(file_);
        Save(1);
        calls = 0;
        before_ = platform::SetAtomicFileCalls({nullptr, CountRename});
    }
    void TearDown() override { platform::SetAtomicFileCalls(before_); }
    void Reload() { platform::SetRegistryFile(file_); }

    TempDir dir_;
    std::string file_;
    platform::AtomicFileCalls before_;
};

}  // namespace

TEST_F(RegistrySave, ABatchWritesItsKeysOnceAtCommit)
{
    {
        platform::RegistryWriteBatch outer;
        {
            platform::RegistryWriteBatch inner;
            Save(2);
            inner.Commit();
        }
        EXPECT_EQ(calls, 0) << "closing keys and inner batches write nothing";
        EXPECT_EQ(StoredVersion(), 2) << "in memory";
        outer.Commit();
    }
    EXPECT_EQ(calls, 1);
    Reload();
    EXPECT_EQ(StoredVersion(), 2);
}

TEST_F(RegistrySave, ABatchEndedWithoutCommitDropsItsChanges)
{
    const std::string old = ReadAll(file_);
    {
        platform::RegistryWriteBatch batch;
        TRegistry key;
        key.OpenKey(kSettingsKey, true);
        key.WriteInteger("Value 0", 7); // and then the save fails
        key.CloseKey();
    }
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(StoredVersion(), 1) << "the tree is back as it was";
    {
        TRegistry other; // a later, unrelated write puts no half save on disk
        other.OpenKey("\\Software\\Other", true);
        other.WriteInteger("x", 1);
    }
    EXPECT_EQ(calls, 1);
    Reload();
    EXPECT_EQ(StoredVersion(), 1);
    EXPECT_NE(ReadAll(file_), old);
}

TEST_F(RegistrySave, ABatchBegunBeforeTheStoreMovedNeitherWritesNorRollsBackTheNewFile)
{
    const std::string old = ReadAll(file_);
    const std::string other = dir_.File("other.txt");
    auto write = [](const std::string& key, const std::string& name) {
        TRegistry reg;
        reg.OpenKey(key, true);
        reg.WriteInteger(name, 2);
    };
    auto stored = [&](const std::string& name) {
        platform::SetRegistryFile(other);
        TRegistry reg(KEY_READ);
        return reg.OpenKeyReadOnly("\\Software\\Other") && reg.ValueExists(name);
    };
    for (const bool commit : {true, false}) {
        WriteAll(other, "[HKEY_CURRENT_USER\\Software\\Other]\n\"x\"=dword:00000001\n");
        Reload();
        auto batch = std::make_unique<platform::RegistryWriteBatch>();
        write(kSettingsKey, "Value 0");  // in the old file's batch
        platform::SetRegistryFile(other);
        write("\\Software\\Other", "closed");  // written at once
        EXPECT_EQ(calls, 1) << commit;
        {
            platform::RegistryWriteBatch inner;  // a batch of the new file
            write("\\Software\\Other", "batched");
            inner.Commit();
        }
        EXPECT_EQ(calls, 2) << commit;
        {
            platform::RegistryWriteBatch pending;  // one still open when the old one ends
            write("\\Software\\Other", "pending");
            if (commit)
                batch->Commit();
            batch.reset();
            EXPECT_EQ(calls, 2) << commit;
            pending.Commit();
        }
        EXPECT_EQ(calls, 3) << commit;
        EXPECT_TRUE(stored("x") && stored("closed") && stored("batched") && stored("pending"))
            << commit << ": rolled back";
        EXPECT_FALSE(TRegistry(KEY_READ).KeyExists(kSettingsKey)) << commit;
        EXPECT_EQ(ReadAll(file_), old);
        calls = 0;
    }
}

TEST(RegistryTemporaries, OnlyTheUnlockedTemporariesOfTheStoreAreRemoved)
{
    TempDir dir;
    auto make = [&](const std::string& name) {
        std::ofstream(dir.File(name)) << "half a save";
        return dir.File(name);
    };
    make("registry.txt.tmp-0123abcd");
    const int held = ::open(make("registry.txt.tmp-89abcdef").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0) << "a save still running";
    make("registry.txt.tmp-notours");
    make("registry.txt.tmp-backup01");  // a user's file named like one
    make("other.txt.tmp-01234567");
    platform::SetRegistryFile(dir.File("registry.txt"));
    EXPECT_FALSE(fs::exists(dir.File("registry.txt.tmp-0123abcd")));
    EXPECT_TRUE(fs::exists(dir.File("registry.txt.tmp-89abcdef")));
    EXPECT_TRUE(fs::exists(dir.File("registry.txt.tmp-notours")));
    EXPECT_TRUE(fs::exists(dir.File("registry.txt.tmp-backup01")));
    EXPECT_TRUE(fs::exists(dir.File("other.txt.tmp-01234567")));
    ::close(held);
}

// ---------------------------------------------------------------- killed saves

namespace {

int signalFd = -1;

// Tells the parent where the child stands, then waits to be killed.
void StopHere()
{
    const char byte = 1;
    (void)!::write(signalFd, &byte, 1);
    for (;;)
        ::pause();
}
int FsyncThenStop(int)
{
    StopHere();
    return 0;
}
int RenameThenStop(const char* from, const char* to)
{
    const int rc = ::rename(from, to);
    StopHere();
    return rc;
}

// Runs `save` in a child process on the store file and kills it once it
// reports (or, with no report, after `delayUs`).
void KillDuringSave(const std::string& file, const platform::AtomicFileCalls& hooks, int version, int delayUs = -1)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(fds[0]);
        signalFd = fds[1];
        platform::SetRegistryFile(file);
        platform::SetAtomicFileCalls(hooks);
        try {
            for (int v = version;; ++v)
                Save(v);
        } catch (...) {
        }
        ::_exit(1);
    }
    ::close(fds[1]);
    if (delayUs < 0) {
        char byte;
        EXPECT_EQ(::read(fds[0], &byte, 1), 1);
    } else {
        ::usleep(useconds_t(delayUs));
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(fds[0]);
}

}  // namespace

TEST_F(RegistrySave, AKillBeforeTheRenameLeavesTheOldSettingsAndNoTemporary)
{
    KillDuringSave(file_, {FsyncThenStop, nullptr}, 2);
    EXPECT_TRUE(Leftovers(dir_.Path()).empty()) << "the content had no name yet";
    Reload(); // the next start
    EXPECT_EQ(StoredVersion(), 1);
    EXPECT_TRUE(Leftovers(dir_.Path()).empty());
}

TEST_F(RegistrySave, AKillAfterTheRenameLeavesTheNewSettings)
{
    KillDuringSave(file_, {nullptr, RenameThenStop}, 2);
    Reload();
    EXPECT_EQ(StoredVersion(), 2);
    EXPECT_TRUE(Leftovers(dir_.Path()).empty());
}

TEST_F(RegistrySave, AKillAtAnyMomentLeavesOneWholeSave)
{
    std::mt19937 random(12345);
    int version = 2;
    for (int round = 0; round < 25; ++round) {
        KillDuringSave(file_, {}, version, int(random() % 4000));
        version += 1000;
        Reload();
        EXPECT_GE(StoredVersion(), 1) << "round " << round << ": values of different saves";
        EXPECT_TRUE(Leftovers(dir_.Path()).empty()) << "round " << round;
    }
}
