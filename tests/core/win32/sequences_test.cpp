// The receiver operations over the Win32 port: the exact bytes on the line.
#include <gtest/gtest.h>

#include <thread>

#include "core/memorywindow.h"
#include "core/receivercontrol.h"
#include "tests/support/serialline.h"

using namespace kivo;

TEST(ReceiverOnWin32, CommandsReachTheLineByteForByte) {
    testenv::SerialLine far;
    Trs232c port;
    port.txtimeout = 2000;
    port.rxtimeout = 2000;
    MemoryWindow window;
    ReceiverControl control(port, window);
    window.control = &control;
    window.port = far.name();
    control.ComboBox1Change();
    window.list.setLines({"Test,FM,80.7,120," + far.name()});
    window.am = true;

    control.Button2Click();
    ASSERT_EQ(window.power, "ON");
    EXPECT_EQ(far.drain(), "G300\r\nH101\r\nJ4000\r\nJ4101\r\n");

    window.list.setSelectedIndex(0);
    control.ListBox1DblClick();
    EXPECT_EQ(far.drain(), "K00080700000060400\r\nK00080700000060400\r\nJ4078\r\nJ4078\r\n");

    far.write("OK\r\nOK\r\n");
    for (int i = 0; i < 200 && port.rxcount() < 8; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(port.rxcount(), 8);
    control.Timer1Timer();
    EXPECT_EQ(far.drain(), "J4101\r\n");
    EXPECT_EQ(port.rxcount(), 0);  // the replies were read and dropped

    control.FormClose();
    EXPECT_EQ(far.drain(), "H100\r\n");
    EXPECT_FALSE(port.isOpen());
}
