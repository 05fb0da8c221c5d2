#include "tests/support/posix/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace testenv {

Pty::Pty() {
    int slave = -1;
    char name[256] = {};
    if (openpty(&master_, &slave, name, nullptr, nullptr) != 0)
        throw std::system_error(errno, std::generic_category(), "openpty");
    slave_ = name;
    // Raw so that bytes pass unchanged; the setting stays with the pair.
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    ::close(slave);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

Pty::~Pty() {
    if (master_ >= 0) ::close(master_);
}

// Only the master is ours, and the port under test holds the slave in exclusive mode: the
// slave's output is stopped the way a receiver's XOFF stops it, through its own flow
// control (its settings reach it through the master), and moves again when that is
// switched off, which the terminal does at once.
void Pty::holdOutput(bool held) {
    termios t{};
    if (::tcgetattr(master_, &t) != 0)
        throw std::system_error(errno, std::generic_category(), "tcgetattr");
    if (!held) {
        if (!holding_) return;
        holding_ = false;
        t.c_iflag &= ~IXON;
        const bool moved = ::tcsetattr(master_, TCSANOW, &t) == 0;
        t.c_iflag = static_cast<tcflag_t>(savedInputFlags_);
        if (!moved || ::tcsetattr(master_, TCSANOW, &t) != 0)
            throw std::system_error(errno, std::generic_category(), "tcsetattr");
        return;
    }
    if (holding_) return;
    savedInputFlags_ = t.c_iflag;
    // Packet mode reports the moment the stop has taken effect.
    int on = 1;
    if (::ioctl(master_, TIOCPKT, &on) != 0)
        throw std::system_error(errno, std::generic_category(), "TIOCPKT");
    t.c_iflag |= IXON;
    if (::tcsetattr(master_, TCSANOW, &t) != 0)
        throw std::system_error(errno, std::generic_category(), "tcsetattr");
    holding_ = true;
    write(std::string(1, static_cast<char>(t.c_cc[VSTOP])));
    bool stopped = false;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!stopped && Clock::now() < deadline) {
        // Only the status is read here: data waiting stays for read() and drain().
        pollfd p{master_, POLLPRI, 0};
        if (::poll(&p, 1, 50) <= 0 || !(p.revents & POLLPRI)) continue;
        unsigned char status = 0;
        if (::read(master_, &status, 1) == 1) stopped = status & TIOCPKT_STOP;
    }
    int off = 0;
    ::ioctl(master_, TIOCPKT, &off);
    if (!stopped) throw std::runtime_error("pty output did not stop");
}

void Pty::linkAs(const std::string& portsDir, const std::string& comName) const {
    std::filesystem::create_directories(portsDir);
    std::filesystem::create_symlink(slave_, std::filesystem::path(portsDir) / comName);
}

void Pty::write(const std::string& bytes) {
    std::size_t off = 0;
    auto deadline = Clock::now() + std::chrono::seconds(5);
    while (off < bytes.size()) {
        ssize_t n = ::write(master_, bytes.data() + off, bytes.size() - off);
        if (n > 0) {
            off += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            throw std::system_error(errno, std::generic_category(), "pty write");
        if (Clock::now() > deadline) throw std::runtime_error("pty write timed out");
        pollfd p{master_, POLLOUT, 0};
        ::poll(&p, 1, 50);
    }
}

// Reads what arrives until `enough` holds for it, the line stays quiet for `quiet`, or
// `deadline` passes.
std::string Pty::readUntil(const std::function<bool(const std::string&)>& enough,
                           std::chrono::milliseconds quiet, Clock::time_point deadline) {
    std::string out;
    while (!enough(out)) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(std::min(left, quiet).count())) <= 0) {
            if (quiet < left) break;  // quiet for long enough
            continue;
        }
        char buf[4096];
        ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0)
            out.append(buf, static_cast<std::size_t>(n));
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return out;
}

std::string Pty::read(std::size_t expected, std::chrono::milliseconds timeout) {
    return readUntil([expected](const std::string& in) { return in.size() >= expected; }, timeout,
                     Clock::now() + timeout);
}

std::string Pty::drain(std::chrono::milliseconds quiet, std::chrono::milliseconds timeout) {
    return readUntil([](const std::string&) { return false; }, quiet, Clock::now() + timeout);
}

void Pty::hangUp() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

}  // namespace testenv
