// Save on disk: replaced whole where that is safe, rewritten in place where a replace
// would fail or lose the file's owner, group or links; killed at any moment it leaves the
// old or the new file once loaded again, and nothing of its own beside it for longer
// than until the next Save.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <set>

#include "core/channelfile.h"
#include "core/channels.h"
#include "core/errors.h"
#include "core/memorywindow.h"
#include "core/receivercontrol.h"
#include "core/savefiles.h"
#include "tests/support/testenv.h"

using namespace kivo;
using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

// "ラジオ日本" in CP932.
const std::string kJapanese = "\x83\x89\x83\x57\x83\x49\x93\xfa\x96\x7b";

using testenv::readFile;
using testenv::writeFile;

namespace {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

std::string joined(const Lines& lines) {
    std::string out;
    for (const std::string& l : lines) out += l + "\r\n";
    return out;
}

std::set<std::string> entries(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

struct stat statOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st;
}

// Runs `body` in a child process as an ordinary user (nobody when the tests run as root,
// where permission bits would not bite) and returns its exit code; 100 for an error
// escaping `body`.
int runAsUser(const std::function<int()>& body) {
    pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(kNogroup) != 0 || setuid(kNobody) != 0)) _exit(99);
        int code = 100;
        try {
            code = body();
        } catch (...) {
        }
        _exit(code);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The saving user's id as runAsUser sees it.
uid_t ordinaryUser() {
    return geteuid() == 0 ? kNobody : geteuid();
}

// A folder the ordinary user may enter; `writable` says whether it may create files in it.
void openFolder(const std::string& dir, bool writable) {
    if (geteuid() == 0) {
        ASSERT_EQ(chmod(dir.c_str(), 0755), 0);
        if (writable) {
            ASSERT_EQ(chown(dir.c_str(), kNobody, kNogroup), 0);
        }
    } else {
        ASSERT_EQ(chmod(dir.c_str(), writable ? 0755 : 0555), 0);
    }
}

// A file of the ordinary user's.
void ownFile(const std::string& path) {
    if (geteuid() == 0) {
        ASSERT_EQ(chown(path.c_str(), kNobody, kNogroup), 0);
    }
}

// A saving child process: `body` runs in it and calls `ready` where the parent may kill
// it. start() returns once the child is ready; killed() ends it with SIGKILL and tells
// whether that is how it ended (not by an error of its own); endedBy() waits at most
// 20 s for it to end by itself and gives the signal that ended it (0 for none).
class SavingChild {
  public:
    bool start(const std::function<void(const std::function<void()>& ready)>& body) {
        int ready[2];
        if (pipe(ready) != 0) return false;
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            try {
                body([&] { (void)!write(ready[1], "x", 1); });
            } catch (...) {
            }
            _exit(1);
        }
        close(ready[1]);
        char c;
        bool ok = pid_ > 0 && read(ready[0], &c, 1) == 1;
        close(ready[0]);
        return ok;
    }
    bool killed() {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }
    int endedBy() {
        for (int i = 0; i < 2000; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_)
                return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
            usleep(10000);
        }
        killed();
        return 0;
    }
    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
};

// A child saving "new,AM,1,1,COM1" to `path`, killed where the old file is still whole and
// the new text ready (before the rename, or before the rewrite in place); true when it
// was killed there.
bool killedAtTheReplace(const std::string& path) {
    SavingChild child;
    return child.start([&](const std::function<void()>& ready) {
        saveChannelFile(path, {"new,AM,1,1,COM1"}, [&] {
            ready();
            for (int i = 0; i < 100; ++i) sleep(1);
        });
    }) && child.killed();
}

}  // namespace

// Which way Save goes shows in the inode: a replace brings a new one, an in-place write
// keeps it (with its owner, group, mode and other links).
TEST(ChannelFileSave, ReplacesWhereSafeAndWritesInPlaceWhereAReplaceWouldHarm) {
    struct Case {
        const char* what;
        bool folderWritable;
        int links;
        bool replaced;
    } cases[] = {
        {"own file, writable folder", true, 1, true},
        {"folder not writable, file writable", false, 1, false},
        {"file with a second link", true, 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testenv::TempDir dir, state;
        testenv::ScopedEnv stateHome("XDG_STATE_HOME", state.path());
        openFolder(state.path(), true);
        const std::string path = dir.file("KIVO.ini");
        writeFile(path, "old,AM,594,80,COM1\r\n");
        ASSERT_EQ(chmod(path.c_str(), 0640), 0);
        ownFile(path);
        if (c.links == 2) {
            ASSERT_EQ(link(path.c_str(), dir.file("other.ini").c_str()), 0);
        }
        openFolder(dir.path(), c.folderWritable);
        const struct stat before = statOf(path);

        EXPECT_EQ(runAsUser([&] {
                      saveChannelFile(path, {"new,FM,80.7,120,COM3", ""});
                      return 0;
                  }),
                  0);

        EXPECT_EQ(readFile(path), "new,FM,80.7,120,COM3\r\n\r\n");
        const struct stat after = statOf(path);
        EXPECT_EQ(after.st_ino != before.st_ino, c.replaced);
        EXPECT_EQ(after.st_mode & 07777, 0640u);
        EXPECT_EQ(after.st_uid, ordinaryUser());
        EXPECT_EQ(after.st_nlink, static_cast<nlink_t>(c.links));
        if (c.links == 2) {
            EXPECT_EQ(readFile(dir.file("other.ini")), readFile(path));
        }
        std::set<std::string> expected = {"KIVO.ini"};
        if (c.links == 2) expected.insert("other.ini");
        EXPECT_EQ(entries(dir.path()), expected);
        chmod(dir.path().c_str(), 0700);
    }
}

// A file the user may not write is refused whatever the folder allows; with the folder
// read-only too, a new file cannot be made either.
TEST(ChannelFileSave, WhatTheUserMayNotWriteIsRefusedAndLeftAlone) {
    for (bool folderWritable : {true, false}) {
        SCOPED_TRACE(folderWritable ? "writable folder" : "read-only folder");
        testenv::TempDir dir;
        const std::string path = dir.file("KIVO.ini");
        writeFile(path, "old\r\n");
        ASSERT_EQ(chmod(path.c_str(), 0444), 0);
        ownFile(path);
        openFolder(dir.path(), folderWritable);
        const std::string missing = dir.file("sub.ini");

        EXPECT_EQ(runAsUser([&] {
                      try {
                          saveChannelFile(path, {"new"});
                          return 1;
                      } catch (const FileCreateError& e) {
                          if (e.path() != path) return 2;
                      }
                      if (folderWritable) return 0;
                      try {
                          saveChannelFile(missing, {"new"});
                          return 3;
                      } catch (const FileCreateError&) {
                          return 0;
                      }
                  }),
                  0);
        EXPECT_EQ(readFile(path), "old\r\n");
        EXPECT_EQ(entries(dir.path()), std::set<std::string>{"KIVO.ini"});
        chmod(dir.path().c_str(), 0700);
    }
}

// Root saving a file of root's with another group (a shared list): replaced, group kept.
// A file of another user's is written in place, so it stays theirs.
TEST(ChannelFileSave, RootKeepsTheOwnerAndGroup) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root";
    testenv::TempDir dir;
    const std::string shared = dir.file("KIVO.ini");
    writeFile(shared, "old\r\n");
    ASSERT_EQ(chown(shared.c_str(), 0, kNogroup), 0);
    const std::string theirs = dir.file("theirs.ini");
    writeFile(theirs, "old\r\n");
    ASSERT_EQ(chown(theirs.c_str(), kNobody, kNogroup), 0);
    const ino_t theirInode = statOf(theirs).st_ino;

    saveChannelFile(shared, {"new"});
    saveChannelFile(theirs, {"new"});
    for (const std::string& p : {shared, theirs}) EXPECT_EQ(readFile(p), "new\r\n") << p;
    EXPECT_EQ(statOf(shared).st_uid, 0u);
    EXPECT_EQ(statOf(shared).st_gid, kNogroup);
    EXPECT_EQ(statOf(theirs).st_uid, kNobody);
    EXPECT_EQ(statOf(theirs).st_gid, kNogroup);
    EXPECT_EQ(statOf(theirs).st_ino, theirInode);
}

// The config folder may not exist yet: Save makes it, private to the user.
TEST(ChannelFileSave, CreatesMissingFoldersPrivately) {
    testenv::TempDir dir;
    const std::string path = dir.file("config/kivo/KIVO.ini");
    saveChannelFile(path, {"a"});
    EXPECT_EQ(readFile(path), "a\r\n");
    EXPECT_EQ(statOf(dir.file("config")).st_mode & 07777, 0700u);
    EXPECT_EQ(statOf(dir.file("config/kivo")).st_mode & 07777, 0700u);
}

// Temporary files of saves killed earlier are removed by the next Save; those of a live
// process, and files that only look alike (a user's dated copy, another program's, a
// name whose check does not hold, an older version's), stay.
TEST(ChannelFileSave, RemovesTemporariesOfDeadProcessesOnly) {
    testenv::TempDir dir;
    const std::string path = dir.file("KIVO.ini");
    writeFile(path, "old\r\n");
    pid_t dead = fork();
    if (dead == 0) _exit(0);
    waitpid(dead, nullptr, 0);
    pid_t live = fork();
    if (live == 0) {
        pause();
        _exit(0);
    }
    const std::string deadTemp = temporaryName("KIVO.ini", static_cast<unsigned long>(dead));
    const std::string liveTemp = temporaryName("KIVO.ini", static_cast<unsigned long>(live));
    std::string forged = temporaryName("KIVO.ini", static_cast<unsigned long>(dead));
    forged.back() = forged.back() == '0' ? '1' : '0';
    const std::set<std::string> kept = {"KIVO.ini",
                                        liveTemp,
                                        forged,
                                        deadTemp + ".keep",
                                        "KIVO.ini.tmp20241208-1",
                                        "KIVO.ini.tmp" + std::to_string(dead) + "-0",
                                        "KIVO.ini.tmpx-0",
                                        "other.ini.tmp1-0"};
    for (const std::string& name : kept)
        if (name != "KIVO.ini") writeFile(dir.file(name), "x");
    writeFile(dir.file(deadTemp), "x");

    saveChannelFile(path, {"new"});
    kill(live, SIGKILL);
    waitpid(live, nullptr, 0);
    EXPECT_EQ(readFile(path), "new\r\n");
    EXPECT_EQ(entries(dir.path()), kept);
    EXPECT_EQ(readFile(dir.file("KIVO.ini.tmp20241208-1")), "x");
}

// How the saving child reaches the file: replaced whole; rewritten in place because the
// file has a second link (the rollback copy lies beside it); or in place with the folder
// closed to the user as well (the copy lies in the state folder).
enum class Way { Replace, SecondLink, ClosedFolder };

struct KillRounds {
    int restored = 0;                 // loads that put the old text back
    std::set<std::string> leftovers;  // temporaries of killed children, seen at any time
};

// A real child saves two lists (150 KB and 360 KB, different in every line) by turns and
// is killed, `rounds` times: by SIGKILL at a random moment, or, every other round, by the
// file size limit at a random byte (the kernel writes up to the limit and ends the
// process at the next byte: the one way to stop a write of a few hundred KB halfway on
// demand). After each kill the file is loaded as start-up does: it then holds exactly
// one list whole, the list shows that one, every name of the file shows it too, and
// nothing lies beside it but temporaries of killed children. The next Save that gets
// going removes those, so the last one leaves the file alone.
KillRounds killDuringSaves(Way way, int rounds) {
    KillRounds result;
    testenv::TempDir dir, state;
    testenv::ScopedEnv stateHome("XDG_STATE_HOME", state.path());
    const std::string path = dir.file("KIVO.ini"), other = dir.file("other.ini");
    Lines first, second;
    for (int i = 0; i < 12000; ++i) {
        if (i < 6000) first.push_back("Radio" + std::to_string(i) + ",AM,594,80,COM1");
        second.push_back("Radio" + std::to_string(i) + ",FM,80.7,120,COM3");
    }
    const std::string firstFile = joined(first), secondFile = joined(second);
    saveChannelFile(path, first);
    std::set<std::string> names = {"KIVO.ini"};
    if (way != Way::Replace) {
        EXPECT_EQ(link(path.c_str(), other.c_str()), 0);
        names.insert("other.ini");
    }
    const bool asUser = way == Way::ClosedFolder;
    if (asUser) {
        ownFile(path);
        openFolder(dir.path(), false);
        openFolder(state.path(), true);
    }
    // Where a copy or a temporary may lie: the folder, and the state folder's own.
    const std::string stateDir = state.file("kivo");
    auto strays = [&] {
        std::set<std::string> found;
        for (const std::string& folder : {dir.path(), stateDir}) {
            if (!fs::exists(folder)) continue;
            for (const std::string& name : entries(folder))
                if (folder != dir.path() || !names.count(name)) found.insert(name);
        }
        return found;
    };

    std::mt19937 random(9);
    std::uniform_int_distribution<int> delayUs(0, 30000);
    // Past the small list's copy, the cut falls inside the rewrite.
    std::uniform_int_distribution<rlim_t> cutAt(1, secondFile.size() - 1);
    std::set<unsigned long> children;
    for (int round = 0; round < rounds; ++round) {
        const bool bySize = round % 2 == 1;
        const rlim_t cut = cutAt(random);
        SavingChild child;
        EXPECT_TRUE(child.start([&](const std::function<void()>& ready) {
            if (asUser && geteuid() == 0 && (setgid(kNogroup) != 0 || setuid(kNobody) != 0)) return;
            if (bySize) {
                saveChannelFile(path, first);  // so that the next Save grows the file
                const rlimit noCore{0, 0}, size{cut, cut};
                if (setrlimit(RLIMIT_CORE, &noCore) != 0 || setrlimit(RLIMIT_FSIZE, &size) != 0)
                    return;
            }
            ready();
            for (bool flip = false;; flip = !flip) saveChannelFile(path, flip ? first : second);
        }));
        if (!bySize) usleep(static_cast<useconds_t>(delayUs(random)));
        if (bySize ? child.endedBy() != SIGXFSZ : !child.killed()) {
            ADD_FAILURE() << "round " << round << ": the saving child failed";
            return result;
        }
        children.insert(static_cast<unsigned long>(child.pid()));

        ChannelList list;
        if (list.load(path)) ++result.restored;
        const std::string now = readFile(path);
        if (now != firstFile && now != secondFile) {
            ADD_FAILURE() << "round " << round << ": " << now.size() << " bytes";
            return result;
        }
        EXPECT_TRUE(list.lines() == (now == firstFile ? first : second)) << "round " << round;
        if (way != Way::Replace) {
            EXPECT_EQ(statOf(other).st_ino, statOf(path).st_ino);
        }
        for (const std::string& name : strays()) {
            // A temporary is named for its file (or copy) and the process that made it.
            const std::size_t mark = name.rfind(".kivo-");
            const unsigned long owner =
                mark == std::string::npos ? 0 : temporaryOwner(name, name.substr(0, mark));
            if (!children.count(owner)) {
                ADD_FAILURE() << "round " << round << ": " << name << " left beside the file";
                return result;
            }
            result.leftovers.insert(name);
        }
    }
    auto lastSave = [&] {
        saveChannelFile(path, first);
        return 0;
    };
    EXPECT_EQ(asUser ? runAsUser(lastSave) : lastSave(), 0);
    EXPECT_EQ(strays(), std::set<std::string>{});
    EXPECT_EQ(readFile(path), firstFile);
    chmod(dir.path().c_str(), 0700);
    return result;
}

TEST(ChannelFileSave, KillsDuringSaveLeaveTheOldOrTheNewFileAndNothingElse) {
    const KillRounds r = killDuringSaves(Way::Replace, 100);
    std::printf("after 100 kills: %zu temporaries were left for a while\n", r.leftovers.size());
    std::fflush(stdout);  // before the next child inherits it
    // A new file is made whole before it takes the name: there is never anything to undo.
    // The named moment is a sliver of a Save; most kills must find no temporary at all.
    EXPECT_LE(r.leftovers.size(), 20u);
    EXPECT_EQ(r.restored, 0);
}

// Rewritten in place, a Save killed halfway leaves a torn file for a moment; the load
// that follows puts the old text back from the rollback copy.
TEST(ChannelFileSave, KillsDuringAnInPlaceSaveLeaveTheOldOrTheNewTextOnceLoaded) {
    for (Way way : {Way::SecondLink, Way::ClosedFolder}) {
        SCOPED_TRACE(way == Way::SecondLink ? "second link" : "closed folder");
        const KillRounds r = killDuringSaves(way, 100);
        std::printf(
            "after 100 kills: %d loads put the old text back, %zu temporaries were "
            "left for a while\n",
            r.restored, r.leftovers.size());
        std::fflush(stdout);
        // Half the rounds cut a write at a random byte; many of those fall in the rewrite.
        EXPECT_GT(r.restored, 10);
    }
}

// Killed with the new contents complete but not yet in place: the old file is whole and
// the new one, still unnamed, leaves nothing behind.
TEST(ChannelFileSave, AKilledSaveLeavesTheOldFileWhole) {
    testenv::TempDir dir;
    std::string path = dir.file("KIVO.ini");
    const std::string old = kJapanese + ",AM,594,80,COM1\r\nb,FM,80.7,120,COM3\r\n";
    writeFile(path, old);

    EXPECT_TRUE(killedAtTheReplace(path));

    EXPECT_EQ(readFile(path), old);
    EXPECT_EQ(entries(dir.path()), std::set<std::string>{"KIVO.ini"});
    ChannelList list;
    list.load(path);
    EXPECT_EQ(list.count(), 2);
    saveChannelFile(path, {"new"});
    EXPECT_EQ(readFile(path), "new\r\n");
}

// A rewrite in place cut short after the rollback copy was down: the file is then torn (at
// worst empty) or gone. The next load, at start-up or by Reload, puts the old text back,
// says so in the start-up's plain message box, and leaves nothing beside the file; a
// load after that has nothing to settle.
TEST(ChannelFileSave, ARewriteCutShortIsUndoneAtTheNextLoadAndSaidSo) {
    struct Case {
        const char* what;
        bool reload;
        std::function<void(const std::string& path)> damage;
    } cases[] = {
        {"emptied, start-up", false, [](const std::string& path) { writeFile(path, ""); }},
        {"new text over an old tail, Reload", true,
         [](const std::string& path) {
             std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
             f << "new,AM,1,1,COM1\r\n";
         }},
        {"gone, start-up", false, [](const std::string& path) { fs::remove(path); }},
    };
    const std::string old = kJapanese + ",AM,594,80,COM1\r\nb,FM,80.7,120,COM3\r\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testenv::TempDir dir;
        const std::string path = dir.file("KIVO.ini"), other = dir.file("other.ini");
        writeFile(path, old);
        ASSERT_EQ(link(path.c_str(), other.c_str()), 0);  // so it is rewritten in place
        ASSERT_TRUE(killedAtTheReplace(path));
        c.damage(path);

        Trs232c port;
        MemoryWindow window;
        ReceiverControl control(port, window);
        window.control = &control;
        control.channelFilePath = path;
        if (c.reload)
            control.Button4Click();
        else
            EXPECT_TRUE(control.loadAtStartup());
        EXPECT_EQ(window.messages, std::vector<std::string>{restoredMessage()});
        EXPECT_EQ(window.list.lines(),
                  (Lines{kJapanese + ",AM,594,80,COM1", "b,FM,80.7,120,COM3"}));
        EXPECT_EQ(readFile(path), old);
        EXPECT_EQ(readFile(other), old);
        EXPECT_EQ(entries(dir.path()), (std::set<std::string>{"KIVO.ini", "other.ini"}));

        window.messages.clear();
        EXPECT_TRUE(control.loadAtStartup());
        EXPECT_EQ(window.messages, std::vector<std::string>{});
    }
}

// A rewrite in place that fails halfway (here: the file size limit, as a full disk would)
// reports the failure and leaves the old text in the file, every name of it alike.
TEST(ChannelFileSave, AnInPlaceSaveThatFailsHalfwayPutsTheOldTextBack) {
    testenv::TempDir dir;
    const std::string path = dir.file("KIVO.ini"), other = dir.file("other.ini");
    const std::string old = "old,AM,594,80,COM1\r\n";
    writeFile(path, old);
    ASSERT_EQ(link(path.c_str(), other.c_str()), 0);
    ownFile(path);
    openFolder(dir.path(), true);
    Lines big(20000, "Radio,FM,80.7,120,COM3");
    EXPECT_EQ(runAsUser([&] {
                  signal(SIGXFSZ, SIG_IGN);
                  const rlimit size{64 * 1024, 64 * 1024};
                  if (setrlimit(RLIMIT_FSIZE, &size) != 0) return 3;
                  try {
                      saveChannelFile(path, big);
                  } catch (const FileCreateError& e) {
                      return e.path() == path ? 0 : 2;
                  }
                  return 1;
              }),
              0);
    for (const std::string& name : {path, other}) {
        const std::string now = readFile(name);
        EXPECT_TRUE(now == old) << name << ": " << now.size() << " bytes";
    }
    EXPECT_EQ(entries(dir.path()), (std::set<std::string>{"KIVO.ini", "other.ini"}));
}

// A link to the channel file stays a link. One that leads nowhere gets its file made
// where the folder is there and takes it; one that loops, or leads into a folder that
// is missing or closed to the user, is refused with the create error, and the links
// stay as they were.
TEST(ChannelFileSave, ALinkIsNeverReplacedByAFile) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> links;  // name, target
        bool saved;
    } cases[] = {
        {"leads to a file not made yet", {{"KIVO.ini", "lists/real.ini"}}, true},
        {"leads into a missing folder", {{"KIVO.ini", "missing/real.ini"}}, false},
        {"leads into a closed folder", {{"KIVO.ini", "closed/real.ini"}}, false},
        {"loops", {{"KIVO.ini", "b.ini"}, {"b.ini", "KIVO.ini"}}, false},
        {"is its own target", {{"KIVO.ini", "KIVO.ini"}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testenv::TempDir dir;
        openFolder(dir.path(), true);
        for (const char* folder : {"lists", "closed"}) {
            fs::create_directory(dir.file(folder));
            openFolder(dir.file(folder), folder == std::string("lists"));
        }
        for (const auto& [name, target] : c.links) fs::create_symlink(target, dir.file(name));
        const std::string path = dir.file("KIVO.ini");

        EXPECT_EQ(runAsUser([&] {
                      try {
                          saveChannelFile(path, {"new"});
                      } catch (const FileCreateError& e) {
                          return e.what() == "ファイル " + path + " を作成できません" ? 2 : 3;
                      }
                      return 1;
                  }),
                  c.saved ? 1 : 2);
        for (const auto& [name, target] : c.links) {
            std::error_code ec;
            EXPECT_EQ(fs::read_symlink(dir.file(name), ec), target) << name << ": " << ec.message();
        }
        if (c.saved) {
            EXPECT_EQ(readFile(path), "new\r\n");
        }
        EXPECT_FALSE(fs::exists(dir.file("missing")));
        EXPECT_TRUE(fs::is_empty(dir.file("closed")));
        chmod(dir.file("closed").c_str(), 0700);
    }
}

// Only a whole rollback copy of this program's is ever restored from, overwritten or
// removed: a torn one (every cut of a real copy) or a user's file under the copy's name
// leaves the list file as it is and is left alone; a rewrite in place then puts its copy
// in the state folder instead.
TEST(ChannelFileSave, OnlyAWholeRollbackCopyIsEverRestored) {
    testenv::TempDir dir, state;
    testenv::ScopedEnv stateHome("XDG_STATE_HOME", state.path());
    const std::string path = dir.file("KIVO.ini"), copy = path + ".kivo-rollback";
    const std::string torn = "torn,AM,1,1,COM1\r\n";
    writeFile(path, torn);
    struct stat st = statOf(path);
    const std::string record =
        rollbackRecord({path, static_cast<std::uint64_t>(st.st_ino), "old\r\n", 5, 0});
    ASSERT_TRUE(parseRollbackRecord(record));
    for (std::size_t cut = 0; cut < record.size(); ++cut) {
        writeFile(copy, record.substr(0, cut));
        ChannelList list;
        ASSERT_FALSE(list.load(path)) << cut;
        ASSERT_EQ(readFile(path), torn) << cut;
        ASSERT_EQ(readFile(copy), record.substr(0, cut)) << cut;
    }

    writeFile(copy, "the user's own notes\n");
    ASSERT_EQ(link(path.c_str(), dir.file("other.ini").c_str()), 0);
    std::string seenInState;
    saveChannelFile(path, {"new"}, [&] {
        for (const auto& e : fs::directory_iterator(state.file("kivo")))
            seenInState = e.path().filename().string();
    });
    EXPECT_EQ(readFile(path), "new\r\n");
    EXPECT_EQ(seenInState.rfind("KIVO.ini.", 0), 0u) << seenInState;
    EXPECT_EQ(readFile(copy), "the user's own notes\n");
    EXPECT_TRUE(fs::is_empty(state.file("kivo")));
}
