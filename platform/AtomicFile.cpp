#include "platform/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {
AtomicFileCalls calls;

int Fsync(int fd)
{
    return calls.fsync ? calls.fsync(fd) : ::fsync(fd);
}

int Rename(const char* from, const char* to)
{
    return calls.rename ? calls.rename(from, to) : ::rename(from, to);
}
}  // namespace

AtomicFileCalls SetAtomicFileCalls(const AtomicFileCalls& replacement)
{
    const AtomicFileCalls before = calls;
    calls = replacement;
    return before;
}

const char* AtomicWriteError::StepText() const
{
    switch (step) {
    case AtomicWriteStep::None:
        return "";
    case AtomicWriteStep::CreateTemporary:
        return "creating a temporary file";
    case AtomicWriteStep::KeepPermissions:
        return "keeping its permissions";
    case AtomicWriteStep::Write:
        return "writing";
    case AtomicWriteStep::Sync:
        return "fsync";
    case AtomicWriteStep::Close:
        return "closing";
    case AtomicWriteStep::Replace:
        return "replacing the file";
    }
    return "";
}

int ReadToEnd(int fd, std::string& bytes)
{
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0)
            bytes.append(buf, static_cast<size_t>(n));
        else if (n == 0)
            return 0;
        else if (errno != EINTR)
            return errno;
    }
}

namespace {
int NotRegular(const struct stat& st)
{
    return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
}
}  // namespace

int ReadRegularFile(const std::string& path, std::string& bytes)
{
    bytes.clear();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno;
    if (!S_ISREG(st.st_mode))
        return NotRegular(st);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENXIO ? EINVAL : errno;  // ENXIO: a socket by now
    int err = 0;
    if (::fstat(fd, &st) != 0)
        err = errno;
    else if (!S_ISREG(st.st_mode))
        err = NotRegular(st);
    else
        err = ReadToEnd(fd, bytes);
    ::close(fd);
    if (err != 0)
        bytes.clear();
    return err;
}

AtomicWriteError WriteFileAtomically(const std::string& path, const std::string& bytes,
                                     const AtomicWriteOptions& options)
{
    namespace fs = std::filesystem;
    std::string target = path;
    if (options.followSymlink) {
        std::error_code ec;
        if (fs::is_symlink(fs::symlink_status(path, ec))) {
            fs::path resolved = fs::weakly_canonical(fs::path(path), ec);
            if (!ec)
                target = resolved.string();
        }
    }
    struct stat st {};
    const bool keepMode = ::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode);

    const fs::path dir = fs::path(target).parent_path();
    const std::string folder = dir.empty() ? "." : dir.string();
    // A write killed before its rename left its temporary file: away with it.
    RemoveLeftTemporaries(target);

    std::random_device rd;
    auto temporaryName = [&] {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".tmp-%08x", static_cast<unsigned>(rd()));
        return target + suffix;
    };
    // The new content goes to a file without a name where the system has
    // them: a write killed before the end then leaves nothing behind. It
    // gets its temporary name only for the moment before the rename.
    std::string tmp;
    int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, options.newFileMode);
    const bool unnamed = fd >= 0;
    if (unnamed)
        (void)::flock(fd, LOCK_EX);  // see below
    for (int i = 0; !unnamed && i < 100; ++i) {
        tmp = temporaryName();
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, options.newFileMode);
        if (fd < 0) {
            if (errno != EEXIST)
                break;
            continue;
        }
        // Locked while it is ours, so that another program's clean-up of
        // left temporaries passes it by. Removed by such a clean-up in the
        // moment before the lock: take another name.
        (void)::flock(fd, LOCK_EX);  // a file system without locks: unlocked
        struct stat own {};
        if (::fstat(fd, &own) != 0 || own.st_nlink > 0)
            break;
        ::close(fd);
        fd = -1;
        errno = EEXIST;
    }
    if (fd < 0)
        return {AtomicWriteStep::CreateTemporary, errno};

    auto fail = [&](AtomicWriteStep step, int err) {
        if (fd >= 0)
            ::close(fd);
        if (!tmp.empty())
            ::unlink(tmp.c_str());
        return AtomicWriteError{step, err};
    };
    if (keepMode) {
        if (options.keepOwner && ::fchown(fd, st.st_uid, st.st_gid) != 0) {
            // Not allowed for an ordinary user: the file becomes theirs.
        }
        if (::fchmod(fd, st.st_mode & 07777) != 0 && options.permissionsRequired)
            return fail(AtomicWriteStep::KeepPermissions, errno);
    }
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(AtomicWriteStep::Write, n < 0 ? errno : EIO);
        done += static_cast<size_t>(n);
    }
    if (Fsync(fd) != 0)
        return fail(AtomicWriteStep::Sync, errno);
    if (unnamed) {
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        for (int i = 0; i < 100; ++i) {
            std::string name = temporaryName();
            // Without /proc, the call that needs the right to read any file.
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
                (errno == ENOENT && ::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0)) {
                tmp = std::move(name);
                break;
            }
            if (errno != EEXIST)
                return fail(AtomicWriteStep::CreateTemporary, errno);
        }
        if (tmp.empty())
            return fail(AtomicWriteStep::CreateTemporary, EEXIST);
    }
    // Closed after the rename when it has no name of its own before: its
    // lock keeps a clean-up away from the named moment.
    if (!unnamed) {
        const int closeRc = ::close(fd);
        fd = -1;
        if (closeRc != 0)
            return fail(AtomicWriteStep::Close, errno);
    }
    if (Rename(tmp.c_str(), target.c_str()) != 0)
        return fail(AtomicWriteStep::Replace, errno);
    if (fd >= 0)
        ::close(fd);  // its data is synced: nothing is left to fail
    // Make the rename itself durable.
    int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        (void)Fsync(dfd);
        ::close(dfd);
    }
    return {};
}

size_t RemoveLeftTemporaries(const std::string& path)
{
    namespace fs = std::filesystem;
    const fs::path target(path);
    const std::string prefix = target.filename().string() + ".tmp-";
    const fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec)
        return 0;
    size_t removed = 0;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        const std::string name = it->path().filename().string();
        if (name.size() != prefix.size() + 8 || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        if (name.find_first_not_of("0123456789abcdef", prefix.size()) != std::string::npos)
            continue;
        const int fd = ::open(it->path().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            continue;
        struct stat st {};
        // A writer that still runs holds its lock; a killed one let it go.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::unlink(it->path().c_str()) == 0)
            ++removed;
        ::close(fd);
    }
    return removed;
}

}  // namespace platform
