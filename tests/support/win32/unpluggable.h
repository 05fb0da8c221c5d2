// The port that can be unplugged (KIVO_TEST_UNPLUGGABLE, "COM3=127.0.0.1:PORT"): a
// pseudo-terminal whose far end is this test's TCP connection. Dropping the connection
// hangs the port up and takes it away; a new port comes under the same name at once, and
// reaches the test once plugIn() has taken its connection.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "tests/support/win32/portturn.h"

namespace testenv {

class UnpluggableFarEnd {
  public:
    // Listens, in the run's turn at the ports; throws when the run has no such port.
    UnpluggableFarEnd();
    ~UnpluggableFarEnd();
    UnpluggableFarEnd(const UnpluggableFarEnd&) = delete;
    UnpluggableFarEnd& operator=(const UnpluggableFarEnd&) = delete;

    const std::string& portName() const { return port_; }
    bool plugIn(std::chrono::milliseconds limit = std::chrono::seconds(10));
    void unplug();
    // Reads until nothing more arrives for `quiet` (bounded by `timeout`).
    std::string drain(std::chrono::milliseconds quiet = std::chrono::milliseconds(200),
                      std::chrono::milliseconds timeout = std::chrono::seconds(5));

  private:
    PortTurn turn_;  // first taken, last let go
    std::string port_;
    std::uintptr_t listener_;
    std::uintptr_t connection_;
};

}  // namespace testenv
