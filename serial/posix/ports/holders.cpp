#include "serial/posix/ports/holders.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

namespace comm::posix {
namespace {

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};
using Dir = std::unique_ptr<DIR, DirCloser>;

long pidOf(const char* name) {
    if (*name < '1' || *name > '9') return 0;
    char* end = nullptr;
    const long pid = std::strtol(name, &end, 10);
    return *end == 0 ? pid : 0;
}

bool holds(int procFd, const char* pid, const std::string& device) {
    const std::string fdDir = std::string(pid) + "/fd";
    const int fd = ::openat(procFd, fdDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;  // not ours to look at, or gone
    Dir dir(::fdopendir(fd));
    if (!dir) {
        ::close(fd);
        return false;
    }
    char target[4096];
    while (const dirent* e = ::readdir(dir.get())) {
        if (e->d_name[0] == '.') continue;
        // Most links are sockets, pipes and files: only a same-length target is compared.
        const ssize_t n = ::readlinkat(::dirfd(dir.get()), e->d_name, target, sizeof target);
        if (n == static_cast<ssize_t>(device.size()) &&
            device.compare(0, device.size(), target, static_cast<std::size_t>(n)) == 0)
            return true;
    }
    return false;
}

}  // namespace

std::string programOf(long pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/comm";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    char buf[64];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    ::close(fd);
    if (n <= 0) return {};
    std::string name(buf, static_cast<std::size_t>(n));
    while (!name.empty() && name.back() == '\n') name.pop_back();
    return name;
}

std::optional<Holder> findHolder(const std::string& device) {
    if (device.empty()) return std::nullopt;
    const int procFd = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (procFd < 0) return std::nullopt;
    Dir proc(::fdopendir(procFd));
    if (!proc) {
        ::close(procFd);
        return std::nullopt;
    }
    while (const dirent* e = ::readdir(proc.get())) {
        const long pid = pidOf(e->d_name);
        if (pid == 0) continue;
        if (holds(::dirfd(proc.get()), e->d_name, device)) return Holder{pid, programOf(pid)};
    }
    return std::nullopt;
}

}  // namespace comm::posix
