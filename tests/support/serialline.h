// A serial line for a test: the code under test opens its near end by a COM name, the test
// plays the far end as a receiver on the cable would. On POSIX the line is a
// pseudo-terminal linked under that name in a private ports folder, which KIVO_PORTS names
// while the line lives. On Windows it is one of the COM port pairs the test run joined end
// to end; the run's test programs take the pairs in turn, so a line may wait for them.
#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace testenv {

class SerialLine {
  public:
    // The near end is called `name` ("COM3"); empty takes the platform's first line.
    // Windows can name it only as one end of a pair.
    explicit SerialLine(const std::string& name = "");
    ~SerialLine();
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    const std::string& name() const;

    void write(const std::string& bytes);
    // Reads what arrives until `expected` bytes are in or `timeout` passes.
    std::string read(std::size_t expected, std::chrono::milliseconds timeout);
    // Reads until nothing more arrives for `quiet` (bounded by `timeout`).
    std::string drain(std::chrono::milliseconds quiet = std::chrono::milliseconds(100),
                      std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // What switching on says for `com`, a COM name with nothing behind it here: on POSIX
    // the missing link in this line's ports folder, on Windows only the name.
    std::string missingPortMessage(const std::string& com) const;

  private:
    struct FarEnd;
    std::unique_ptr<FarEnd> far_;
};

}  // namespace testenv
