// Real resources for tests: a private folder, a pseudo-terminal pair, an environment
// variable set for one test. Everything is released by the destructor.
#pragma once

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace testenv {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

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
    int master_ = -1;
    std::string slave_;
    bool holding_ = false;
    unsigned long savedInputFlags_ = 0;
};

// A whole file's bytes written (replacing it) and read back; reading a missing file gives "".
// (Inline: the Windows build's support library shares this header.)
inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}
inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Sets an environment variable for the lifetime of the object, then restores it.
class ScopedEnv {
  public:
    ScopedEnv(const std::string& name, const std::string& value);
    ~ScopedEnv();

  private:
    std::string name_;
    bool had_ = false;
    std::string old_;
};

// Switches the C library to a locale whose decimal point is "," for the lifetime of the
// object, then back to "C". Where none can be had here (no locale tools), available() is
// false and nothing changes.
class DecimalCommaLocale {
  public:
    DecimalCommaLocale();
    ~DecimalCommaLocale();
    DecimalCommaLocale(const DecimalCommaLocale&) = delete;
    DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;
    bool available() const { return available_; }
    bool active() const { return active_; }  // setlocale took it

  private:
    TempDir dir_;  // where a locale built for the test lives while in use
    bool available_ = false;
    bool active_ = false;
};

}  // namespace testenv
