#include "portnames.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace comm::posix {
namespace {

// The n of "COMn" (n >= 1), or 0 when the name is not of that form.
unsigned comNumber(const std::string& name) {
    if (name.size() < 4 || name.compare(0, 3, "COM") != 0) return 0;
    unsigned n = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return 0;
        n = n * 10 + static_cast<unsigned>(name[i] - '0');
        if (n > 100000) return 0;
    }
    return n;
}

std::string envOr(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::string(v) : fallback;
}

}  // namespace

std::optional<std::string> resolvePortName(const std::string& name) {
    if (name.empty()) return std::nullopt;
    if (name.find('/') != std::string::npos) return name;
    const unsigned n = comNumber(name);
    if (n == 0) return std::nullopt;

    namespace fs = std::filesystem;
    std::error_code ec;
    if (const char* ports = std::getenv("KIVO_PORTS")) {
        fs::path entry = fs::path(ports) / name;
        if (fs::symlink_status(entry, ec).type() == fs::file_type::not_found) return std::nullopt;
        return entry.string();
    }
    std::string config = envOr("XDG_CONFIG_HOME", envOr("HOME", "") + "/.config");
    fs::path entry = fs::path(config) / "kivo" / "ports" / name;
    if (fs::symlink_status(entry, ec).type() != fs::file_type::not_found) return entry.string();
    return "/dev/ttyS" + std::to_string(n - 1);
}

}  // namespace comm::posix
