// Where the program keeps its channel file, with folder names beyond ASCII: the paths
// are UTF-8 throughout and reach the system whole.
#include "core/channelfile.h"
#include "core/configfolder.h"
#include "core/win32/widechar.h"
#include "tests/app/win32/formtest.h"

TEST(ChannelFileOnWindows, AFolderNamedInJapaneseKeepsItsFileBesideTheProgramOrInAppData) {
    testenv::TempDir base;
    const std::string folder = base.path() + "\\ラジオ局";
    ASSERT_TRUE(CreateDirectoryW(kivo::widen(folder).c_str(), nullptr));
    EXPECT_EQ(kivo::channelFileFolder(folder, ""), folder + "\\");
    EXPECT_EQ(kivo::channelFileFolder(folder, base.path()), folder + "\\");
    // Run from the install folder: the user's folder.
    EXPECT_EQ(kivo::channelFileFolder(folder, base.path() + "\\ラジオ局\\."),
              kivo::configFolder() + "\\");

    // Save and load through the core's file code.
    kivo::ChannelList list;
    list.setLines({"\x83\x89\x83\x57\x83\x49,AM,594,80,COM1"});
    const std::string path = kivo::channelFileFolder(folder, "") + "KIVO.ini";
    list.save(path);
    kivo::ChannelList again;
    again.load(path);
    ASSERT_EQ(again.count(), 1);
    EXPECT_EQ(again.line(0), list.line(0));
    EXPECT_NE(GetFileAttributesW(kivo::widen(folder + "\\KIVO.ini").c_str()),
              INVALID_FILE_ATTRIBUTES);
}
