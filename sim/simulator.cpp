#include "sim/simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace sim {

std::string timeStamp(std::chrono::system_clock::time_point at) {
    using namespace std::chrono;
    std::time_t secs = system_clock::to_time_t(at);
    auto ms = duration_cast<milliseconds>(at.time_since_epoch()).count() % 1000;
    if (ms < 0) ms += 1000;
    std::tm tm{};
    ::localtime_r(&secs, &tm);
    char buf[40];
    std::size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    std::snprintf(buf + n, sizeof buf - n, ".%03d", static_cast<int>(ms));
    return buf;
}

Simulator::Simulator(Options options) : options_(std::move(options)) {
    if (options_.portsDir.empty()) options_.portsDir = defaultPortsDir();
    if (options_.maxLineLength == 0) options_.maxLineLength = 1;
    lastSummary_ = summary(state_);
    int fds[2];
    if (::pipe(fds) != 0) throw SimError(std::string("pipe: ") + std::strerror(errno));
    stopRead_ = fds[0];
    stopWrite_ = fds[1];
    ::fcntl(stopRead_, F_SETFD, FD_CLOEXEC);
    ::fcntl(stopWrite_, F_SETFD, FD_CLOEXEC);
    ::fcntl(stopRead_, F_SETFL, O_NONBLOCK);
    try {
        startReading();
    } catch (...) {
        ::close(stopRead_);
        ::close(stopWrite_);
        throw;
    }
}

Simulator::~Simulator() {
    stopReading();
    ::close(stopRead_);
    ::close(stopWrite_);
}

// A pseudo-terminal, its link and the thread reading it.
void Simulator::startReading() {
    auto pty = std::make_unique<PtyPair>();
    linkPath_ = registerPort(options_.portsDir, options_.portName, pty->slavePath());
    openWatch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (openWatch_ >= 0 && ::inotify_add_watch(openWatch_, pty->slavePath().c_str(), IN_OPEN) < 0) {
        ::close(openWatch_);
        openWatch_ = -1;
    }
    {
        std::lock_guard lock(mutex_);
        pty_ = std::move(pty);
    }
    try {
        thread_ = std::thread([this] { run(); });
    } catch (...) {
        unregisterPort(linkPath_, pty_->slavePath());
        if (openWatch_ >= 0) ::close(openWatch_);
        openWatch_ = -1;
        std::lock_guard lock(mutex_);
        pty_.reset();
        throw;
    }
}

void Simulator::stopReading() {
    if (!thread_.joinable()) return;
    char byte = 1;
    while (::write(stopWrite_, &byte, 1) < 0 && errno == EINTR) {
    }
    thread_.join();
    while (::read(stopRead_, &byte, 1) > 0) {
    }
    unregisterPort(linkPath_, pty_->slavePath());
    if (openWatch_ >= 0) ::close(openWatch_);
    openWatch_ = -1;
    std::lock_guard lock(mutex_);
    pty_.reset();  // the master closes: the program's side hangs up
    partial_.clear();
    discarding_ = false;
}

std::string Simulator::devicePath() const {
    std::lock_guard lock(mutex_);
    return pty_ ? pty_->slavePath() : std::string();
}

bool Simulator::plugged() const {
    std::lock_guard lock(mutex_);
    return pty_ != nullptr;
}

void Simulator::report(const std::string& what) {
    const std::string line = timeStamp(std::chrono::system_clock::now()) + "  " + what;
    {
        std::lock_guard lock(mutex_);
        logLines_.push_back(line);
    }
    if (options_.onLog) options_.onLog(line);
}

void Simulator::unplug() {
    if (!plugged()) return;
    stopReading();
    std::string now;
    {
        std::lock_guard lock(mutex_);
        state_ = ReceiverState{};
        now = lastSummary_ = summary(state_);
    }
    report("unplugged: " + options_.portName + " has gone");
    if (options_.onSummary) options_.onSummary(now);
}

void Simulator::replug() {
    if (plugged()) return;
    startReading();
    report("plugged in again: " + options_.portName + " -> " + devicePath());
}

void Simulator::run() {
    // While no program has the port open the master shows a hang-up; then only an open of
    // the slave (seen through inotify, or looked for every 50 ms without it) matters.
    bool lineUp = true;
    for (;;) {
        pollfd fds[3] = {{stopRead_, POLLIN, 0},
                         {lineUp ? pty_->master() : -1, POLLIN, 0},
                         {lineUp ? -1 : openWatch_, POLLIN, 0}};
        const int timeout = !lineUp && openWatch_ < 0 ? 50 : -1;
        if (::poll(fds, 3, timeout) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents) return;
        if (!lineUp) {
            drainOpenEvents();
            lineUp = true;  // a hang-up that remains shows again at once
            continue;
        }
        if (!fds[1].revents) continue;

        Events events;
        char buf[4096];
        bool gotData = false;
        for (;;) {
            ssize_t n = ::read(pty_->master(), buf, sizeof buf);
            if (n > 0) {
                gotData = true;
                consume(buf, static_cast<std::size_t>(n), events);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            break;  // EAGAIN: all read; EIO or 0: the port is closed at the far end
        }
        if (!gotData && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))) {
            // Opens from now on wake us; one that came before shows as no hang-up.
            drainOpenEvents();
            pollfd master{pty_->master(), POLLIN, 0};
            if (::poll(&master, 1, 0) == 1 && (master.revents & POLLHUP)) lineUp = false;
        }
        changed_.notify_all();
        // Reports before answers: whoever has read the answer may rely on them.
        for (const auto& [isSummary, text] : events.reports) {
            const auto& report = isSummary ? options_.onSummary : options_.onLog;
            if (report) report(text);
        }
        if (!events.answers.empty()) answer(events.answers);
    }
}

void Simulator::drainOpenEvents() {
    if (openWatch_ < 0) return;
    alignas(inotify_event) char buf[4096];
    while (::read(openWatch_, buf, sizeof buf) > 0) {
    }
}

void Simulator::consume(const char* data, std::size_t size, Events& events) {
    std::lock_guard lock(mutex_);
    received_.append(data, size);
    for (std::size_t i = 0; i < size; ++i) {
        char c = data[i];
        if (c == '\n') {
            if (discarding_) {
                discarding_ = false;
            } else {
                finishLine(std::move(partial_), false, events);
            }
            partial_.clear();
            continue;
        }
        if (discarding_) continue;
        partial_ += c;
        if (partial_.size() > options_.maxLineLength) {
            finishLine(std::move(partial_), true, events);
            partial_.clear();
            discarding_ = true;
        }
    }
}

// Called with mutex_ held.
void Simulator::finishLine(std::string text, bool overlong, Events& events) {
    ReceivedLine rec;
    rec.at = std::chrono::system_clock::now();
    if (overlong) {
        rec.meaning = "not understood: line longer than " + std::to_string(options_.maxLineLength) +
                      " bytes, dropped";
        text.resize(options_.maxLineLength);
    } else if (text.empty() || text.back() != '\r') {
        rec.meaning = "not understood: line ends in LF without CR";
    } else {
        text.pop_back();
        CommandResult result = applyCommand(state_, text);
        rec.understood = result.understood;
        rec.meaning = std::move(result.meaning);
    }
    rec.text = std::move(text);

    std::string log = timeStamp(rec.at) + "  \"" + escapeBytes(rec.text) + "\"  " + rec.meaning;
    logLines_.push_back(log);
    events.reports.emplace_back(false, std::move(log));
    events.answers += rec.understood ? "OK\r\n" : "ERR\r\n";
    records_.push_back(std::move(rec));

    std::string now = summary(state_);
    if (now != lastSummary_) {
        lastSummary_ = now;
        events.reports.emplace_back(true, std::move(now));
    }
}

void Simulator::answer(const std::string& bytes) {
    // The master is non-blocking: when nobody reads the port and its input queue is full,
    // the answer is dropped rather than stalling the receiver.
    std::size_t off = 0;
    while (off < bytes.size()) {
        ssize_t n = ::write(pty_->master(), bytes.data() + off, bytes.size() - off);
        if (n > 0) {
            off += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            if (!answerDropped_ && options_.onLog)
                options_.onLog(timeStamp(std::chrono::system_clock::now()) +
                               "  answer dropped: nobody reads the line");
            answerDropped_ = true;
            return;
        }
    }
    answerDropped_ = false;
}

std::string Simulator::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<std::string> Simulator::lines() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    out.reserve(records_.size());
    for (const auto& r : records_) out.push_back(r.text);
    return out;
}

std::vector<ReceivedLine> Simulator::records() const {
    std::lock_guard lock(mutex_);
    return records_;
}

std::vector<std::string> Simulator::logLines() const {
    std::lock_guard lock(mutex_);
    return logLines_;
}

ReceiverState Simulator::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

bool Simulator::waitForLines(std::size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return records_.size() >= n; });
}

bool Simulator::waitForBytes(std::size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return received_.size() >= n; });
}

void Simulator::clear() {
    std::lock_guard lock(mutex_);
    received_.clear();
    records_.clear();
    logLines_.clear();
}

}  // namespace sim
