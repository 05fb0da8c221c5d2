#include "sim/ports_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "serial/posix/ports/portnames.h"

namespace sim {
namespace fs = std::filesystem;

namespace {

// The link's target, or empty when `path` is not a symbolic link.
std::string readLink(const std::string& path) {
    std::error_code ec;
    fs::path target = fs::read_symlink(path, ec);
    return ec ? std::string() : target.string();
}

}  // namespace

std::string defaultPortsDir() {
    std::string dir = comm::posix::portsFolder();
    if (dir.empty())
        throw SimError("cannot find the home folder (HOME is not set); use --ports-dir");
    return dir;
}

bool isComName(std::string_view name) {
    return comm::posix::isComName(name);
}

std::string registerPort(const std::string& dir, const std::string& name,
                         const std::string& target) {
    if (!isComName(name)) throw SimError("not a port name: \"" + name + "\" (use COM1, COM2, ...)");
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) throw SimError("cannot create the ports folder " + dir + ": " + ec.message());
    std::string link = (fs::path(dir) / name).string();

    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode))
            throw SimError(link + " already exists and is not a link; not touching it");
        std::string old = readLink(link);
        struct stat dev {};
        if (::stat(link.c_str(), &dev) == 0)
            throw SimError(name + " is taken: " + link + " -> " + old +
                           " is a live device. Remove the link if it is not in use, or choose "
                           "another --port.");
        // Dangling: whoever made it is gone.
        if (::unlink(link.c_str()) != 0 && errno != ENOENT)
            throw SimError("cannot remove the stale link " + link + ": " + std::strerror(errno));
    }
    if (::symlink(target.c_str(), link.c_str()) != 0) {
        if (errno == EEXIST)
            throw SimError(name + " was registered by someone else just now in " + dir);
        throw SimError("cannot create the link " + link + ": " + std::strerror(errno));
    }
    return link;
}

void unregisterPort(const std::string& linkPath, const std::string& target) noexcept {
    if (!linkPath.empty() && readLink(linkPath) == target) ::unlink(linkPath.c_str());
}

}  // namespace sim
