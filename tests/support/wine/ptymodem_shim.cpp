// Preloaded into Wine for the Windows tests, built with the host compiler. Linux
// pseudo-terminals refuse the modem-line ioctls, and Wine's event wait gives up when
// reading the lines fails; for a pty slave this answers them as a cable would (CTS,
// DSR and carrier on, DTR and RTS as last set). Every other call passes through.
#include <dlfcn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <atomic>
#include <cstdarg>

namespace {

constexpr int kFds = 4096;
constexpr int kAlwaysOn = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
constexpr int kSettable = TIOCM_DTR | TIOCM_RTS;
std::atomic<int> settable[kFds];  // DTR and RTS of each fd

bool ptySlave(int fd) {
    struct stat st {};
    if (fd < 0 || fd >= kFds || fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned m = major(st.st_rdev);
    return m >= 136 && m <= 143;  // the Unix 98 pty slaves
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
    static auto real =
        reinterpret_cast<int (*)(int, unsigned long, ...)>(dlsym(RTLD_NEXT, "ioctl"));
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    const bool modem =
        request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC;
    if (!modem || !ptySlave(fd)) return real(fd, request, arg);
    int* bits = static_cast<int*>(arg);
    switch (request) {
        case TIOCMGET:
            *bits = kAlwaysOn | settable[fd].load();
            break;
        case TIOCMSET:
            settable[fd] = *bits & kSettable;
            break;
        case TIOCMBIS:
            settable[fd] |= *bits & kSettable;
            break;
        default:
            settable[fd] &= ~(*bits & kSettable);
            break;
    }
    return 0;
}
