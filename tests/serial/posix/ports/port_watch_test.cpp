// The port's name watched through inotify: every name on the way (the ports-folder link,
// the by-id link it leads to, the device) in a folder standing in for /dev, changed as
// unplugging and udev's plugging in change them.
#include <gtest/gtest.h>
#include <poll.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "serial/posix/ports/portwatch.h"
#include "tests/support/testenv.h"

namespace fs = std::filesystem;
using comm::posix::PortNameWatch;

namespace {

struct Machine {
    testenv::TempDir root;
    std::string ports = root.file("ports");
    std::string dev = root.file("dev");
    testenv::ScopedEnv env{"KIVO_PORTS", ports};

    // COM3 -> dev/serial/by-id/usb-Radio -> ../../ttyUSB0, as --map-port leaves it.
    void plugIn() {
        fs::create_directories(dev + "/serial/by-id");
        testenv::writeFile(dev + "/ttyUSB0", "");
        fs::create_symlink("../../ttyUSB0", dev + "/serial/by-id/usb-Radio");
    }
    void map() {
        fs::create_directories(ports);
        fs::create_symlink(dev + "/serial/by-id/usb-Radio", ports + "/COM3");
    }
};

// Whether what arrives within `wait` concerns the watched names.
bool told(PortNameWatch& watch, int waitMs) {
    pollfd p{watch.fd(), POLLIN, 0};
    if (::poll(&p, 1, waitMs) != 1) return false;
    return watch.takeEvents();
}

}  // namespace

TEST(PortNameWatch, EveryNameOnTheWayIsWatchedAndNoOther) {
    const struct {
        const char* change;
        std::function<void(Machine&)> make;
        bool concerns;
    } cases[] = {
        {"the device goes", [](Machine& m) { fs::remove(m.dev + "/ttyUSB0"); }, true},
        {"the by-id folder goes", [](Machine& m) { fs::remove_all(m.dev + "/serial"); }, true},
        {"the port's link goes", [](Machine& m) { fs::remove(m.ports + "/COM3"); }, true},
        {"the device's mode changes",
         [](Machine& m) { fs::permissions(m.dev + "/ttyUSB0", fs::perms::owner_read); }, true},
        {"another device comes", [](Machine& m) { testenv::writeFile(m.dev + "/ttyUSB1", ""); },
         false},
        {"another port is mapped",
         [](Machine& m) { fs::create_symlink(m.dev + "/ttyUSB1", m.ports + "/COM4"); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        Machine m;
        m.plugIn();
        m.map();
        PortNameWatch watch;
        ASSERT_GE(watch.fd(), 0);
        watch.watch("COM3");
        c.make(m);
        EXPECT_EQ(told(watch, c.concerns ? 2000 : 200), c.concerns);
    }
}

// Unplugged: the link goes first, then the device; the device is still looked after.
// Watched anew, plugged in again the way udev makes it (the device, the by-id folders, the link,
// then the device's group and mode), each step that brings the name nearer is told.
TEST(PortNameWatch, FollowsTheNameAwayAndBackAsUdevMakesIt) {
    Machine m;
    m.plugIn();
    m.map();
    PortNameWatch watch;
    watch.watch("COM3");
    fs::remove(m.dev + "/serial/by-id/usb-Radio");
    EXPECT_TRUE(told(watch, 2000));
    fs::remove(m.dev + "/ttyUSB0");
    EXPECT_TRUE(told(watch, 2000));
    fs::remove_all(m.dev + "/serial");
    EXPECT_TRUE(told(watch, 2000));
    watch.watch("COM3");  // as its owner does once it knows the device has gone

    testenv::writeFile(m.dev + "/ttyUSB0", "");
    EXPECT_FALSE(told(watch, 200));  // nothing leads there yet
    fs::create_directory(m.dev + "/serial");
    EXPECT_TRUE(told(watch, 2000));
    fs::create_directory(m.dev + "/serial/by-id");
    EXPECT_TRUE(told(watch, 2000));
    fs::create_symlink("../../ttyUSB0", m.dev + "/serial/by-id/usb-Radio");
    EXPECT_TRUE(told(watch, 2000));
    fs::permissions(m.dev + "/ttyUSB0", fs::perms::owner_read);
    EXPECT_TRUE(told(watch, 2000));

    watch.stop();
    fs::remove(m.dev + "/ttyUSB0");
    EXPECT_FALSE(told(watch, 200));
}
