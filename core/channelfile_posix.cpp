// The channel file on disk through the POSIX file calls.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "channelfile.h"
#include "errors.h"

namespace kivo {

namespace fs = std::filesystem;

std::vector<std::string> loadChannelFile(const std::string& path) {
    // Not blocking on open, and only a plain file: a FIFO or a device named KIVO.ini
    // would otherwise hold start-up for ever or read without end.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw FileOpenError(path);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw FileOpenError(path);
    }
    std::string contents;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {  // a folder, a vanished medium: unreadable all the same
            ::close(fd);
            throw FileOpenError(path);
        }
        if (n == 0) break;
        contents.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return splitFileLines(contents);
}

namespace {

bool writeAll(int fd, const std::string& data) {
    std::size_t off = 0;
    while (off < data.size()) {
        ssize_t n = ::write(fd, data.data() + off, data.size() - off);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        off += static_cast<std::size_t>(n);
    }
    return true;
}

// Makes the rename itself durable.
void syncDirectory(const fs::path& dir) {
    int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

void saveChannelFile(const std::string& path, const std::vector<std::string>& lines,
                     const std::function<void()>& beforeReplace) {
    // A link to the channel file stays a link: replace the file it points to.
    fs::path target(path);
    std::error_code ec;
    if (fs::is_symlink(target, ec)) {
        fs::path resolved = fs::weakly_canonical(target, ec);
        if (!ec) target = resolved;
    }
    fs::path dir = target.parent_path();

    // Replacing by rename would pass over a file the user may not write (made read-only
    // to protect it): such a file cannot be created anew, as writing it in place would.
    if (::faccessat(AT_FDCWD, target.c_str(), F_OK, 0) == 0 &&
        ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        throw FileCreateError(path);

    std::string data;
    for (const std::string& l : lines) {
        data += l;
        data += "\r\n";
    }

    // The temporary file lies beside the target so that rename replaces it atomically.
    int fd = -1;
    fs::path temp;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = target;
        temp += ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) throw FileCreateError(path);

    struct stat old {};
    if (::stat(target.c_str(), &old) == 0) ::fchmod(fd, old.st_mode & 07777);

    bool ok = writeAll(fd, data) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && beforeReplace) beforeReplace();
    if (!ok || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        throw FileCreateError(path);
    }
    syncDirectory(dir);
}

}  // namespace kivo
