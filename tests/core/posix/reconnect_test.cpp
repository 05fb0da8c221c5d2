// The line to the receiver lost and found again, against an in-memory window: a
// pseudo-terminal registered as COM3 stands in for the adapter; the test hangs it up and
// removes its link (an unplug), then makes a new one under the link (a replug). The port
// services' inotify watch tells of it, polled here as a front end's event loop would.
#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "core/errors.h"
#include "core/memorywindow.h"
#include "core/receivercontrol.h"
#include "core/remoteprotocol.h"
#include "core/remotesession.h"
#include "serial/posix/ports/portwatch.h"
#include "tests/support/posix/heldterminal.h"
#include "tests/support/posix/pty.h"
#include "tests/support/testenv.h"

using namespace kivo;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kLineLostMessage = "受信機との回線が切れました。再接続を待っています";

const std::string kRestored = "G300\r\nH101\r\nJ4000\r\nJ4101\r\nK00000954000020100\r\nJ4050\r\n";

// The notices a front end gives, on the real watch: runUntil() is its event loop.
class PolledNotices : public PortNotices {
  public:
    void watchPort(const std::string& portname, std::function<void()> changed) override {
        changed_ = std::move(changed);
        watch_.watch(portname);
    }
    void stopWatching() override {
        changed_ = nullptr;
        watch_.stop();
    }
    void callAfter(std::chrono::milliseconds delay, std::function<void()> due) override {
        due_ = std::move(due);
        dueAt_ = Clock::now() + delay;
    }
    void cancelCall() override { due_ = nullptr; }
    bool waiting() const { return changed_ || due_; }

    // Runs the notices and the call as they come until `done` holds (true) or `limit` is up.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        const auto end = Clock::now() + limit;
        while (!done()) {
            auto next = end;
            if (due_) next = std::min(next, dueAt_);
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now());
            pollfd p{watch_.fd(), POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(std::max<std::int64_t>(0, left.count())));
            if ((p.revents & POLLIN) && watch_.takeEvents() && changed_) {
                auto changed = changed_;  // it may replace itself
                changed();
            }
            if (due_ && Clock::now() >= dueAt_) std::exchange(due_, nullptr)();
            if (Clock::now() >= end) return done();
        }
        return true;
    }

  private:
    comm::posix::PortNameWatch watch_;
    std::function<void()> changed_, due_;
    Clock::time_point dueAt_;
};

class Reconnect : public ::testing::Test {
  protected:
    void SetUp() override {
        adapter->linkAs(ports, "COM3");
        port.txtimeout = 2000;
        port.rxtimeout = 2000;
        window.control = &control;
        control.usePortNotices(&notices);
        window.port = "COM3";
        control.ComboBox1Change();
        window.am = true;
        window.frequency = "954";
        control.Button2Click();
        ASSERT_EQ(line(), "G300\r\nH101\r\nJ4000\r\nJ4101\r\n");
    }
    void TearDown() override { port.close(); }

    std::string line() { return adapter ? adapter->drain(50ms) : std::string(); }

    // The far end goes (a hang-up) and the port's link with it; the loss is seen.
    void unplug() {
        adapter->hangUp();
        std::filesystem::remove(ports + "/COM3");
        adapter.reset();
        ASSERT_TRUE(notices.runUntil([&] { return control.lineLost(); }, 2s));
    }
    // A new far end under the link: true once the receiver has got `expected`.
    bool replug(const std::string& expected = kRestored) {
        adapter.emplace();
        adapter->linkAs(ports, "COM3");
        std::string got;
        notices.runUntil(
            [&] {
                got += adapter->drain(5ms, 5ms);
                return got.size() >= expected.size() && !control.lineLost();
            },
            2s);
        got += line();
        EXPECT_EQ(got, expected);
        return got == expected;
    }

    testenv::TempDir dir;
    std::string ports = dir.file("ports");
    testenv::ScopedEnv env{"KIVO_PORTS", ports};
    std::optional<testenv::Pty> adapter{std::in_place};
    Trs232c port;
    MemoryWindow window;
    ReceiverControl control{port, window};
    PolledNotices notices;
};

}  // namespace

// Unplugged while on and idle: the window shows the loss without a box, "ON" and the
// chooser stay, the tick waits; plugged in again, the receiver gets the switch-on sequence,
// the tune and the volume the window shows, within 2 s, and the tick resumes. Before, the
// window showed "ON" for ever and every command went nowhere.
TEST_F(Reconnect, AnUnpluggedReceiverIsBroughtBackAsTheWindowShows) {
    unplug();
    EXPECT_EQ(window.power, "ON");
    EXPECT_FALSE(window.portOn);
    EXPECT_EQ(window.powerNotice, kLineLostMessage);
    EXPECT_FALSE(window.timer);
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(window.messages.empty());

    // What the user changes meanwhile goes nowhere, and is what the receiver gets back.
    control.Timer1Timer();
    window.setFrequencyText("594");
    window.setVolumePosition(100);
    ASSERT_TRUE(replug("G300\r\nH101\r\nJ4000\r\nJ4101\r\nK00000594000020100\r\nJ4064\r\n"));
    EXPECT_EQ(window.powerNotice, "");
    EXPECT_TRUE(window.timer);
    EXPECT_TRUE(port.isOpen());

    // And again: the watch follows the new device.
    unplug();
    ASSERT_TRUE(replug("G300\r\nH101\r\nJ4000\r\nJ4101\r\nK00000594000020100\r\nJ4064\r\n"));
}

// While the line is lost a remote client's tune, band, volume and switch-on answer
// RPRT -6 and change nothing; reading answers from the window; switching off ends the
// wait (RPRT 0), and a port back afterwards gets nothing.
TEST_F(Reconnect, RemoteCommandsWhileLostAndSwitchingOffEndsTheWait) {
    RemoteProtocol protocol(control);
    RemoteSession session(protocol);
    unplug();
    EXPECT_EQ(session.feed("F 80700000\nM AM 0\nL AF 0.5\n\\set_powerstat 1\n"),
              "RPRT -6\nRPRT -6\nRPRT -6\nRPRT -6\n");
    EXPECT_EQ(window.frequency, "954");
    EXPECT_EQ(window.volume, 80);
    EXPECT_EQ(session.feed("f\n\\get_powerstat\n"), "954000\n1\n");

    EXPECT_EQ(session.feed("\\set_powerstat 0\n"), "RPRT 0\n");
    EXPECT_EQ(window.power, "OFF");
    EXPECT_FALSE(control.lineLost());
    EXPECT_EQ(window.powerNotice, "");
    EXPECT_FALSE(notices.waiting());
    adapter.emplace();
    adapter->linkAs(ports, "COM3");
    notices.runUntil([] { return false; }, 300ms);
    EXPECT_EQ(line(), "");
    EXPECT_FALSE(port.isOpen());
}

// Back, but another program holds the device now: it is left alone and the window says
// who holds it; once that program lets it go and the port's name changes, it comes back.
TEST_F(Reconnect, BackButHeldByAnotherProgramIsLeftAlone) {
    unplug();
    adapter.emplace();
    std::optional<testenv::HeldTerminal> other(std::in_place, *adapter);
    adapter->drain();  // its echo
    adapter->linkAs(ports, "COM3");
    ASSERT_TRUE(notices.runUntil([&] { return window.powerNotice != kLineLostMessage; }, 2s));
    EXPECT_EQ(window.powerNotice, kLineLostMessage + std::string("\n") + adapter->slavePath() +
                                      " は他のプログラムが使用中です: sleep (pid " +
                                      std::to_string(other->pid()) + ")");
    EXPECT_TRUE(control.lineLost());
    EXPECT_FALSE(port.isOpen());

    other.reset();
    adapter->drain();
    std::filesystem::remove(ports + "/COM3");
    adapter->linkAs(ports, "COM3");
    notices.runUntil([&] { return !control.lineLost(); }, 2s);
    EXPECT_EQ(line(), kRestored);
}

// A line gone and back several times a second: at most one restore a second, each device
// gets one whole sequence or the start of one (never two interleaved), and once the line
// stays the receiver is brought back within 2 s.
TEST_F(Reconnect, AFlappingLineGetsOneRestoreASecondAtMost) {
    unplug();
    int restores = 0;
    const auto start = Clock::now();
    for (int flap = 0; flap < 16; ++flap) {
        adapter.emplace();
        adapter->linkAs(ports, "COM3");
        notices.runUntil([] { return false; }, 100ms);
        std::string got = adapter->drain(20ms);
        adapter->hangUp();
        std::filesystem::remove(ports + "/COM3");
        adapter.reset();
        notices.runUntil([] { return false; }, 20ms);
        if (got.starts_with("\r\n")) got.erase(0, 2);  // ends a command the last one cut
        EXPECT_TRUE(kRestored.starts_with(got)) << got;
        restores += got.starts_with("G300");
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_GE(restores, 1);
    EXPECT_LE(restores, static_cast<int>(seconds) + 1) << seconds << " s";
    adapter.emplace();
    adapter->linkAs(ports, "COM3");
    std::string got;
    EXPECT_TRUE(notices.runUntil([&] { return !control.lineLost(); }, 2s));
    got = line();
    if (got.starts_with("\r\n")) got.erase(0, 2);
    EXPECT_EQ(got, kRestored);
}
