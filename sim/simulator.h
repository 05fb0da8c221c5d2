// A simulated receiver on a pseudo-terminal, registered as a COM name in a ports folder.
// Its own thread reads CR LF command lines, keeps the state they imply, logs each line with a
// time stamp and answers it briefly ("OK" or "ERR", CR LF). Tests read back what arrived.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sim/ports_dir.h"
#include "sim/pty_pair.h"
#include "sim/receiver_state.h"

namespace sim {

struct ReceivedLine {
    std::chrono::system_clock::time_point at;
    std::string text;  // the bytes before the line end
    bool understood = false;
    std::string meaning;
};

class Simulator {
  public:
    struct Options {
        std::string portsDir;  // empty: defaultPortsDir()
        std::string portName = "COM1";
        // Both run on the simulator's thread, in order: one call per received line, and
        // one per change of the summary (see summary()).
        std::function<void(const std::string&)> onLog;
        std::function<void(const std::string&)> onSummary;
        // A line longer than this is not a command: it is logged as such and dropped.
        std::size_t maxLineLength = 4096;
    };

    // Opens the pty, registers the link and starts the thread; throws SimError.
    explicit Simulator(Options options);
    // Stops the thread, removes the link, closes the pty.
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    const std::string& portName() const { return options_.portName; }
    const std::string& portsDir() const { return options_.portsDir; }
    const std::string& linkPath() const { return linkPath_; }
    // The pseudo-terminal's slave; empty while unplugged.
    std::string devicePath() const;

    // The receiver's adapter pulled out: the line hangs up (the pseudo-terminal goes) and
    // the port's link is removed; the receiver forgets its state, as one that lost its
    // power would. replug() puts a new pseudo-terminal under the same link. Both log a line.
    void unplug();
    void replug();
    bool plugged() const;

    // Everything recorded since start or the last clear().
    std::string received() const;               // the exact bytes
    std::vector<std::string> lines() const;     // complete lines, without line ends
    std::vector<ReceivedLine> records() const;  // the same with time and meaning
    std::vector<std::string> logLines() const;  // what went to onLog
    ReceiverState state() const;

    // Wait until at least n lines (bytes) are recorded; false when the time is up.
    bool waitForLines(std::size_t n, std::chrono::milliseconds timeout) const;
    bool waitForBytes(std::size_t n, std::chrono::milliseconds timeout) const;

    // Forgets what was recorded; the receiver state and a line in progress stay.
    void clear();

  private:
    // What one read produced, handed out after the lock is released.
    struct Events {
        std::vector<std::pair<bool, std::string>> reports;  // (is summary, text), in order
        std::string answers;
    };

    void run();
    void startReading();
    void stopReading();
    void report(const std::string& what);
    void drainOpenEvents();
    void consume(const char* data, std::size_t size, Events& events);
    void finishLine(std::string text, bool overlong, Events& events);
    void answer(const std::string& bytes);

    Options options_;
    std::unique_ptr<PtyPair> pty_;  // none while unplugged
    std::string linkPath_;
    int stopRead_ = -1;
    int stopWrite_ = -1;
    int openWatch_ = -1;  // inotify: the slave being opened

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::string received_;
    std::vector<ReceivedLine> records_;
    std::vector<std::string> logLines_;
    ReceiverState state_;

    // Reader thread only.
    std::string partial_;
    bool discarding_ = false;  // inside an overlong line, up to its LF
    bool answerDropped_ = false;
    std::string lastSummary_;

    std::thread thread_;
};

// "2026-12-08 01:50:12.345" in local time.
std::string timeStamp(std::chrono::system_clock::time_point at);

}  // namespace sim
