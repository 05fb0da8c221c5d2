#include "serial/posix/ports/uucplock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace comm::posix {
namespace {

std::string canonical(const std::string& path) {
    char buf[PATH_MAX];
    return ::realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

bool alive(long pid) {
    if (pid <= 0 || pid > INT_MAX) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

enum class Read { Missing, Unreadable, Read };

// The pid a lock file names: ten ASCII columns (blanks, digits, a line end), or the old
// binary form of four bytes; 0 when it holds neither.
Read readPid(const std::string& file, long& pid) {
    pid = 0;
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT ? Read::Missing : Read::Unreadable;
    char buf[64];
    const ssize_t n = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    if (n < 0) return Read::Unreadable;
    buf[n] = 0;
    const char* p = buf;
    while (*p == ' ') ++p;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(p, &end, 10);
    if (end != p && errno == 0 && (*end == '\n' || *end == 0 || *end == ' ')) {
        pid = v;
    } else if (n == 4) {
        std::int32_t binary = 0;
        std::memcpy(&binary, buf, 4);
        pid = binary;
    }
    return Read::Read;
}

// The lock files that may name `device` in `folder`.
std::vector<std::string> candidates(const std::string& folder, const std::string& device) {
    std::vector<std::string> files{folder + "/" + lockName(device)};
    // Some programs name a device below /dev by its whole path there: LCK..pts_3.
    if (device.rfind("/dev/", 0) == 0) {
        std::string flat = device.substr(5);
        if (flat.find('/') != std::string::npos) {
            for (char& c : flat)
                if (c == '/') c = '_';
            files.push_back(folder + "/LCK.." + flat);
        }
    }
    return files;
}

std::optional<LockOwner> ownerOf(const std::string& file) {
    long pid = 0;
    switch (readPid(file, pid)) {
        case Read::Missing:
            return std::nullopt;
        case Read::Unreadable:
            return LockOwner{0, file};  // cannot tell: taken
        case Read::Read:
            break;
    }
    if (!alive(pid)) return std::nullopt;
    return LockOwner{pid, file};
}

// Whether this user, who may write `folder`, may remove `file` from it: in a sticky
// folder (as the system's lock folders are) only the file's or the folder's owner, or
// root, may.
bool mayRemove(const std::string& folder, const std::string& file) {
    struct stat dir {};
    struct stat st {};
    if (::stat(folder.c_str(), &dir) != 0 || ::lstat(file.c_str(), &st) != 0) return true;
    const uid_t me = ::geteuid();
    return !(dir.st_mode & S_ISVTX) || me == 0 || st.st_uid == me || dir.st_uid == me;
}

// Creates `file` naming this process, whole or not at all: written under a private name,
// then linked into place (a reader never sees it half written).
enum class Create { Done, Exists, NotWritable };
Create create(const std::string& folder, const std::string& file) {
    static std::atomic<unsigned> serial{0};
    const std::string temp =
        folder + "/LTMP." + std::to_string(::getpid()) + "." + std::to_string(serial++);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return Create::NotWritable;
    char text[16];
    const int len = std::snprintf(text, sizeof text, "%10ld\n", static_cast<long>(::getpid()));
    const bool written = ::write(fd, text, static_cast<std::size_t>(len)) == len;
    ::fchmod(fd, 0644);  // readable for everyone whatever this process's umask
    ::close(fd);
    if (!written) {
        ::unlink(temp.c_str());
        return Create::NotWritable;
    }
    const int linked = ::link(temp.c_str(), file.c_str());
    const int linkError = errno;
    ::unlink(temp.c_str());
    if (linked == 0) return Create::Done;
    return linkError == EEXIST ? Create::Exists : Create::NotWritable;
}

}  // namespace

std::vector<std::string> lockFolders() {
    if (const char* dir = std::getenv("KIVO_LOCK_DIR"); dir && *dir) return {dir};
    std::vector<std::string> folders;
    std::vector<std::string> seen;
    for (const char* dir : {"/run/lock", "/var/lock"}) {
        std::string real = canonical(dir);
        if (real.empty()) continue;
        bool again = false;
        for (const auto& s : seen) again = again || s == real;
        if (again) continue;
        seen.push_back(real);
        folders.push_back(dir);
    }
    return folders;
}

std::string lockName(const std::string& device) {
    const std::size_t slash = device.find_last_of('/');
    return "LCK.." + (slash == std::string::npos ? device : device.substr(slash + 1));
}

std::optional<LockOwner> liveLock(const std::string& device) {
    for (const std::string& folder : lockFolders())
        for (const std::string& file : candidates(folder, device))
            if (auto owner = ownerOf(file)) return owner;
    return std::nullopt;
}

std::optional<LockOwner> staleLockInTheWay(const std::string& device) {
    for (const std::string& folder : lockFolders()) {
        // take() passes over a folder it cannot write.
        if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) continue;
        const std::string file = folder + "/" + lockName(device);
        long pid = 0;
        if (readPid(file, pid) != Read::Read || alive(pid)) continue;
        if (!mayRemove(folder, file)) return LockOwner{pid, file, true};
    }
    return std::nullopt;
}

bool UucpLock::take(const std::string& device, LockOwner& owner) {
    release();
    for (const std::string& folder : lockFolders()) {
        const std::string file = folder + "/" + lockName(device);
        Create made = create(folder, file);
        if (made == Create::Exists) {
            if (auto live = ownerOf(file)) {
                owner = *live;
                release();
                return false;
            }
            // Stale: its process has ended. One that stays would stop every other
            // program from telling the port is taken while this holds it.
            if (::unlink(file.c_str()) != 0 && errno != ENOENT) {
                long pid = 0;
                readPid(file, pid);
                owner = LockOwner{pid, file, true};
                release();
                return false;
            }
            made = create(folder, file);
        }
        if (made == Create::Done) {
            files_.push_back(file);
        } else if (made == Create::Exists) {
            owner = ownerOf(file).value_or(LockOwner{0, file});
            release();
            return false;
        }
    }
    return true;
}

void UucpLock::release() noexcept {
    for (const std::string& file : files_) {
        long pid = 0;
        if (readPid(file, pid) == Read::Read && pid == ::getpid()) ::unlink(file.c_str());
    }
    files_.clear();
}

}  // namespace comm::posix
