// A program run as a child process with its standard output and error captured.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

class ChildProcess {
  public:
    explicit ChildProcess(const std::vector<std::string>& argv);  // throws on failure
    ~ChildProcess();  // kills and reaps a child still running
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Reads output until it contains `text`; false when the time is up or output ended.
    bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout);
    void signal(int signo);
    // Reads the rest of the output and reaps the child. Returns its exit code, or -1 when
    // it did not end in time (it is then killed) or ended by a signal.
    int finish(std::chrono::milliseconds timeout);

    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

  private:
    bool pump(std::chrono::steady_clock::time_point deadline);

    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string out_;
    std::string err_;
};

// Runs a program to its end and returns its exit code (-1 as for finish()).
int runProgram(const std::vector<std::string>& argv, std::string* out, std::string* err,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));
