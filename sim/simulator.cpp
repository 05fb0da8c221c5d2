#include "simulator.h"

#include <fcntl.h>
#include <poll.h>
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
    linkPath_ = registerPort(options_.portsDir, options_.portName, pty_.slavePath());
    int fds[2];
    if (::pipe(fds) != 0) {
        unregisterPort(linkPath_, pty_.slavePath());
        throw SimError(std::string("pipe: ") + std::strerror(errno));
    }
    stopRead_ = fds[0];
    stopWrite_ = fds[1];
    ::fcntl(stopRead_, F_SETFD, FD_CLOEXEC);
    ::fcntl(stopWrite_, F_SETFD, FD_CLOEXEC);
    try {
        thread_ = std::thread([this] { run(); });
    } catch (...) {
        unregisterPort(linkPath_, pty_.slavePath());
        ::close(stopRead_);
        ::close(stopWrite_);
        throw;
    }
}

Simulator::~Simulator() {
    char byte = 1;
    while (::write(stopWrite_, &byte, 1) < 0 && errno == EINTR) {
    }
    thread_.join();
    unregisterPort(linkPath_, pty_.slavePath());
    ::close(stopRead_);
    ::close(stopWrite_);
}

void Simulator::run() {
    bool lineUsable = true;
    for (;;) {
        pollfd fds[2] = {{stopRead_, POLLIN, 0}, {lineUsable ? pty_.master() : -1, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents) return;
        if (!fds[1].revents) continue;

        Events events;
        char buf[4096];
        bool gotData = false;
        for (;;) {
            ssize_t n = ::read(pty_.master(), buf, sizeof buf);
            if (n > 0) {
                gotData = true;
                consume(buf, static_cast<std::size_t>(n), events);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            break;  // EAGAIN: all read; EIO or 0: the line is gone
        }
        if (!gotData && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))) {
            // Cannot happen while the slave is held open; if it does, stop watching the line
            // rather than spin on it, and wait for the stop request only.
            lineUsable = false;
            events.reports.emplace_back(false, timeStamp(std::chrono::system_clock::now()) +
                                                   "  the line hung up; no more commands are read");
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
        ssize_t n = ::write(pty_.master(), bytes.data() + off, bytes.size() - off);
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
