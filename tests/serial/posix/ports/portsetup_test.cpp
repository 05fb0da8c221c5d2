// --list-ports, --map-port and --unmap-port against a private ports folder and a fake
// /dev and sysfs whose devices are real pseudo-terminals.
#include "serial/posix/ports/portsetup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/errors.h"
#include "serial/posix/ports/portnames.h"
#include "serial/rs232c.h"
#include "tests/support/posix/asnobody.h"
#include "tests/support/posix/heldterminal.h"
#include "tests/support/posix/pty.h"
#include "tests/support/testenv.h"

namespace fs = std::filesystem;

namespace {

void writeFile(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << "\n";
}

// ttyUSB0 (an FTDI adapter with a by-id name), ttyACM0 (no by-id name), ttyS0 with a
// UART and ttyS1 without; COM2 leads to ttyACM0, COM3 to nothing any more.
class PortSetupTest : public testing::Test {
  protected:
    PortSetupTest() {
        setup.roots = {root.file("dev"), root.file("sys")};
        const fs::path dev = setup.roots.dev, sys = setup.roots.sys;
        fs::create_directories(dev / "serial/by-id");
        fs::create_symlink(usb.slavePath(), dev / "ttyUSB0");
        fs::create_symlink(acm.slavePath(), dev / "ttyACM0");
        fs::create_symlink(uart.slavePath(), dev / "ttyS0");
        fs::create_symlink("/dev/null", dev / "ttyS1");
        fs::create_symlink("../../ttyUSB0", dev / "serial/by-id" / ftdi);

        const fs::path usb1 = sys / "devices/pci0000:00/usb1";
        fs::create_directories(usb1 / "1-1/1-1:1.0/ttyUSB0");
        fs::create_directories(usb1 / "1-2/1-2:1.0");
        fs::create_directories(sys / "class/tty/ttyUSB0");
        fs::create_directories(sys / "class/tty/ttyACM0");
        fs::create_symlink(usb1 / "1-1/1-1:1.0/ttyUSB0", sys / "class/tty/ttyUSB0/device");
        fs::create_symlink(usb1 / "1-2/1-2:1.0", sys / "class/tty/ttyACM0/device");
        for (auto [file, text] : {std::pair{"1-1/idVendor", "0403"},
                                  {"1-1/idProduct", "6001"},
                                  {"1-1/manufacturer", "FTDI"},
                                  {"1-1/product", "FT232R USB UART"},
                                  {"1-1/serial", "A50285BI"},
                                  {"1-2/idVendor", "2341"},
                                  {"1-2/idProduct", "0043"},
                                  {"1-2/product", "Uno"}})
            writeFile(usb1 / file, text);
        writeFile(sys / "class/tty/ttyS0/type", "4");
        writeFile(sys / "class/tty/ttyS1/type", "0");

        fs::create_directories(ports.path());
        fs::create_symlink(dev / "ttyACM0", ports.file("COM2"));
        fs::create_symlink(dev / "ttyUSB9", ports.file("COM3"));
    }

    std::string list() {
        std::ostringstream out;
        EXPECT_EQ(kivo::listPorts(setup, out), 0);
        return out.str();
    }
    int map(const std::string& com, const std::string& device) {
        out.str({});
        err.str({});
        return kivo::mapPort(setup, com, device, out, err);
    }
    std::string dev(const std::string& name) const { return setup.roots.dev + "/" + name; }
    std::string byId() const { return dev("serial/by-id/" + ftdi); }

    const std::string ftdi = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    testenv::TempDir root, ports;
    testenv::ScopedEnv portsEnv{"KIVO_PORTS", ports.path()};
    testenv::TempDir locks;
    testenv::ScopedEnv lockEnv{"KIVO_LOCK_DIR", locks.path()};
    testenv::Pty usb, acm, uart;
    kivo::PortSetup setup;
    std::ostringstream out, err;
};

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST_F(PortSetupTest, ListShowsNamesDevicesAndHowToMapThem) {
    testenv::HeldTerminal other(acm);
    const std::string text = list();
    SCOPED_TRACE(text);
    EXPECT_TRUE(has(text, "Port names (links in " + ports.path() + "):\n  COM1  not mapped\n"));
    EXPECT_TRUE(has(text, "  COM2  -> " + dev("ttyACM0") + " (" + acm.slavePath() +
                              ")  in use by sleep (pid " + std::to_string(other.pid()) + ")\n"));
    EXPECT_TRUE(has(text, "  COM3  -> " + dev("ttyUSB9") + "  no such device\n"));

    EXPECT_TRUE(has(text, "Serial devices:\n  " + dev("ttyACM0") + "  USB 2341:0043 Uno\n" +
                              "    port name: COM2\n"));
    EXPECT_TRUE(has(text, "  " + dev("ttyS0") +
                              "\n    no port name; to give it one: kivo "
                              "--map-port COM1 " +
                              dev("ttyS0") + "\n"));
    EXPECT_TRUE(has(text, "  " + dev("ttyUSB0") +
                              "  USB 0403:6001 FTDI FT232R USB UART, serial A50285BI\n"
                              "    by-id: " +
                              byId() + "\n    no port name; to give it one: kivo --map-port COM4 " +
                              byId() + "\n"));
    EXPECT_FALSE(has(text, "ttyS1")) << "a port without a UART is no device";
}

TEST_F(PortSetupTest, MapPrefersTheStableNameAndSaysWhatItReplaced) {
    ASSERT_EQ(map("COM1", dev("ttyUSB0")), 0) << err.str();
    EXPECT_EQ(out.str(), "COM1 -> " + byId() + " (" + usb.slavePath() + ")\n");
    EXPECT_EQ(fs::read_symlink(ports.file("COM1")), byId());
    EXPECT_TRUE(has(list(), "  COM1  -> " + byId() + " (" + usb.slavePath() + ")  opens now\n"));

    ASSERT_EQ(map("COM2", uart.slavePath()), 0) << err.str();
    EXPECT_EQ(out.str(),
              "COM2 -> " + uart.slavePath() + "\nreplaced: COM2 -> " + dev("ttyACM0") + "\n");
    ASSERT_EQ(map("COM2", uart.slavePath()), 0);
    EXPECT_EQ(out.str(), "COM2 already leads to " + uart.slavePath() + "\n");

    std::ostringstream o, e;
    EXPECT_EQ(kivo::unmapPort(setup, "COM2", o, e), 0);
    EXPECT_EQ(o.str(), "removed COM2 -> " + uart.slavePath() + "\n");
    EXPECT_FALSE(fs::exists(fs::symlink_status(ports.file("COM2"))));
    EXPECT_EQ(kivo::unmapPort(setup, "COM2", o, e), 1);
    EXPECT_TRUE(has(e.str(), "COM2 is not mapped")) << e.str();
}

TEST_F(PortSetupTest, MapAndUnmapRefuseWhatIsNotTheirs) {
    writeFile(ports.file("COM7"), "someone's file");
    const std::string plain = root.file("plain");
    writeFile(plain, "text");
    const struct {
        std::string com, device, message;
    } cases[] = {
        {"COMX", dev("ttyUSB0"), "COMX is not a port name"},
        {"com1", dev("ttyUSB0"), "com1 is not a port name"},
        {"COM1", "/dev/null", "/dev/null is not a serial device"},
        {"COM1", plain, plain + " is not a serial device"},
        {"COM1", dev("ttyUSB9"), dev("ttyUSB9") + ": no such device"},
        {"COM7", dev("ttyUSB0"), ports.file("COM7") + " is not a link; leaving it alone"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.com + " " + k.device);
        EXPECT_EQ(map(k.com, k.device), 1);
        EXPECT_TRUE(has(err.str(), k.message)) << err.str();
        EXPECT_EQ(out.str(), "");
    }
    std::ostringstream o, e;
    EXPECT_EQ(kivo::unmapPort(setup, "COM7", o, e), 1);
    EXPECT_TRUE(fs::is_regular_file(ports.file("COM7")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(ports.file("COM1"))));
}

// A name is mapped exactly when the port lookup will resolve it (before, COM0 and COM
// with more digits than the lookup reads were mapped, exit 0, and never led anywhere).
TEST_F(PortSetupTest, MapTakesExactlyTheNamesTheLookupResolves) {
    const struct {
        std::string com;
        bool resolves;
    } cases[] = {
        {"COM1", true},
        {"COM01", true},
        {"COM100000", true},
        {"COM0", false},
        {"COM00", false},
        {"COM100001", false},
        {"COM" + std::string(40, '9'), false},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.com);
        EXPECT_EQ(map(k.com, dev("ttyUSB0")), k.resolves ? 0 : 1);
        EXPECT_EQ(comm::posix::resolvePortName(k.com),
                  k.resolves ? std::optional<std::string>(ports.file(k.com)) : std::nullopt);
        if (!k.resolves) {
            EXPECT_TRUE(has(err.str(), k.com + " is not a port name")) << err.str();
        }
    }
}

// A stale lock of another user in a sticky lock folder (as /run/lock is) cannot be
// replaced, so the port does not open for an ordinary user: the open's reason and the list
// agree and name the file, which stays as it was (before, the open called the port in use
// by another program, and the list said it opens now).
TEST_F(PortSetupTest, AStaleLockThatCannotBeRemovedIsNamedByTheOpenAndTheListAlike) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to make another user's lock";
    for (const std::string& dir : {root.path(), root.file("dev"), ports.path()})
        ::chmod(dir.c_str(), 0755);
    ::chmod(acm.slavePath().c_str(), 0666);
    ASSERT_EQ(::chmod(locks.path().c_str(), 01777), 0);
    const std::string lockFile =
        locks.file("LCK.." + fs::path(acm.slavePath()).filename().string());
    const std::string dead = std::to_string(testenv::deadPid());
    testenv::writeFile(lockFile, dead + "\n");  // root's

    const std::string seen = testenv::asNobody([this] {
        Trs232c c;
        c.portname = "COM2";
        const bool opened = c.open();
        return std::string(opened ? "opened" : "refused") + "\n" +
               kivo::openFailureReason(c.api().lastOpenFailure()) + "\n" + list();
    });
    EXPECT_TRUE(has(seen, "refused\n" + acm.slavePath() + " を開けません: 終了したプロセス (pid " +
                              dead + ") のロックファイル " + lockFile +
                              "（所有者 root）が残っていて、このユーザーには削除できません\n"))
        << seen;
    EXPECT_TRUE(has(seen, "  COM2  -> " + dev("ttyACM0") + " (" + acm.slavePath() +
                              ")  blocked by the stale lock file " + lockFile + " (pid " + dead +
                              " has ended; owner root), which this user may not remove\n"))
        << seen;
    EXPECT_EQ(testenv::readFile(lockFile), dead + "\n");

    // Its owner may replace it.
    Trs232c c;
    c.portname = "COM2";
    ASSERT_TRUE(c.open());
    EXPECT_EQ(std::stol(testenv::readFile(lockFile)), ::getpid());
}
