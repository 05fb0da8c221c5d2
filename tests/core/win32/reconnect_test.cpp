// A receiver's adapter pulled out and plugged in again on Windows, as far as Wine shows it:
// the port is a pseudo-terminal whose far end is this test's TCP connection, so dropping
// the connection hangs the port up and takes it away, and a new port comes under the same
// name. Wine reports the loss through the transfers' errors; it has no device-change notice
// for such a port, so the test gives the front end's "the port is back" notice itself.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "core/errors.h"
#include "core/memorywindow.h"
#include "core/receivercontrol.h"
#include "tests/support/win32/unpluggable.h"

using namespace kivo;
using namespace std::chrono_literals;

namespace {

const std::string kLineLostMessage = "受信機との回線が切れました。再接続を待っています";

// The notices a front end gives, handed out by the test: the device-change notice and the
// pause's timer.
class GivenNotices : public PortNotices {
  public:
    void watchPort(const std::string& portname, std::function<void()> changed) override {
        watched = portname;
        changed_ = std::move(changed);
    }
    void stopWatching() override {
        watched.clear();
        changed_ = nullptr;
    }
    void callAfter(std::chrono::milliseconds, std::function<void()> due) override {
        due_ = std::move(due);
    }
    void cancelCall() override { due_ = nullptr; }

    void portBack() {
        if (auto changed = changed_) changed();
    }
    void timeUp() {
        if (auto due = std::exchange(due_, nullptr)) due();
    }

    std::string watched;

  private:
    std::function<void()> changed_, due_;
};

}  // namespace

// The transfers of the removed port fail, the receiver control learns the line is lost and
// waits ("ON" stays, the port is let go); told the port is back, it opens it again and the
// receiver gets the switch-on sequence, the tune and the volume the window shows.
TEST(ReceiverOnWin32, AnUnpluggedPortIsLostAndBroughtBackWhenItIsThereAgain) {
    testenv::UnpluggableFarEnd far;
    ASSERT_TRUE(far.plugIn());
    Trs232c port;
    port.txtimeout = 2000;
    port.rxtimeout = 2000;
    MemoryWindow window;
    ReceiverControl control(port, window);
    GivenNotices notices;
    window.control = &control;
    control.usePortNotices(&notices);
    window.port = far.portName();
    control.ComboBox1Change();
    window.am = true;
    window.frequency = "954";
    control.Button2Click();
    ASSERT_EQ(window.power, "ON");
    EXPECT_EQ(notices.watched, far.portName());
    EXPECT_EQ(far.drain(), "G300\r\nH101\r\nJ4000\r\nJ4101\r\n");

    far.unplug();
    for (int tick = 0; tick < 100 && !control.lineLost(); ++tick) {
        std::this_thread::sleep_for(50ms);
        control.Timer1Timer();  // the periodic tick meets the removed device
    }
    ASSERT_TRUE(control.lineLost());
    EXPECT_EQ(window.power, "ON");
    EXPECT_EQ(window.powerNotice, kLineLostMessage);
    EXPECT_FALSE(window.timer);
    EXPECT_FALSE(port.isOpen());

    window.setVolumePosition(100);  // goes nowhere, and is what the receiver gets back
    ASSERT_TRUE(far.plugIn());
    notices.portBack();
    notices.timeUp();
    EXPECT_FALSE(control.lineLost());
    std::string restored = far.drain();
    if (restored.starts_with("\r\n")) restored.erase(0, 2);  // ends the tick the loss cut
    EXPECT_EQ(restored, "G300\r\nH101\r\nJ4000\r\nJ4101\r\nK00000954000020100\r\nJ4064\r\n");
    EXPECT_EQ(window.powerNotice, "");
    EXPECT_TRUE(window.timer);

    control.Button2Click();
    EXPECT_EQ(far.drain(), "H100\r\n");
    EXPECT_EQ(notices.watched, "");
}
