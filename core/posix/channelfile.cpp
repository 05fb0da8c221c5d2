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
#include "core/savefiles.h"
#include "serial/posix/ports/portnames.h"

namespace kivo {

namespace fs = std::filesystem;

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

// A Save killed while its new file had a name left that file behind: remove those of
// processes that no longer exist. Only names this program makes, checked, and only the
// user's own plain files: a file that merely looks alike stays.
void removeDeadTemporaries(const fs::path& dir, const std::string& stem) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    while (const dirent* e = ::readdir(d)) {
        const auto pid = static_cast<pid_t>(temporaryOwner(e->d_name, stem));
        if (pid <= 0 || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
        struct stat st {};
        if (::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && st.st_uid == ::geteuid())
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
// changed, when the new file could not get the old one's group. Without an `old` file
// to take them from, the new one gets `mode` and the user's group.
Replaced replaceWhole(const std::string& shown, const fs::path& target, const struct stat* old,
                      const std::string& data, const std::function<void()>& beforeReplace,
                      bool unnamed = true, mode_t mode = 0666) {
    const fs::path dir = target.parent_path();
    const std::string file = target.filename().string();
    removeDeadTemporaries(dir, file);

    fs::path named;  // empty while the new file has no name
#ifdef O_TMPFILE
    FileDescriptor fd(unnamed ? ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode) : -1);
#else
    FileDescriptor fd(-1);
#endif
    if (fd.get() < 0) {
        unnamed = false;
        for (int n = 0; n < 100 && fd.get() < 0; ++n) {
            named = dir / temporaryName(file, static_cast<unsigned long>(::getpid()));
            fd.reset(::open(named.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
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
            fs::path candidate = dir / temporaryName(file, static_cast<unsigned long>(::getpid()));
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
        if (named.empty()) return replaceWhole(shown, target, old, data, {}, false, mode);
    }
    if (!fd.close() || ::rename(named.c_str(), target.c_str()) != 0) fail();
    syncDirectory(dir);
    return Replaced::Done;
}

}  // namespace

std::string channelFileTarget(const std::string& path) {
    std::error_code ec;
    fs::path target = fs::absolute(path, ec);
    if (ec) return {};
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return target.string();
        fs::path next = fs::read_symlink(target, ec);
        if (ec) return {};
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return {};  // a loop, or a chain no system would follow
}

std::optional<std::string> readPlainFile(const std::string& path, bool toFirstNul) {
    // Not blocking on open, and only a plain file: a FIFO or a device under the name
    // would otherwise hold the program for ever or read without end.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    FileText text(static_cast<std::size_t>(st.st_size), toFirstNul);
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;  // a vanished medium: unreadable all the same
        if (n == 0 || !text.take(buf, static_cast<std::size_t>(n))) break;
    }
    return text.finish();
}

std::string readChannelFile(const std::string& path) {
    std::optional<std::string> text = readPlainFile(path, true);
    if (!text) throw FileOpenError(path);
    return std::move(*text);
}

std::optional<std::uint64_t> fileIdentity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_ino);
}

bool rewriteFile(const std::string& path, const std::string& text) {
    FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    return fd.get() >= 0 && ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) &&
           writeAll(fd.get(), text) &&
           ::ftruncate(fd.get(), static_cast<off_t>(text.size())) == 0 && ::fsync(fd.get()) == 0 &&
           fd.close();
}

bool placeNewFile(const std::string& path, const std::string& text) {
    try {
        return replaceWhole(path, path, nullptr, text, {}, true, 0600) == Replaced::Done;
    } catch (const FileCreateError&) {
        return false;
    }
}

bool removeFile(const std::string& path) {
    if (::unlink(path.c_str()) != 0) return errno == ENOENT;
    syncDirectory(fs::path(path).parent_path());
    return true;
}

std::string stateFolder(bool make) {
    std::string folder = comm::posix::stateFolder();
    if (folder.empty() || (make && !makeFolders(folder))) return {};
    return folder + "/";
}

void saveChannelText(const std::string& path, const std::string& data,
                     const std::function<void()>& beforeReplace) {
    // A link to the channel file stays a link: the file it points to is written, in a
    // folder that must be there already. A link that loops is refused.
    const std::string resolved = channelFileTarget(path);
    if (resolved.empty()) throw FileCreateError(path);
    const fs::path target(resolved);
    const fs::path dir = target.parent_path();
    std::error_code ec;
    const bool viaLink = fs::is_symlink(path, ec);
    if (viaLink ? !fs::is_directory(dir, ec) : !makeFolders(dir)) throw FileCreateError(path);

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
    if (safeToReplace && replaceWhole(path, target, exists ? &old : nullptr, data, beforeReplace) ==
                             Replaced::Done) {
        dropRollbackCopies(resolved);
        return;
    }
    rewriteInPlace(path, resolved, data, beforeReplace);
}

}  // namespace kivo
