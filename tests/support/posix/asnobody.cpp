#include "tests/support/posix/asnobody.h"

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testenv {

std::string asNobody(const std::function<std::string()>& work) {
    const passwd* nobody = ::getpwnam("nobody");
    if (!nobody) return "no nobody";
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nobody->pw_gid;
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) ::_exit(2);
        std::string text;
        try {
            text = work();
        } catch (...) {
            ::_exit(3);
        }
        for (std::size_t at = 0; at < text.size();) {
            const ssize_t n = ::write(pipeFds[1], text.data() + at, text.size() - at);
            if (n <= 0) ::_exit(4);
            at += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string got;
    char buf[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;)
        got.append(buf, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = -1;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return "could not run as nobody";
    return got;
}

}  // namespace testenv
