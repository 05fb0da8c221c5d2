// The channel file on POSIX: its protections and links, special files, and reading
// that stops at a NUL however big the rest (the Windows build has its own).
#include "core/channelfile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "core/channels.h"
#include "core/errors.h"
#include "tests/support/testenv.h"

using namespace kivo;
using Items = std::vector<std::string>;

using testenv::readFile;
using testenv::writeFile;

namespace {

// Bytes this process has read through read(2) so far; -1 where the kernel does not say.
long long bytesRead() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = -1;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return -1;
}

}  // namespace

TEST(ChannelFileSave, KeepsModeAndFollowsALink) {
    testenv::TempDir dir;
    std::string real = dir.file("real.ini");
    writeFile(real, "old\r\n");
    std::filesystem::permissions(real, std::filesystem::perms(0640));
    std::string link = dir.file("KIVO.ini");
    std::filesystem::create_symlink(real, link);
    saveChannelFile(link, {"new"});
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readFile(real), "new\r\n");
    EXPECT_EQ(std::filesystem::status(real).permissions(), std::filesystem::perms(0640));
}

TEST(ChannelFile, ReadingStopsAtTheFirstNulHoweverBigTheRest) {
    testenv::TempDir dir;
    std::string path = dir.file("KIVO.ini");
    writeFile(path, std::string("a\r\nb\0c\r\n", 7));
    // The rest is a 4 GiB hole: NUL bytes that take no room on the disk.
    ASSERT_EQ(truncate(path.c_str(), 4LL << 30), 0);
    if (bytesRead() < 0) GTEST_SKIP() << "no read accounting here";
    const long long before = bytesRead();
    ChannelList list;
    list.load(path);
    EXPECT_EQ(list.lines(), (Items{"a", "b"}));
    EXPECT_LT(bytesRead() - before, 1 << 20);
}

TEST(ChannelFile, OnlyAPlainFileLoads) {
    testenv::TempDir dir;
    std::string fifo = dir.file("KIVO.ini");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A FIFO with no writer would block the open for ever.
    EXPECT_THROW(readChannelFile(fifo), FileOpenError);
    EXPECT_THROW(readChannelFile("/dev/zero"), FileOpenError);
}

TEST(ChannelFileSave, AFileTheUserMayNotWriteIsNotReplaced) {
    testenv::TempDir dir;
    std::string path = dir.file("KIVO.ini");
    writeFile(path, "old\r\n");
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    // The folder stays writable, so a rename alone would succeed.
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);

    // Root may write any file; the check is made as an ordinary user.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        try {
            saveChannelFile(path, {"new"});
        } catch (const FileCreateError&) {
            _exit(0);
        } catch (...) {
        }
        _exit(1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readFile(path), "old\r\n");
}
