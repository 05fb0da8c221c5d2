#include "serial/posix/ports/portwatch.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "serial/posix/ports/portnames.h"

namespace comm::posix {
namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kFolderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                        IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr int kMaxHops = 40;

bool isThere(const fs::path& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0;
}

}  // namespace

std::vector<std::string> pathsOnTheWay(const std::string& portname) {
    std::vector<std::string> way;
    // A COM name's link in the ports folder is on the way whether it is there or not: it is
    // what comes back.
    if (const std::string folder = portsFolder(); isComName(portname) && !folder.empty())
        way.push_back((fs::absolute(folder) / portname).lexically_normal().string());
    const auto start = resolvePortName(portname);
    if (!start) return way;
    fs::path at = fs::absolute(*start).lexically_normal();
    for (int hop = 0; hop < kMaxHops; ++hop) {
        if (way.empty() || way.back() != at.string()) way.push_back(at.string());
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(at, ec))) break;
        const fs::path target = fs::read_symlink(at, ec);
        if (ec) break;
        at = (target.is_absolute() ? target : at.parent_path() / target).lexically_normal();
    }
    return way;
}

PortNameWatch::PortNameWatch() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

PortNameWatch::~PortNameWatch() {
    if (fd_ >= 0) ::close(fd_);
}

void PortNameWatch::watch(const std::string& portname) {
    portname_ = portname;
    kept_.clear();
    for (const std::string& path : pathsOnTheWay(portname))
        if (isThere(path)) kept_.push_back(path);
    follow();
}

void PortNameWatch::stop() {
    portname_.clear();
    kept_.clear();
    follow();
}

// Each name is looked for in its folder, or, where that folder is missing, the first
// missing folder on its path is looked for in the nearest one that is there.
void PortNameWatch::follow() {
    if (fd_ < 0) return;
    std::map<std::string, std::set<std::string>> wanted;
    if (!portname_.empty()) {
        std::vector<std::string> paths = pathsOnTheWay(portname_);
        paths.insert(paths.end(), kept_.begin(), kept_.end());
        for (const std::string& path : paths) {
            fs::path name = fs::path(path);
            fs::path folder = name.parent_path();
            while (!folder.empty() && folder != name && !isThere(folder)) {
                name = folder;
                folder = folder.parent_path();
            }
            if (!folder.empty() && folder != name)
                wanted[folder.string()].insert(name.filename().string());
        }
    }
    for (auto it = folders_.begin(); it != folders_.end();) {
        if (wanted.count(it->first)) {
            ++it;
            continue;
        }
        names_.erase(it->second);  // its own IN_IGNORED then concerns nothing
        ::inotify_rm_watch(fd_, it->second);
        it = folders_.erase(it);
    }
    for (auto& [folder, names] : wanted) {
        const int wd = ::inotify_add_watch(fd_, folder.c_str(), kFolderEvents);
        if (wd < 0) continue;
        // A folder made anew since it was watched has a new watch; the old one is dead.
        if (auto old = folders_.find(folder); old != folders_.end() && old->second != wd)
            names_.erase(old->second);
        folders_[folder] = wd;
        names_[wd] = std::move(names);
    }
}

bool PortNameWatch::takeEvents() {
    if (fd_ < 0) return false;
    bool concerned = false;
    alignas(inotify_event) char buf[8192];
    for (;;) {
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (const char* p = buf; p < buf + n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(p);
            p += sizeof(inotify_event) + e->len;
            if (e->mask & IN_Q_OVERFLOW) {
                concerned = true;  // some were lost: anything may have changed
                continue;
            }
            auto names = names_.find(e->wd);
            if (names == names_.end()) continue;  // a watch given up already
            if (e->len > 0)
                concerned = concerned || names->second.count(e->name) > 0;
            else
                concerned = concerned || (e->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED));
        }
    }
    if (concerned && !portname_.empty()) follow();
    return concerned;
}

}  // namespace comm::posix
