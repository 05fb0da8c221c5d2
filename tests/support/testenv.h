// Real resources for tests: a private folder, whole files, an environment variable set for
// one test, a locale with a decimal comma, and bounded waiting. Everything is released by
// the destructor.
#pragma once

#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
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

// True where Wine stands in for Windows. Wine differs from Windows in a few places; a
// test that meets one says what Windows does and checks what Wine does.
bool underWine();

// What the process holds of the system now, to compare before and after (POSIX: open
// files and threads; Windows: handles).
std::string heldResources();

// Polls `done` every few milliseconds until it holds or `limit` passes.
inline bool eventually(const std::function<bool()>& done,
                       std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

inline double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace testenv
