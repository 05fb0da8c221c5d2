#include "serial/posix/ports/devices.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace comm::posix {
namespace fs = std::filesystem;
namespace {

std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return line;
}

std::string baseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// ttyUSB3 -> true for prefix "ttyUSB".
bool numbered(const std::string& name, const std::string& prefix) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return false;
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

// The UART type sysfs reports for a ttyS port (0: none there), nothing where unknown.
std::optional<int> uartType(const std::string& name, const DeviceRoots& roots) {
    const std::string text = firstLine(fs::path(roots.sys) / "class/tty" / name / "type");
    if (text.empty() ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::stoi(text);
}

std::string realPath(const fs::path& p) {
    std::error_code ec;
    fs::path real = fs::canonical(p, ec);
    return ec ? std::string() : real.string();
}

// The USB identity of a tty: the nearest folder above its sysfs device with an idVendor.
void readUsbIdentity(SerialDevice& d, const DeviceRoots& roots) {
    std::error_code ec;
    const fs::path sysRoot = fs::weakly_canonical(roots.sys, ec);
    fs::path at =
        fs::canonical(fs::path(roots.sys) / "class/tty" / baseName(d.path) / "device", ec);
    for (int up = 0; !ec && up < 5 && !at.empty(); ++up, at = at.parent_path()) {
        if (at == sysRoot || at == at.root_path()) break;
        if (!fs::exists(at / "idVendor", ec)) continue;
        d.vendorId = firstLine(at / "idVendor");
        d.productId = firstLine(at / "idProduct");
        d.manufacturer = firstLine(at / "manufacturer");
        d.product = firstLine(at / "product");
        d.serial = firstLine(at / "serial");
        return;
    }
}

}  // namespace

bool sameDevice(const std::string& a, const std::string& b) {
    if (a == b) return true;
    const std::string ra = realPath(a);
    return !ra.empty() && ra == realPath(b);
}

bool isPlaceholderPort(const std::string& device, const DeviceRoots& roots) {
    const std::string name = baseName(device);
    if (!numbered(name, "ttyS")) return false;
    auto type = uartType(name, roots);
    return type && *type == 0;
}

std::vector<SerialDevice> findSerialDevices(const DeviceRoots& roots) {
    std::vector<SerialDevice> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(roots.dev, ec)) {
        const std::string name = entry.path().filename().string();
        const bool usb = numbered(name, "ttyUSB") || numbered(name, "ttyACM");
        if (!usb && !(numbered(name, "ttyS") && uartType(name, roots).value_or(0) > 0)) continue;
        found.push_back(SerialDevice{entry.path().string(), {}, {}, {}, {}, {}, {}});
    }

    const fs::path byIdFolder = fs::path(roots.dev) / "serial/by-id";
    std::vector<fs::path> links;
    for (const auto& entry : fs::directory_iterator(byIdFolder, ec)) links.push_back(entry.path());
    std::sort(links.begin(), links.end());
    for (const fs::path& link : links) {
        fs::path target = fs::read_symlink(link, ec);
        if (ec) continue;
        if (target.is_relative()) target = (byIdFolder / target).lexically_normal();
        if (!fs::exists(target, ec)) continue;
        auto same = std::find_if(found.begin(), found.end(), [&](const SerialDevice& d) {
            return sameDevice(d.path, target.string());
        });
        if (same == found.end()) {
            found.push_back(SerialDevice{target.string(), {}, {}, {}, {}, {}, {}});
            same = found.end() - 1;
        }
        same->byId.push_back(link.string());
    }

    std::sort(found.begin(), found.end(),
              [](const SerialDevice& a, const SerialDevice& b) { return a.path < b.path; });
    for (SerialDevice& d : found) readUsbIdentity(d, roots);
    return found;
}

std::string stableName(const std::string& path, const DeviceRoots& roots) {
    const fs::path byIdFolder = fs::path(roots.dev) / "serial/by-id";
    if (fs::path(path).parent_path() == byIdFolder) return path;
    std::error_code ec;
    std::vector<fs::path> links;
    for (const auto& entry : fs::directory_iterator(byIdFolder, ec)) links.push_back(entry.path());
    std::sort(links.begin(), links.end());
    for (const fs::path& link : links)
        if (sameDevice(link.string(), path)) return link.string();
    return {};
}

bool isSerialTerminal(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    std::ifstream drivers("/proc/tty/drivers");
    if (!drivers) return true;
    const unsigned major = ::major(st.st_rdev), minor = ::minor(st.st_rdev);
    // name  node  major  minor-range  type
    std::string line;
    while (std::getline(drivers, line)) {
        std::istringstream fields(line);
        std::string name, node, range, type;
        unsigned maj = 0;
        if (!(fields >> name >> node >> maj >> range >> type) || maj != major) continue;
        if (type != "serial" && type != "pty:slave") continue;
        char* end = nullptr;
        const unsigned long lo = std::strtoul(range.c_str(), &end, 10);
        const unsigned long hi = *end == '-' ? std::strtoul(end + 1, nullptr, 10) : lo;
        if (minor >= lo && minor <= hi) return true;
    }
    return false;
}

}  // namespace comm::posix
