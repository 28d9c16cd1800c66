#pragma once
// Whole files: reading one to its end, and replacing one so that a crash or a
// full disk never leaves it half-written: the bytes go to a temporary file in
// the same folder, which is synced and then renamed over the old file, and
// the folder is synced so the rename itself lasts.
#include <string>

#include <sys/types.h>

namespace platform {

struct AtomicWriteOptions {
    // Permissions of a file that did not exist yet (before the umask). An
    // existing regular file always keeps its own permissions.
    mode_t newFileMode = 0666;
    // Replace the target of a symbolic link, so that the link stays.
    bool followSymlink = false;
    // Keep the old file's owner and group where the system allows it.
    bool keepOwner = false;
    // Fail when the old file's permissions cannot be given to the new one.
    bool permissionsRequired = false;
};

// The step that failed; None when the file was written.
enum class AtomicWriteStep { None, CreateTemporary, KeepPermissions, Write, Sync, Close, Replace };

struct AtomicWriteError {
    AtomicWriteStep step = AtomicWriteStep::None;
    int error = 0;  // the errno of the failing call

    explicit operator bool() const { return step != AtomicWriteStep::None; }
    // "writing", "fsync", "closing", ... for the callers' own messages.
    const char* StepText() const;
};

// The calls that make the replacement last, in the order fsync(file),
// rename, fsync(folder). A test installs its own to watch that order or to
// make one fail; a null entry is the system's call.
struct AtomicFileCalls {
    int (*fsync)(int fd) = nullptr;
    int (*rename)(const char* from, const char* to) = nullptr;
};
// Installs `calls` for every later write; returns the calls installed before.
AtomicFileCalls SetAtomicFileCalls(const AtomicFileCalls& calls);

// Appends what is left to read from `fd` to `bytes`; 0, or the errno of the
// read that failed.
int ReadToEnd(int fd, std::string& bytes);

// Reads the whole regular file `path` (through a symbolic link) into `bytes`;
// 0, or an errno: ENOENT for none, EISDIR for a folder and EINVAL for any
// other kind of file (a FIFO, a device, a socket). Such a file is refused
// without being opened, so that nothing waits for a writer to a FIFO, reads
// a device without end or wakes a device up; a file swapped for one between
// that look and the open is opened without waiting and refused too.
int ReadRegularFile(const std::string& path, std::string& bytes);

// Writes `bytes` as the new content of `path`. On failure the old file is
// untouched and no temporary file is left behind. The content is written to
// a file without a name in the same folder (where the file system has them),
// which is named `path` + ".tmp-" + 8 hex digits only for the moment before
// the rename, so a write killed on the way leaves at most that rare one;
// temporary files of `path` left by killed writes are removed first. The
// temporary file is locked (flock) while it is ours.
[[nodiscard]] AtomicWriteError WriteFileAtomically(const std::string& path, const std::string& bytes,
                                                   const AtomicWriteOptions& options = {});

// Removes the temporary files of `path` that a write killed before its
// rename left behind; one that a running write still holds locked stays.
// Returns how many were removed.
size_t RemoveLeftTemporaries(const std::string& path);

}  // namespace platform
