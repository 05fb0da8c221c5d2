// An in-memory window and its handlers on a real port: a pseudo-terminal registered as
// COM3 and chosen in the port chooser, whose far end the test reads (and whose output
// it can stop at a chosen byte).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "core/memorywindow.h"
#include "core/receivercontrol.h"
#include "tests/support/posix/holdingcommapi.h"
#include "tests/support/posix/pty.h"
#include "tests/support/testenv.h"

class PtyWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        pty.linkAs(ports, "COM3");
        port.txtimeout = 2000;
        port.rxtimeout = 2000;
        window.control = &control;
        window.port = "COM3";
        control.ComboBox1Change();
    }
    void TearDown() override { port.close(); }

    // What reached the far end since the last call.
    std::string line() { return pty.drain(std::chrono::milliseconds(50)); }

    testenv::TempDir dir;
    std::string ports = dir.file("ports");
    testenv::ScopedEnv env{"KIVO_PORTS", ports};
    testenv::Pty pty;
    HoldingCommApi api{pty};
    Trs232c port{api};
    kivo::MemoryWindow window;
    kivo::ReceiverControl control{port, window};
};
