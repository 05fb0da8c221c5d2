// An in-memory window and its handlers on the platform's own serial backend: the
// receiver's line chosen in the port chooser, its far end read by the test.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "core/memorywindow.h"
#include "core/receivercontrol.h"
#include "tests/support/serialline.h"

class LineWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        port.txtimeout = 2000;
        port.rxtimeout = 2000;
        window.control = &control;
        window.port = far.name();
        control.ComboBox1Change();
    }
    void TearDown() override { port.close(); }

    // What reached the far end since the last call.
    std::string line() { return far.drain(std::chrono::milliseconds(50)); }

    testenv::SerialLine far;
    Trs232c port;
    kivo::MemoryWindow window;
    kivo::ReceiverControl control{port, window};
};
