#include "tests/support/posix/busyprocesses.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

namespace testenv {

BusyProcesses::BusyProcesses(int count, int descriptors) {
    int ready[2];
    if (::pipe(ready) != 0) throw std::runtime_error("pipe");
    for (int i = 0; i < count; ++i) {
        const pid_t pid = ::fork();
        if (pid < 0) break;
        if (pid == 0) {
            // Only async-signal-safe calls here: the parent may have threads.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::close(ready[0]);
            for (int d = 0; d < descriptors; ++d) ::open("/dev/null", O_RDONLY);
            char one = 1;
            if (::write(ready[1], &one, 1) != 1) ::_exit(1);
            for (;;) ::pause();
        }
        pids_.push_back(pid);
    }
    ::close(ready[1]);
    std::size_t seen = 0;
    char buf[256];
    while (seen < pids_.size()) {
        const ssize_t n = ::read(ready[0], buf, sizeof buf);
        if (n <= 0) break;
        seen += static_cast<std::size_t>(n);
    }
    ::close(ready[0]);
    if (seen < static_cast<std::size_t>(count)) {
        end();
        throw std::runtime_error("could not start the busy processes");
    }
    settle();
}

// The system makes its entries for a process's descriptors the first time someone looks:
// one look now, so that every figure meets processes that have been around a while.
void BusyProcesses::settle() {
    char target[4096];
    for (pid_t pid : pids_) {
        const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
        DIR* fds = ::opendir(dir.c_str());
        if (!fds) continue;
        while (const dirent* e = ::readdir(fds))
            [[maybe_unused]] auto n = ::readlinkat(::dirfd(fds), e->d_name, target, sizeof target);
        ::closedir(fds);
    }
}

BusyProcesses::~BusyProcesses() {
    end();
}

void BusyProcesses::end() {
    for (pid_t pid : pids_) ::kill(pid, SIGKILL);
    for (pid_t pid : pids_) ::waitpid(pid, nullptr, 0);
    pids_.clear();
}

}  // namespace testenv
