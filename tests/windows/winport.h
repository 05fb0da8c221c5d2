// What the Windows tests need of the machine: the COM port pairs of the test run, each
// joined end to end like a null-modem cable; whether Wine stands in for Windows; a
// message loop that ends.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace winport {

// Wine differs from Windows in a few places; a test that meets one says so and checks
// what Wine does.
bool underWine();

// The pairs come from KIVO_TEST_COM_PAIRS ("COM1=COM11,COM2=COM12"), which the test run
// sets up (a pseudo-terminal pair behind each).
struct PortPair {
    std::string nearName;  // the port the code under test opens
    std::string farName;   // the far end, played by the test
};
PortPair portPair(int index);

// The far end of a pair, opened with the plain (not overlapped) Win32 calls.
class FarEnd {
  public:
    explicit FarEnd(const std::string& name);
    ~FarEnd();
    FarEnd(const FarEnd&) = delete;
    FarEnd& operator=(const FarEnd&) = delete;

    void write(const std::string& bytes);
    // Reads until `expected` bytes are in or `timeout` passes.
    std::string read(std::size_t expected, std::chrono::milliseconds timeout);
    // Reads until nothing more arrives for `quiet` (bounded by `timeout`).
    std::string drain(std::chrono::milliseconds quiet = std::chrono::milliseconds(100),
                      std::chrono::milliseconds timeout = std::chrono::seconds(5));

  private:
    std::size_t waiting();
    std::string take(std::size_t n);
    void* h_;
};

// The port that can be unplugged (KIVO_TEST_UNPLUGGABLE, "COM3=127.0.0.1:PORT"): a
// pseudo-terminal whose far end is this test's TCP connection. Dropping the connection
// hangs the port up and takes it away; a new port comes under the same name at once, and
// reaches the test once plugIn() has taken its connection.
class UnpluggableFarEnd {
  public:
    UnpluggableFarEnd();  // listens; throws when the run has no such port
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
    std::string port_;
    std::uintptr_t listener_;
    std::uintptr_t connection_;
};

// Handles the process holds now.
int processHandleCount();

// Runs the calling thread's message loop until `done` holds; false when `limit` passed.
bool runMessagesUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(5));

}  // namespace winport
