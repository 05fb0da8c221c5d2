#include "core/channelfile.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "core/channels.h"
#include "core/configfolder.h"
#include "core/errors.h"
#include "tests/support/testenv.h"

using namespace kivo;
using Items = std::vector<std::string>;

using testenv::readFile;
using testenv::writeFile;

namespace {

// "ラジオ日本" in CP932.
const std::string kJapanese = "\x83\x89\x83\x57\x83\x49\x93\xfa\x96\x7b";

}  // namespace

TEST(ChannelFileLines, EveryLineEndForm) {
    EXPECT_EQ(splitFileLines("a\r\nb\r\n"), (Items{"a", "b"}));
    EXPECT_EQ(splitFileLines("a\nb"), (Items{"a", "b"}));
    EXPECT_EQ(splitFileLines("a\rb\r"), (Items{"a", "b"}));
    EXPECT_EQ(splitFileLines("a\n\rb"), (Items{"a", "", "b"}));
    EXPECT_EQ(splitFileLines("a\r\n\r\nb"), (Items{"a", "", "b"}));
    EXPECT_EQ(splitFileLines("a\rb\nc\r\nd\n\re\r\r\nf"),
              (Items{"a", "b", "c", "d", "", "e", "", "f"}));
    EXPECT_EQ(splitFileLines(std::string("a\nb\0c\nd", 8)), (Items{"a", "b"}));
    EXPECT_EQ(splitFileLines(std::string("\0abc", 4)), Items{});
    EXPECT_EQ(splitFileLines(""), Items{});
    EXPECT_EQ(splitFileLines("\r\n"), (Items{""}));
    EXPECT_EQ(splitFileLines(" a \n"), (Items{" a "}));
}

TEST(ChannelFile, JapaneseLinesRoundTripByteForByte) {
    testenv::TempDir dir;
    std::string path = dir.file("KIVO.ini");
    std::string line1 = kJapanese + ",AM,594,80,COM1";
    std::string line2 = "\x83\x5c\x83\x5c,FM,80.7,120,COM3";  // "ソソ": trail bytes 0x5C
    writeFile(path, line1 + "\n" + line2);                    // lone LF, no final end

    ChannelList list;
    list.load(path);
    EXPECT_EQ(list.lines(), (Items{line1, line2}));
    EXPECT_EQ(Split(list.line(1))[0], "\x83\x5c\x83\x5c");
    list.save(path);
    EXPECT_EQ(readFile(path), line1 + "\r\n" + line2 + "\r\n");

    ChannelList again;
    again.load(path);
    EXPECT_EQ(again.lines(), list.lines());

    ChannelList empty;
    empty.save(path);
    EXPECT_EQ(readFile(path), "");
}

TEST(ChannelFile, ReloadReplacesTheLinesAndClearsTheSelection) {
    testenv::TempDir dir;
    std::string path = dir.file("KIVO.ini");
    writeFile(path, "x,AM,1,1,COM1\r\ny,AM,2,2,COM1\r\n");
    ChannelList list;
    list.setLines({"old"});
    list.setSelectedIndex(0);
    list.reload(path);
    EXPECT_EQ(list.count(), 2);
    EXPECT_EQ(list.selectedIndex(), -1);

    // A missing file raises the open error and keeps what the list had.
    list.setSelectedIndex(1);
    std::string missing = dir.file("none.ini");
    try {
        list.reload(missing);
        FAIL() << "no error";
    } catch (const FileOpenError& e) {
        EXPECT_EQ(e.what(), "ファイル " + missing + " は開けません");
    }
    EXPECT_EQ(list.count(), 2);
    EXPECT_EQ(list.selectedIndex(), 1);
    EXPECT_THROW(list.load(dir.path()), FileOpenError);  // a folder is no file
}

TEST(ChannelFileSave, FailureLeavesTheOldFileAndNoLitter) {
    testenv::TempDir dir;
    // The "folder" is a file: nothing can be created in it, not even by root.
    std::string notADir = dir.file("plain");
    writeFile(notADir, "keep");
    std::string path = notADir + "/KIVO.ini";
    try {
        saveChannelFile(path, {"a"});
        FAIL() << "no error";
    } catch (const FileCreateError& e) {
        EXPECT_EQ(e.what(), "ファイル " + path + " を作成できません");
    }
    EXPECT_EQ(readFile(notADir), "keep");

    // A target that cannot be replaced (a non-empty folder) fails at the rename:
    // the temporary file is removed again.
    std::string blocked = dir.file("KIVO.ini");
    std::filesystem::create_directories(blocked + "/inside");
    EXPECT_THROW(saveChannelFile(blocked, {"a"}), FileCreateError);
    int entries = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) (void)e, ++entries;
    EXPECT_EQ(entries, 2);  // "plain" and "KIVO.ini"
}

// Beside the program, unless the program lies in the install folder: then in the user's
// config folder. Either way the folder ends in a separator, the system's own if added.
TEST(ChannelFileFolder, BesideTheProgramUnlessInstalled) {
    testenv::TempDir program, elsewhere, home;
    testenv::ScopedEnv config("XDG_CONFIG_HOME", home.path());  // read on POSIX only
    const std::string separator(1, static_cast<char>(std::filesystem::path::preferred_separator));
    EXPECT_EQ(channelFileFolder(program.path(), elsewhere.path()), program.path() + separator);
    EXPECT_EQ(channelFileFolder(program.path(), ""), program.path() + separator);
    EXPECT_EQ(channelFileFolder(program.path() + "/", elsewhere.path()), program.path() + "/");

    const std::string folder = configFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(std::filesystem::path(folder).is_absolute()) << folder;
    // KIVO's own folder there (Windows names it "KIVO", and its names ignore case).
    std::string name = std::filesystem::path(folder).filename().string();
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(name, "kivo") << folder;
    EXPECT_EQ(channelFileFolder(program.path(), program.path() + "/."), folder + separator);
}
