#include "tests/support/posix/heldterminal.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

#include "tests/support/posix/pty.h"
#include "tests/support/testenv.h"

extern char** environ;

namespace testenv {

HeldTerminal::HeldTerminal(Pty& pty) : path_(pty.slavePath()) {
    const int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) throw std::system_error(errno, std::generic_category(), "open " + path_);
    termios t{};
    ::tcgetattr(fd, &t);
    t.c_iflag |= ICRNL | IXON;
    t.c_oflag |= OPOST | ONLCR;
    t.c_lflag |= ICANON | ECHO | ECHOE | ISIG | IEXTEN;
    ::tcsetattr(fd, TCSANOW, &t);
    ::close(fd);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, path_.c_str(), O_RDWR | O_NOCTTY, 0);
    char sleep[] = "sleep", forever[] = "600";
    char* argv[] = {sleep, forever, nullptr};
    const int e = posix_spawnp(&pid_, "sleep", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (e != 0) throw std::system_error(e, std::generic_category(), "spawn sleep");
    // Its input holds a line, as a terminal whose user typed ahead.
    pty.write("typed ahead\n");
    for (int i = 0; i < 200 && state().waiting < 12; ++i) ::usleep(5000);
}

HeldTerminal::~HeldTerminal() {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
}

HeldTerminal::State HeldTerminal::state() const {
    State s;
    const int fd = ::open(path_.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return s;
    termios t{};
    if (::tcgetattr(fd, &t) == 0) {
        s.iflag = t.c_iflag;
        s.oflag = t.c_oflag;
        s.cflag = t.c_cflag;
        s.lflag = t.c_lflag;
        s.cc.assign(reinterpret_cast<const char*>(t.c_cc), sizeof t.c_cc);
        s.ispeed = cfgetispeed(&t);
        s.ospeed = cfgetospeed(&t);
    }
    if (::ioctl(fd, TIOCINQ, &s.waiting) != 0) s.waiting = -1;
    if (::ioctl(fd, TIOCMGET, &s.modem) != 0) s.modem = -1;
    ::close(fd);
    return s;
}

pid_t deadPid() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

}  // namespace testenv
