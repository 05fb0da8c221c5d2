#include "tests/sim/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

using Clock = std::chrono::steady_clock;

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe");
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        throw std::system_error(errno, std::generic_category(), "pipe");
    }
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    outFd_ = out[0];
    errFd_ = err[0];
    if (pid_ < 0) {
        ::close(outFd_);
        ::close(errFd_);
        throw std::system_error(errno, std::generic_category(), "fork");
    }
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (outFd_ >= 0) ::close(outFd_);
    if (errFd_ >= 0) ::close(errFd_);
}

// Reads what is there, waiting at most until the deadline; false once both pipes ended.
bool ChildProcess::pump(Clock::time_point deadline) {
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    if (outFd_ < 0 && errFd_ < 0) return false;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return true;
    if (::poll(fds, 2, static_cast<int>(left.count())) <= 0) return true;
    int* fdp[2] = {&outFd_, &errFd_};
    std::string* bufs[2] = {&out_, &err_};
    for (int i = 0; i < 2; ++i) {
        if (!fds[i].revents) continue;
        char buf[4096];
        ssize_t n = ::read(*fdp[i], buf, sizeof buf);
        if (n > 0) {
            bufs[i]->append(buf, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            ::close(*fdp[i]);
            *fdp[i] = -1;
        }
    }
    return true;
}

bool ChildProcess::waitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    while (out_.find(text) == std::string::npos) {
        if (Clock::now() >= deadline || !pump(deadline)) return false;
    }
    return true;
}

void ChildProcess::signal(int signo) {
    if (pid_ > 0) ::kill(pid_, signo);
}

int ChildProcess::finish(std::chrono::milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline && pump(deadline)) {
    }
    if (outFd_ >= 0 || errFd_ >= 0) return -1;  // still running: the destructor kills it
    int status = 0;
    ::waitpid(pid_, &status, 0);  // both pipes closed: the child has ended
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int runProgram(const std::vector<std::string>& argv, std::string* out, std::string* err,
               std::chrono::milliseconds timeout) {
    ChildProcess child(argv);
    int code = child.finish(timeout);
    if (out) *out = child.out();
    if (err) *err = child.err();
    return code;
}
