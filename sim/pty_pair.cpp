#include "sim/pty_pair.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sim/ports_dir.h"

namespace sim {
namespace {

[[noreturn]] void fail(const char* what) {
    throw SimError(std::string("pseudo-terminal: ") + what + ": " + std::strerror(errno));
}

}  // namespace

PtyPair::PtyPair() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) fail("posix_openpt");
    try {
        ::fcntl(master_, F_SETFD, FD_CLOEXEC);
        if (::grantpt(master_) != 0) fail("grantpt");
        if (::unlockpt(master_) != 0) fail("unlockpt");
        char name[256] = {};
        if (::ptsname_r(master_, name, sizeof name) != 0) fail("ptsname");
        slavePath_ = name;
        // Raw 8N1 at 9600: bytes pass unchanged, nothing is echoed back to us. The slave
        // is opened for this only; its settings outlive the descriptor.
        const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave < 0) fail("open slave");
        termios t{};
        bool set = ::tcgetattr(slave, &t) == 0;
        if (set) {
            ::cfmakeraw(&t);
            ::cfsetispeed(&t, B9600);
            ::cfsetospeed(&t, B9600);
            t.c_cflag |= CLOCAL | CREAD;
            set = ::tcsetattr(slave, TCSANOW, &t) == 0;
        }
        const int saved = errno;
        ::close(slave);
        errno = saved;
        if (!set) fail("tcsetattr");
        int flags = ::fcntl(master_, F_GETFL);
        if (flags < 0 || ::fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) fail("fcntl");
    } catch (...) {
        ::close(master_);
        throw;
    }
}

PtyPair::~PtyPair() {
    ::close(master_);
}

}  // namespace sim
