#include "serial/posix/ports/portnames.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace comm::posix {
namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string homeFolder() {
    if (std::string home = env("HOME"); !home.empty()) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return {};
}

// KIVO's folder in an XDG base folder: $`variable`, else `fallback` in the home folder.
std::string kivoFolder(const char* variable, const char* fallback) {
    std::string base = env(variable);
    if (base.empty() || base.front() != '/') {
        std::string home = homeFolder();
        if (home.empty()) return {};
        base = home + fallback;
    }
    return base + "/kivo";
}

constexpr unsigned kLastComNumber = 100000;

// The n of "COMn" (1 to kLastComNumber), or 0 when the name is not of that form.
unsigned comNumber(std::string_view name) {
    if (name.size() < 4 || name.substr(0, 3) != "COM") return 0;
    unsigned n = 0;
    for (char c : name.substr(3)) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + static_cast<unsigned>(c - '0');
        if (n > kLastComNumber) return 0;
    }
    return n;
}

}  // namespace

bool isComName(std::string_view name) {
    return comNumber(name) != 0;
}

std::string configFolder() {
    return kivoFolder("XDG_CONFIG_HOME", "/.config");
}

std::string stateFolder() {
    return kivoFolder("XDG_STATE_HOME", "/.local/state");
}

std::string portsFolder() {
    if (std::string ports = env("KIVO_PORTS"); !ports.empty()) return ports;
    std::string config = configFolder();
    return config.empty() ? config : config + "/ports";
}

std::optional<std::string> resolvePortName(const std::string& name) {
    if (name.empty()) return std::nullopt;
    if (name.find('/') != std::string::npos) return name;
    const unsigned n = comNumber(name);
    if (n == 0) return std::nullopt;

    namespace fs = std::filesystem;
    std::error_code ec;
    const bool wholeMap = !env("KIVO_PORTS").empty();
    if (std::string folder = portsFolder(); !folder.empty()) {
        fs::path entry = fs::path(folder) / name;
        if (fs::symlink_status(entry, ec).type() != fs::file_type::not_found) return entry.string();
    }
    if (wholeMap) return std::nullopt;
    return "/dev/ttyS" + std::to_string(n - 1);
}

}  // namespace comm::posix
