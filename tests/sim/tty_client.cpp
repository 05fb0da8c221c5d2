#include "tests/sim/tty_client.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

using Clock = std::chrono::steady_clock;

TtyClient::TtyClient(const std::string& device) {
    fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "open " + device);
    termios t{};
    ::tcgetattr(fd_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd_, TCSANOW, &t);
}

TtyClient::~TtyClient() {
    ::close(fd_);
}

void TtyClient::write(const std::string& bytes) {
    std::size_t off = 0;
    auto deadline = Clock::now() + std::chrono::seconds(5);
    while (off < bytes.size()) {
        ssize_t n = ::write(fd_, bytes.data() + off, bytes.size() - off);
        if (n > 0) {
            off += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            throw std::system_error(errno, std::generic_category(), "tty write");
        if (Clock::now() > deadline) throw std::runtime_error("tty write timed out");
        pollfd p{fd_, POLLOUT, 0};
        ::poll(&p, 1, 100);
    }
}

std::string TtyClient::read(std::size_t expected, std::chrono::milliseconds timeout) {
    std::string out;
    auto deadline = Clock::now() + timeout;
    while (out.size() < expected) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char buf[256];
        ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n > 0)
            out.append(buf, static_cast<std::size_t>(n));
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return out;
}
