// Tests of replacing a file atomically (platform/AtomicFile.h), through the
// seam that lets a test watch and fail the fsync and rename calls.
#include "platform/AtomicFile.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

// What the calls saw, in order; the failing call, if any.
std::vector<std::string> seen;
std::string failing;

int WatchFsync(int fd)
{
    struct stat st {};
    ::fstat(fd, &st);
    seen.push_back(S_ISDIR(st.st_mode) ? "fsync folder"
                                       : "fsync file of " + std::to_string(st.st_size) + " bytes");
    if (failing == "fsync" && !S_ISDIR(st.st_mode)) {
        errno = EIO;
        return -1;
    }
    return ::fsync(fd);
}

int WatchRename(const char* from, const char* to)
{
    seen.push_back("rename");
    if (failing == "rename") {
        errno = EXDEV;
        return -1;
    }
    return ::rename(from, to);
}

class AtomicFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        seen.clear();
        failing.clear();
        before_ = platform::SetAtomicFileCalls({WatchFsync, WatchRename});
        file_ = dir_.File("settings.txt");
        WriteAll(file_, "old");
    }
    void TearDown() override { platform::SetAtomicFileCalls(before_); }

    platform::AtomicFileCalls before_;
    TempDir dir_;
    std::string file_;
};

}  // namespace

TEST_F(AtomicFile, TheWholeFileIsSyncedBeforeTheRenameAndTheFolderAfter)
{
    ASSERT_FALSE(platform::WriteFileAtomically(file_, "fresh"));
    EXPECT_EQ(seen, (std::vector<std::string>{"fsync file of 5 bytes", "rename", "fsync folder"}));
    EXPECT_EQ(ReadAll(file_), "fresh");
}

TEST_F(AtomicFile, RemovesWhatAKilledWriteOfTheFileLeftButNoLookAlike)
{
    const std::vector<std::string> kept = {"other.txt.tmp-0123abcd", "settings.txt.tmp-0123abc",
                                           "settings.txt.tmp-0123abcde", "settings.txt.tmp-backup01",
                                           "settings.txt.tmp-0123ABCD"};
    WriteAll(file_ + ".tmp-0123abcd", "half a write");
    for (const std::string& name : kept)
        WriteAll(dir_.File(name), "the user's");
    ASSERT_FALSE(platform::WriteFileAtomically(file_, "fresh"));
    std::vector<std::string> expected = kept;
    expected.push_back("settings.txt");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(FilesIn(dir_.Path()), expected);
    for (const std::string& name : kept)
        EXPECT_EQ(ReadAll(dir_.File(name)), "the user's") << name;
}

struct FailCase {
    const char* call;
    platform::AtomicWriteStep step;
    int error;
    std::vector<std::string> seen;  // no call after the failing one
};

class AtomicFileFailure : public AtomicFile, public ::testing::WithParamInterface<FailCase> {};

TEST_P(AtomicFileFailure, LeavesTheOldFileAndNoTemporary)
{
    failing = GetParam().call;
    const platform::AtomicWriteError error = platform::WriteFileAtomically(file_, "fresh");
    EXPECT_EQ(error.step, GetParam().step);
    EXPECT_EQ(error.error, GetParam().error);
    EXPECT_EQ(seen, GetParam().seen);
    EXPECT_EQ(ReadAll(file_), "old");
    EXPECT_EQ(FilesIn(dir_.Path()), std::vector<std::string>{"settings.txt"});
}

INSTANTIATE_TEST_SUITE_P(
    Table, AtomicFileFailure,
    ::testing::Values(FailCase{"fsync", platform::AtomicWriteStep::Sync, EIO, {"fsync file of 5 bytes"}},
                      FailCase{"rename", platform::AtomicWriteStep::Replace, EXDEV,
                               {"fsync file of 5 bytes", "rename"}}),
    [](const auto& p) { return std::string(p.param.call); });
