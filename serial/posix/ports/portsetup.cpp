#include "serial/posix/ports/portsetup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

#include "serial/posix/ports/holders.h"
#include "serial/posix/ports/portcheck.h"
#include "serial/posix/ports/portnames.h"

namespace kivo {
namespace fs = std::filesystem;
using comm::OpenFailure;
using Kind = comm::OpenFailure::Kind;

namespace {

constexpr int kFirstCom = 1, kLastCom = 9;

std::string comName(int n) {
    return "COM" + std::to_string(n);
}

std::optional<std::string> linkTarget(const std::string& path) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(path, ec))) return std::nullopt;
    fs::path target = fs::read_symlink(path, ec);
    if (ec) return std::nullopt;
    return target.string();
}

std::string modeText(unsigned mode) {
    char text[16];
    std::snprintf(text, sizeof text, "%04o", mode & 07777);
    return text;
}

// "opens now", or why not.
std::string verdict(const OpenFailure& why) {
    switch (why.kind) {
        case Kind::None:
            return "opens now";
        case Kind::Missing:
            return "no such device";
        case Kind::NotTerminal:
            return "not a serial device";
        case Kind::InUse:
            if (why.holderPid > 0)
                return "in use by " + (why.holder.empty() ? "a program" : why.holder) + " (pid " +
                       std::to_string(why.holderPid) + ")" +
                       (why.lockFile.empty() ? "" : ", lock file " + why.lockFile);
            return why.lockFile.empty() ? "in use" : "in use (lock file " + why.lockFile + ")";
        case Kind::Denied:
            if (why.groupMayOpen())
                return "permission denied (" + why.owner + ":" + why.group + " " +
                       modeText(why.mode) + "): join the group " + why.group +
                       " (sudo usermod -aG " + why.group + " $USER) and log in again";
            return "permission denied (" + why.owner + ":" + why.group + " " + modeText(why.mode) +
                   ")";
        case Kind::StaleLock: {
            std::string about;
            if (why.holderPid > 0) about = "pid " + std::to_string(why.holderPid) + " has ended";
            if (!why.owner.empty()) about += (about.empty() ? "" : "; ") + ("owner " + why.owner);
            return "blocked by the stale lock file " + why.lockFile +
                   (about.empty() ? "" : " (" + about + ")") + ", which this user may not remove";
        }
        default:
            return std::string("cannot open: ") + std::strerror(why.systemError);
    }
}

// What COMn leads to: its link, the ttyS fallback, or nothing.
struct ComEntry {
    std::string name;
    std::string link;  // the link's own target text, when there is a link
    std::string path;  // what an open would use; empty: nothing
};

ComEntry comEntry(int n) {
    ComEntry e{comName(n), {}, {}};
    const std::string folder = comm::posix::portsFolder();
    if (!folder.empty())
        if (auto target = linkTarget(folder + "/" + e.name)) e.link = *target;
    if (auto path = comm::posix::resolvePortName(e.name)) e.path = *path;
    return e;
}

void printComNames(std::ostream& out, const std::vector<ComEntry>& entries) {
    const std::string folder = comm::posix::portsFolder();
    out << "Port names (links in " << (folder.empty() ? "(no ports folder)" : folder) << "):\n";
    for (const ComEntry& e : entries) {
        out << "  " << e.name << "  ";
        if (e.path.empty()) {
            out << "not mapped\n";
            continue;
        }
        if (!e.link.empty()) {
            out << "-> " << e.link;
            const std::string device = comm::posix::deviceBehind(e.path);
            if (device != e.link) out << " (" << device << ")";
        } else {
            out << e.path << " (no link: the built-in name)";
        }
        out << "  " << verdict(comm::posix::checkDevice(e.path)) << "\n";
    }
}

std::string identity(const comm::posix::SerialDevice& d) {
    if (d.vendorId.empty()) return {};
    std::string text = "USB " + d.vendorId + ":" + d.productId;
    for (const std::string* part : {&d.manufacturer, &d.product})
        if (!part->empty()) text += " " + *part;
    if (!d.serial.empty()) text += ", serial " + d.serial;
    return text;
}

// The lowest COM name nothing leads to now, not yet proposed.
std::optional<std::string> freeComName(const std::vector<ComEntry>& entries,
                                       std::vector<std::string>& proposed) {
    for (const ComEntry& e : entries) {
        if (!e.link.empty()) continue;
        if (!e.path.empty() && comm::posix::checkDevice(e.path).kind != Kind::Missing) continue;
        bool taken = false;
        for (const auto& p : proposed) taken = taken || p == e.name;
        if (taken) continue;
        proposed.push_back(e.name);
        return e.name;
    }
    return std::nullopt;
}

bool refuseName(const std::string& com, const PortSetup& setup, std::ostream& err) {
    if (comm::posix::isComName(com)) return false;
    err << setup.program << ": " << com
        << " is not a port name (COM and a number from 1 to 100000, e.g. COM3)\n";
    return true;
}

// The ports folder entry for COMn, or empty (with a message) when there is no folder.
std::string entryPath(const std::string& com, const PortSetup& setup, std::ostream& err) {
    const std::string folder = comm::posix::portsFolder();
    if (folder.empty()) {
        err << setup.program << ": no ports folder (HOME is not set; set KIVO_PORTS)\n";
        return {};
    }
    return folder + "/" + com;
}

// An entry that is there but not a link belongs to someone else.
bool refuseNonLink(const std::string& entry, const PortSetup& setup, std::ostream& err) {
    struct stat st {};
    if (::lstat(entry.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return false;
    err << setup.program << ": " << entry << " is not a link; leaving it alone\n";
    return true;
}

}  // namespace

int listPorts(const PortSetup& setup, std::ostream& out) {
    std::vector<ComEntry> entries;
    std::vector<std::string> names;
    for (int n = kFirstCom; n <= kLastCom; ++n) {
        entries.push_back(comEntry(n));
        names.push_back(entries.back().name);
    }
    // One look for other holders answers for every port listed.
    const comm::posix::UsingHolderScan scan(std::make_shared<comm::posix::HolderScan>(
        comm::posix::devicesOfPorts(names), comm::posix::HolderScan::When::Now));
    printComNames(out, entries);

    out << "\nSerial devices:\n";
    const auto devices = comm::posix::findSerialDevices(setup.roots);
    if (devices.empty()) out << "  none found\n";
    std::vector<std::string> proposed;
    for (const auto& d : devices) {
        const std::string id = identity(d);
        out << "  " << d.path << (id.empty() ? "" : "  " + id) << "\n";
        for (const std::string& link : d.byId) out << "    by-id: " << link << "\n";
        std::string names;
        for (const ComEntry& e : entries)
            if (!e.path.empty() && comm::posix::sameDevice(e.path, d.path)) names += " " + e.name;
        if (!names.empty()) {
            out << "    port name:" << names << "\n";
        } else if (auto free = freeComName(entries, proposed)) {
            out << "    no port name; to give it one: " << setup.program << " --map-port " << *free
                << " " << (d.byId.empty() ? d.path : d.byId.front()) << "\n";
        } else {
            out << "    no port name (COM1 to COM9 are all taken)\n";
        }
    }
    return 0;
}

int mapPort(const PortSetup& setup, const std::string& com, const std::string& device,
            std::ostream& out, std::ostream& err) {
    if (refuseName(com, setup, err)) return 1;
    std::error_code ec;
    if (!fs::exists(device, ec)) {
        err << setup.program << ": " << device << ": no such device\n";
        return 1;
    }
    if (!comm::posix::isSerialTerminal(device)) {
        err << setup.program << ": " << device << " is not a serial device (a terminal)\n";
        return 1;
    }
    // The by-id name stays the same when the adapter goes into another socket.
    std::string target = comm::posix::stableName(device, setup.roots);
    if (target.empty()) target = fs::absolute(device, ec).lexically_normal().string();

    const std::string entry = entryPath(com, setup, err);
    if (entry.empty() || refuseNonLink(entry, setup, err)) return 1;
    const std::optional<std::string> old = linkTarget(entry);
    if (old && *old == target) {
        out << com << " already leads to " << target << "\n";
        return 0;
    }
    fs::create_directories(fs::path(entry).parent_path(), ec);
    // Made under a private name and renamed over the entry: never half there.
    const std::string temp = entry + ".new." + std::to_string(::getpid());
    ::unlink(temp.c_str());
    if (::symlink(target.c_str(), temp.c_str()) != 0 ||
        ::rename(temp.c_str(), entry.c_str()) != 0) {
        err << setup.program << ": cannot make the link " << entry << ": " << std::strerror(errno)
            << "\n";
        ::unlink(temp.c_str());
        return 1;
    }
    out << com << " -> " << target;
    if (const std::string behind = comm::posix::deviceBehind(target); behind != target)
        out << " (" << behind << ")";
    out << "\n";
    if (old) out << "replaced: " << com << " -> " << *old << "\n";
    return 0;
}

int unmapPort(const PortSetup& setup, const std::string& com, std::ostream& out,
              std::ostream& err) {
    if (refuseName(com, setup, err)) return 1;
    const std::string entry = entryPath(com, setup, err);
    if (entry.empty() || refuseNonLink(entry, setup, err)) return 1;
    const std::optional<std::string> old = linkTarget(entry);
    if (!old) {
        err << setup.program << ": " << com << " is not mapped (no link " << entry << ")\n";
        return 1;
    }
    if (::unlink(entry.c_str()) != 0) {
        err << setup.program << ": cannot remove " << entry << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    out << "removed " << com << " -> " << *old << "\n";
    if (auto fallback = comm::posix::resolvePortName(com))
        out << com << " now means " << *fallback << "\n";
    return 0;
}

}  // namespace kivo
