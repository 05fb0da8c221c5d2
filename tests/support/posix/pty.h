// A pseudo-terminal pair, the far end of a serial line on POSIX.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace testenv {

// A pseudo-terminal: the test plays the far end on the master, the code under test
// opens the slave by its path (or by a COM name linked to it in a ports folder). Only the
// master is held, as a real device's far end would be: a slave held here would be another
// program holding the port. While the slave is closed, reads of the master end at once.
class Pty {
  public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& slavePath() const { return slave_; }
    int master() const { return master_; }

    // Links `comName` (e.g. "COM3") to the slave inside `portsDir`.
    void linkAs(const std::string& portsDir, const std::string& comName) const;

    void write(const std::string& bytes);
    // Reads what arrives until `expected` bytes are in or `timeout` passes.
    std::string read(std::size_t expected, std::chrono::milliseconds timeout);
    // Reads until nothing more arrives for `quiet` (bounded by `timeout`).
    std::string drain(std::chrono::milliseconds quiet = std::chrono::milliseconds(100),
                      std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Closes the master: the slave side sees a hang-up.
    void hangUp();
    // Stops the slave's output as a far end's XOFF would (nothing more reaches the master;
    // returns once the stop has taken effect), or lets it move again.
    void holdOutput(bool held);

  private:
    using Clock = std::chrono::steady_clock;
    std::string readUntil(const std::function<bool(const std::string&)>& enough,
                          std::chrono::milliseconds quiet, Clock::time_point deadline);

    int master_ = -1;
    std::string slave_;
    bool holding_ = false;
    unsigned long savedInputFlags_ = 0;
};

}  // namespace testenv
