// An open through the POSIX backend leaves a port another program holds exactly as it
// was, says who holds it, and tells other serial programs through a UUCP lock while it
// holds one itself.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>

#include "serial/commapi.h"
#include "serial/posix/ports/holders.h"
#include "serial/posix/ports/portcheck.h"
#include "serial/rs232c.h"
#include "tests/support/posix/asnobody.h"
#include "tests/support/posix/heldterminal.h"
#include "tests/support/posix/pty.h"
#include "tests/support/posix/ptyport.h"

using namespace comm;
using Kind = OpenFailure::Kind;

namespace {

HANDLE openPort(const std::string& name) {
    return platformCommApi().CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

std::string fileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

std::string pidColumns(long pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10ld\n", pid);
    return text;
}

// A port whose lock folder is private to the test.
struct LockedPtyPort : PtyPort {
    testenv::TempDir locks;
    testenv::ScopedEnv lockEnv{"KIVO_LOCK_DIR", locks.path()};
    std::string lockFile() const {
        return locks.file("LCK.." + std::filesystem::path(pty.slavePath()).filename().string());
    }
};

}  // namespace

TEST(PortInUse, AnotherHolderIsRefusedNamedAndLeftAsItWas) {
    LockedPtyPort port;
    testenv::HeldTerminal other(port.pty);
    const auto before = other.state();
    ASSERT_TRUE(before.lflag & ICANON);
    ASSERT_TRUE(before.lflag & ECHO);
    ASSERT_EQ(before.waiting, 12);

    EXPECT_EQ(openPort(PtyPort::name), INVALID_HANDLE_VALUE);
    EXPECT_EQ(platformCommApi().GetLastError(), ERROR_ACCESS_DENIED);
    const OpenFailure why = platformCommApi().lastOpenFailure();
    EXPECT_EQ(why.kind, Kind::InUse);
    EXPECT_EQ(why.device, port.pty.slavePath());
    EXPECT_EQ(why.holder, "sleep");
    EXPECT_EQ(why.holderPid, other.pid());

    Trs232c c;
    c.portname = PtyPort::name;
    EXPECT_FALSE(c.open());
    // No setting, no flush: the typed-ahead line is still there, cooked and echoed.
    EXPECT_EQ(other.state(), before);
    EXPECT_FALSE(std::filesystem::exists(port.lockFile()));
}

TEST(PortInUse, UucpLocksOfOthersAndOurOwn) {
    struct Case {
        const char* what;
        std::string content;  // of a lock found there; empty: none
        bool opens;
    };
    testenv::Pty stand;  // a live process, holding some other terminal
    testenv::HeldTerminal live(stand);
    const Case cases[] = {
        {"no lock", "", true},
        {"a live holder's lock", pidColumns(live.pid()), false},
        {"a stale lock", pidColumns(testenv::deadPid()), true},
        {"a lock that names no process", "garbage\n", true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        LockedPtyPort port;
        if (!k.content.empty()) std::ofstream(port.lockFile()) << k.content;
        Trs232c c;
        c.portname = PtyPort::name;
        ASSERT_EQ(c.open(), k.opens);
        if (!k.opens) {
            const OpenFailure why = c.api().lastOpenFailure();
            EXPECT_EQ(why.kind, Kind::InUse);
            EXPECT_EQ(why.holderPid, live.pid());
            EXPECT_EQ(why.holder, "sleep");
            EXPECT_EQ(why.lockFile, port.lockFile());
            EXPECT_EQ(fileText(port.lockFile()), k.content);  // not ours to touch
            continue;
        }
        // Held: the lock names this process, readable to everyone; gone once let go.
        EXPECT_EQ(fileText(port.lockFile()), pidColumns(::getpid()));
        struct stat st {};
        ASSERT_EQ(::stat(port.lockFile().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0644u);
        const auto files = std::distance(std::filesystem::directory_iterator(port.locks.path()),
                                         std::filesystem::directory_iterator());
        EXPECT_EQ(files, 1) << "no temporary file left";
        // A second component of this process sees the first one as the holder.
        Trs232c second;
        second.portname = PtyPort::name;
        EXPECT_FALSE(second.open());
        EXPECT_EQ(second.api().lastOpenFailure().holderPid, ::getpid());
        EXPECT_TRUE(c.close());
        EXPECT_FALSE(std::filesystem::exists(port.lockFile()));
    }
}

TEST(PortInUse, WhyADeviceIsMissingOrNoSerialDevice) {
    LockedPtyPort port;
    const std::string file = port.dir.file("plain");
    std::ofstream(file) << "not a device";
    std::filesystem::create_symlink("/dev/ttyUSB-unplugged", port.dir.file("COM2"));
    struct Case {
        std::string name;
        Kind kind;
        DWORD error;
        std::string device;
    } cases[] = {
        {"COM9", Kind::Missing, ERROR_FILE_NOT_FOUND, port.dir.file("COM9")},  // no link
        {"COM2", Kind::Missing, ERROR_FILE_NOT_FOUND, "/dev/ttyUSB-unplugged"},
        {file, Kind::NotTerminal, ERROR_FILE_NOT_FOUND, file},
        {"/dev/null", Kind::NotTerminal, ERROR_FILE_NOT_FOUND, "/dev/null"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EXPECT_EQ(openPort(k.name), INVALID_HANDLE_VALUE);
        EXPECT_EQ(platformCommApi().GetLastError(), k.error);
        const OpenFailure why = platformCommApi().lastOpenFailure();
        EXPECT_EQ(why.kind, k.kind);
        EXPECT_EQ(why.device, k.device);
    }
    HANDLE h = openPort(PtyPort::name);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(platformCommApi().lastOpenFailure().kind, Kind::None);
    platformCommApi().CloseHandle(h);
}

namespace {

// What an open through the backend reports in a child that has become `nobody`:
// "refused error kind group mode device".
std::string openAsNobody(const std::string& name) {
    return testenv::asNobody([&name] {
        const bool refused = openPort(name) == INVALID_HANDLE_VALUE;
        const DWORD error = platformCommApi().GetLastError();
        const OpenFailure why = platformCommApi().lastOpenFailure();
        char text[256];
        std::snprintf(text, sizeof text, "%d %u %d %s %o %s", refused ? 1 : 0, error,
                      static_cast<int>(why.kind), why.group.c_str(), why.mode, why.device.c_str());
        return std::string(text);
    });
}

}  // namespace

// Root sees every holder; an ordinary user sees neither root's descriptors nor may read
// every lock folder, so these are the cases that reach the system's own refusal.
TEST(PortInUse, AnOrdinaryUserIsToldWhatStandsInTheWay) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand the device to root:dialout";
    const group* dialout = ::getgrnam("dialout");
    if (!dialout || !::getpwnam("nobody")) GTEST_SKIP() << "no dialout group or nobody user here";
    const gid_t dialoutGid = dialout->gr_gid;

    struct Case {
        const char* what;
        mode_t mode;
        bool exclusiveHolder;  // root holds it in exclusive mode, out of nobody's sight
        Kind kind;
        const char* group;
    };
    for (const Case& k :
         {Case{"outside the group that may open it", 0660, false, Kind::Denied, "dialout"},
          Case{"held in exclusive mode by a holder it cannot see", 0666, true, Kind::InUse, ""}}) {
        SCOPED_TRACE(k.what);
        LockedPtyPort port;
        const std::string device = port.pty.slavePath();
        ASSERT_EQ(::chown(device.c_str(), 0, dialoutGid), 0);
        ASSERT_EQ(::chmod(device.c_str(), k.mode), 0);
        // The link and the lock folder must be reachable for nobody.
        ::chmod(port.dir.path().c_str(), 0755);
        ::chmod(port.locks.path().c_str(), 0755);
        std::optional<testenv::HeldTerminal> other;
        if (k.exclusiveHolder) {
            other.emplace(port.pty);
            const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(::ioctl(fd, TIOCEXCL), 0);  // stays while `sleep` holds the terminal
            ::close(fd);
        }
        const auto before = other ? other->state() : testenv::HeldTerminal::State{};

        std::ostringstream want;
        want << "1 " << ERROR_ACCESS_DENIED << " " << static_cast<int>(k.kind) << " " << k.group
             << " " << std::oct << (k.kind == Kind::Denied ? k.mode : 0) << " " << device;
        EXPECT_EQ(openAsNobody(PtyPort::name), want.str());
        if (other) {
            EXPECT_EQ(other->state(), before);
        }
    }
}

// One look for other holders serves a scan of several ports: the holders of all of them are
// found in one pass, and while the scan is in use the checks answer from it (a holder that
// came after it is seen only once the scan is given up).
TEST(PortInUse, OneLookForHoldersServesAWholeScan) {
    testenv::Pty free, held;
    testenv::HeldTerminal other(held);
    auto scan = std::make_shared<comm::posix::HolderScan>(
        std::vector<std::string>{free.slavePath(), held.slavePath()},
        comm::posix::HolderScan::When::OnAThread);
    EXPECT_FALSE(scan->holderOf(free.slavePath()));
    ASSERT_TRUE(scan->holderOf(held.slavePath()));
    EXPECT_EQ(scan->holderOf(held.slavePath())->pid, other.pid());
    EXPECT_EQ(scan->holderOf(held.slavePath())->program, "sleep");

    std::optional<testenv::HeldTerminal> late;
    {
        const comm::posix::UsingHolderScan using_(scan);
        late.emplace(free);
        EXPECT_FALSE(comm::posix::findHolder(free.slavePath()));
        EXPECT_EQ(comm::posix::checkDevice(held.slavePath()).holderPid, other.pid());
    }
    ASSERT_TRUE(comm::posix::findHolder(free.slavePath()));
    EXPECT_EQ(comm::posix::findHolder(free.slavePath())->pid, late->pid());
}
