// The channel file on disk through the POSIX (and Linux) file calls.
#include "core/channelfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>

#include "core/errors.h"

namespace kivo {

namespace fs = std::filesystem;

std::string readChannelFile(const std::string& path) {
    // Not blocking on open, and only a plain file: a FIFO or a device named KIVO.ini
    // would otherwise hold start-up for ever or read without end.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw FileOpenError(path);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw FileOpenError(path);
    }
    FileText text(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {  // a folder, a vanished medium: unreadable all the same
            ::close(fd);
            throw FileOpenError(path);
        }
        if (n == 0 || !text.take(buf, static_cast<std::size_t>(n))) break;
    }
    ::close(fd);
    return text.finish();
}

namespace {

bool writeAll(int fd, const std::string& data) {
    std::size_t off = 0;
    while (off < data.size()) {
        ssize_t n = ::write(fd, data.data() + off, data.size() - off);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        off += static_cast<std::size_t>(n);
    }
    return true;
}

// Makes a rename or a new link itself durable.
void syncDirectory(const fs::path& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Creates the missing folders on the way, private to the user (a first Save into the
// config folder).
bool makeFolders(const fs::path& dir) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    fs::path parent = dir.parent_path();
    if (!parent.empty() && parent != dir && !makeFolders(parent)) return false;
    return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

// While it has a name, the new file is "<file>.tmp<pid>-<n>": the pid tells whether the
// Save that made it may still be running.
std::string temporaryName(const std::string& file, pid_t pid, int n) {
    return file + ".tmp" + std::to_string(pid) + "-" + std::to_string(n);
}

// The pid in a temporary name of `file`'s, or 0 when `name` is none.
pid_t temporaryOwner(std::string_view name, const std::string& file) {
    const std::string prefix = file + ".tmp";
    if (name.substr(0, prefix.size()) != prefix) return 0;
    name.remove_prefix(prefix.size());
    const std::size_t dash = name.find('-');
    auto digits = [](std::string_view s) {
        return !s.empty() && s.size() <= 9 &&
               s.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if (dash == std::string_view::npos || !digits(name.substr(0, dash)) ||
        !digits(name.substr(dash + 1)))
        return 0;
    return static_cast<pid_t>(std::stol(std::string(name.substr(0, dash))));
}

// A Save killed while its file had a name left that file behind: remove those of
// processes that no longer exist.
void removeDeadTemporaries(const fs::path& dir, const std::string& file) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    while (const dirent* e = ::readdir(d)) {
        pid_t pid = temporaryOwner(e->d_name, file);
        if (pid <= 0 || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
        struct stat st {};
        if (::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            ::unlinkat(::dirfd(d), e->d_name, 0);
    }
    ::closedir(d);
}

// Gives the unnamed file `fd` the name `name`.
bool linkUnnamed(int fd, const fs::path& name) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    if (errno == EEXIST) return false;
#ifdef AT_EMPTY_PATH
    // Without /proc, the call that needs the privilege to open by descriptor.
    return ::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0;
#else
    return false;
#endif
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    void reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    bool close() {
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

enum class Replaced { Done, NotSafe };

// Writes `data` to a new file in the target's folder and renames it over the target.
// Throws FileCreateError on failure with the target untouched; NotSafe, with nothing
// changed, when the new file could not get the old one's group.
Replaced replaceWhole(const std::string& shown, const fs::path& target, const struct stat* old,
                      const std::string& data, const std::function<void()>& beforeReplace,
                      bool unnamed = true) {
    const fs::path dir = target.parent_path();
    const std::string file = target.filename().string();
    removeDeadTemporaries(dir, file);

    fs::path named;  // empty while the new file has no name
#ifdef O_TMPFILE
    FileDescriptor fd(unnamed ? ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666) : -1);
#else
    FileDescriptor fd(-1);
#endif
    if (fd.get() < 0) {
        unnamed = false;
        for (int n = 0; n < 100 && fd.get() < 0; ++n) {
            named = dir / temporaryName(file, ::getpid(), n);
            fd.reset(::open(named.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
            if (fd.get() < 0 && errno != EEXIST) break;
        }
        if (fd.get() < 0) throw FileCreateError(shown);
    }
    auto fail = [&] {
        if (!named.empty()) ::unlink(named.c_str());
        throw FileCreateError(shown);
    };

    if (old) {
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0) fail();
        // The group first: changing it may clear the set-id bits the mode brings back.
        if (st.st_gid != old->st_gid &&
            ::fchown(fd.get(), static_cast<uid_t>(-1), old->st_gid) != 0) {
            if (!named.empty()) ::unlink(named.c_str());
            return Replaced::NotSafe;
        }
        if (::fchmod(fd.get(), old->st_mode & 07777) != 0) fail();
    }
    if (!writeAll(fd.get(), data) || ::fsync(fd.get()) != 0) fail();
    if (beforeReplace) beforeReplace();

    if (unnamed) {
        // A new file can take its name at once; an old one is replaced through a
        // temporary name, held only for the moment between link and rename.
        bool placed = !old && linkUnnamed(fd.get(), target);
        for (int n = 0; !placed && named.empty() && n < 100; ++n) {
            fs::path candidate = dir / temporaryName(file, ::getpid(), n);
            if (linkUnnamed(fd.get(), candidate))
                named = candidate;
            else if (errno != EEXIST)
                break;
        }
        if (placed) {
            if (!fd.close()) throw FileCreateError(shown);
            syncDirectory(dir);
            return Replaced::Done;
        }
        // No way to name it here: start again with a named file.
        if (named.empty()) return replaceWhole(shown, target, old, data, {}, false);
    }
    if (!fd.close() || ::rename(named.c_str(), target.c_str()) != 0) fail();
    syncDirectory(dir);
    return Replaced::Done;
}

// Truncates the target and writes `data` into it: the file keeps its inode, owner, group,
// mode and other links.
void writeInPlace(const std::string& shown, const fs::path& target, const std::string& data,
                  const std::function<void()>& beforeReplace) {
    // Not blocking: a FIFO put in the file's place must not hold the window.
    FileDescriptor fd(::open(target.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        throw FileCreateError(shown);
    if (beforeReplace) beforeReplace();
    if (::ftruncate(fd.get(), 0) != 0 || !writeAll(fd.get(), data) || ::fsync(fd.get()) != 0 ||
        !fd.close())
        throw FileCreateError(shown);
}

}  // namespace

void saveChannelText(const std::string& path, const std::string& data,
                     const std::function<void()>& beforeReplace) {
    // A link to the channel file stays a link: write the file it points to.
    fs::path target(path);
    std::error_code ec;
    if (fs::is_symlink(target, ec)) {
        fs::path resolved = fs::weakly_canonical(target, ec);
        if (!ec) target = resolved;
    }
    if (target.parent_path().empty()) target = fs::path(".") / target;
    const fs::path dir = target.parent_path();
    if (!makeFolders(dir)) throw FileCreateError(path);

    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    // Only a plain file is written: not a folder, a FIFO or a device.
    if (exists && !S_ISREG(old.st_mode)) throw FileCreateError(path);
    // A file the user may not write stays as it is, even where the folder would let a
    // rename pass over it.
    if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        throw FileCreateError(path);

    const bool folderWritable = ::faccessat(AT_FDCWD, dir.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
    const bool safeToReplace =
        folderWritable && (!exists || (old.st_nlink == 1 && old.st_uid == ::geteuid()));
    if (safeToReplace &&
        replaceWhole(path, target, exists ? &old : nullptr, data, beforeReplace) == Replaced::Done)
        return;
    writeInPlace(path, target, data, beforeReplace);
}

}  // namespace kivo
