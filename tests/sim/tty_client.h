// The program's side of a simulated line: the port device opened as a plain tty.
#pragma once

#include <chrono>
#include <string>

class TtyClient {
  public:
    explicit TtyClient(const std::string& device);  // throws on failure
    ~TtyClient();
    TtyClient(const TtyClient&) = delete;
    TtyClient& operator=(const TtyClient&) = delete;

    void write(const std::string& bytes);
    // Reads until `expected` bytes are in or the time is up.
    std::string read(std::size_t expected,
                     std::chrono::milliseconds timeout = std::chrono::seconds(5));

  private:
    int fd_ = -1;
};
