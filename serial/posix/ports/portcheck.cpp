#include "serial/posix/ports/portcheck.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "serial/posix/ports/devices.h"
#include "serial/posix/ports/holders.h"
#include "serial/posix/ports/portnames.h"
#include "serial/posix/ports/uucplock.h"

namespace comm::posix {
namespace {

using Kind = OpenFailure::Kind;

OpenFailure failure(Kind kind, const std::string& device) {
    OpenFailure f;
    f.kind = kind;
    f.device = device;
    return f;
}

std::string userName(uid_t uid) {
    passwd pw{}, *found = nullptr;
    char buf[4096];
    if (getpwuid_r(uid, &pw, buf, sizeof buf, &found) == 0 && found) return found->pw_name;
    return std::to_string(uid);
}

std::string groupName(gid_t gid) {
    group gr{}, *found = nullptr;
    char buf[4096];
    if (getgrgid_r(gid, &gr, buf, sizeof buf, &found) == 0 && found) return found->gr_name;
    return std::to_string(gid);
}

OpenFailure denied(const std::string& device) {
    OpenFailure f = failure(Kind::Denied, device);
    struct stat st {};
    if (::stat(device.c_str(), &st) == 0) {
        f.owner = userName(st.st_uid);
        f.group = groupName(st.st_gid);
        f.mode = st.st_mode & 07777;
    }
    return f;
}

}  // namespace

std::string deviceBehind(const std::string& path) {
    char buf[PATH_MAX];
    if (::realpath(path.c_str(), buf)) return buf;
    // Follow the links by hand to the first name that is missing.
    std::string at = path;
    for (int hops = 0; hops < 40; ++hops) {
        const ssize_t n = ::readlink(at.c_str(), buf, sizeof buf - 1);
        if (n < 0) break;
        std::string next(buf, static_cast<std::size_t>(n));
        if (next.front() != '/') {
            const std::size_t slash = at.find_last_of('/');
            next = (slash == std::string::npos ? std::string() : at.substr(0, slash + 1)) + next;
        }
        at = next;
    }
    return at;
}

std::vector<std::string> devicesOfPorts(const std::vector<std::string>& names) {
    std::vector<std::string> devices;
    for (const std::string& name : names) {
        const auto path = resolvePortName(name);
        if (!path) continue;
        struct stat st {};
        const std::string device = deviceBehind(*path);
        if (::stat(device.c_str(), &st) == 0 && S_ISCHR(st.st_mode)) devices.push_back(device);
    }
    return devices;
}

OpenFailure checkDevice(const std::string& path) {
    const std::string device = deviceBehind(path);
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0)
        return failureOf(errno == EACCES ? EACCES : ENOENT, device);
    if (!S_ISCHR(st.st_mode) || !isSerialTerminal(device))
        return failure(Kind::NotTerminal, device);
    if (isPlaceholderPort(device)) return failure(Kind::Missing, device);  // no UART there
    if (::faccessat(AT_FDCWD, device.c_str(), R_OK | W_OK, AT_EACCESS) != 0)
        return errno == EACCES || errno == EPERM ? denied(device) : failureOf(errno, device);
    if (auto lock = liveLock(device)) return inUse(device, lock->pid, lock->file);
    if (auto holder = findHolder(device)) return inUse(device, holder->pid);
    if (auto stale = staleLockInTheWay(device)) return staleLock(device, stale->pid, stale->file);
    return failure(Kind::None, device);
}

OpenFailure failureOf(int error, const std::string& device) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
        case ENXIO:
        case ENODEV:
            return failure(Kind::Missing, device);
        case EACCES:
        case EPERM:
            return denied(device);
        case ENOTTY:
            return failure(Kind::NotTerminal, device);
        case EBUSY:  // the holder put the terminal in exclusive mode
            return failure(Kind::InUse, device);
        default: {
            OpenFailure f = failure(Kind::Other, device);
            f.systemError = error;
            return f;
        }
    }
}

OpenFailure inUse(const std::string& device, long pid, const std::string& lockFile) {
    OpenFailure f = failure(Kind::InUse, device);
    f.holderPid = pid;
    if (pid > 0) f.holder = programOf(pid);
    f.lockFile = lockFile;
    return f;
}

OpenFailure staleLock(const std::string& device, long pid, const std::string& lockFile) {
    OpenFailure f = failure(Kind::StaleLock, device);
    f.holderPid = pid;
    f.lockFile = lockFile;
    struct stat st {};
    if (::lstat(lockFile.c_str(), &st) == 0) f.owner = userName(st.st_uid);
    return f;
}

DWORD errorCodeOf(const OpenFailure& failure) {
    switch (failure.kind) {
        case Kind::None:
            return ERROR_SUCCESS;
        case Kind::Missing:
        case Kind::NotTerminal:
            return ERROR_FILE_NOT_FOUND;
        case Kind::InUse:
        case Kind::Denied:
        case Kind::StaleLock:
            return ERROR_ACCESS_DENIED;
        default:
            return ERROR_GEN_FAILURE;
    }
}

}  // namespace comm::posix
