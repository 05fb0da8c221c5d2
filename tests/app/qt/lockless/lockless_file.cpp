// Runs a program with one file replaced, for that program alone, by a file on which every
// lock fails with ENOLCK, as on a network file system without a lock service: a FUSE file
// system of one regular file, mounted over FILE in a mount namespace of the program's own
// and served by a child process that ends with the program.
//
//   kivo_lockless_file FILE PROGRAM [ARGUMENT]...
//
// Exits 77 without running PROGRAM where no such file system can be made (no /dev/fuse,
// no right to mount).
#include <fcntl.h>
#include <linux/fuse.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kCannot = 77;

void reply(int fd, std::uint64_t unique, int error, const void* body = nullptr,
           std::size_t size = 0) {
    fuse_out_header header{};
    header.len = static_cast<std::uint32_t>(sizeof header + size);
    header.error = -error;
    header.unique = unique;
    std::vector<char> out(sizeof header + size);
    std::memcpy(out.data(), &header, sizeof header);
    if (size) std::memcpy(out.data() + sizeof header, body, size);
    [[maybe_unused]] ssize_t n = ::write(fd, out.data(), out.size());
}

// The one file: the root of the file system, owned by whoever mounted it.
fuse_attr fileAttr() {
    fuse_attr a{};
    a.ino = FUSE_ROOT_ID;
    a.mode = S_IFREG | 0600;
    a.nlink = 1;
    a.uid = ::getuid();
    a.gid = ::getgid();
    a.blksize = 4096;
    return a;
}

[[noreturn]] void serve(int fd) {
    std::vector<char> buf(1 << 17);
    for (;;) {
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n < static_cast<ssize_t>(sizeof(fuse_in_header))) ::_exit(0);  // unmounted
        fuse_in_header in;
        std::memcpy(&in, buf.data(), sizeof in);
        const char* body = buf.data() + sizeof in;
        switch (in.opcode) {
            case FUSE_INIT: {
                fuse_init_in init;
                std::memcpy(&init, body, sizeof init);
                fuse_init_out out{};
                out.major = FUSE_KERNEL_VERSION;
                out.minor = std::min<std::uint32_t>(init.minor, FUSE_KERNEL_MINOR_VERSION);
                out.max_readahead = init.max_readahead;
                out.flags = FUSE_FLOCK_LOCKS | FUSE_POSIX_LOCKS;  // locks come here
                out.max_write = 4096;
                reply(fd, in.unique, 0, &out, sizeof out);
                break;
            }
            case FUSE_GETATTR: {
                fuse_attr_out out{};
                out.attr_valid = 3600;
                out.attr = fileAttr();
                reply(fd, in.unique, 0, &out, sizeof out);
                break;
            }
            case FUSE_OPEN: {
                fuse_open_out out{};
                out.fh = 1;
                reply(fd, in.unique, 0, &out, sizeof out);
                break;
            }
            case FUSE_GETLK:
            case FUSE_SETLK:
            case FUSE_SETLKW:
                reply(fd, in.unique, ENOLCK);
                break;
            case FUSE_FLUSH:
            case FUSE_RELEASE:
            case FUSE_ACCESS:
            case FUSE_FSYNC:
                reply(fd, in.unique, 0);
                break;
            case FUSE_FORGET:
            case FUSE_BATCH_FORGET:
            case FUSE_INTERRUPT:
                break;  // no answer expected
            default:
                reply(fd, in.unique, ENOSYS);
        }
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FILE PROGRAM [ARGUMENT]...\n", argv[0]);
        return 2;
    }
    const char* file = argv[1];
    const int fuse = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fuse < 0 || ::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        std::perror("kivo_lockless_file: no file system of our own here");
        return kCannot;
    }
    const std::string options = "fd=" + std::to_string(fuse) +
                                ",rootmode=100600,user_id=" + std::to_string(::getuid()) +
                                ",group_id=" + std::to_string(::getgid());
    if (::mount("kivo-lockless", file, "fuse", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        std::perror("kivo_lockless_file: mount");
        return kCannot;
    }
    const pid_t parent = ::getpid();
    const pid_t server = ::fork();
    if (server < 0) return kCannot;
    if (server == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // ends with the program
        if (::getppid() != parent) ::_exit(0);
        serve(fuse);
    }
    ::close(fuse);
    ::execvp(argv[2], argv + 2);
    std::perror("kivo_lockless_file: exec");
    return 127;
}
