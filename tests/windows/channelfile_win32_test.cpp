// Saving and loading the channel file through the Win32 file calls: what a user's file
// protections, a second name of the file and a killed save leave.
#define WIN32_LEAN_AND_MEAN
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/channelfile.h"
#include "core/channels.h"
#include "core/errors.h"
#include "tests/support/testenv.h"

using namespace kivo;
namespace fs = std::filesystem;

namespace {

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> entries(const std::string& dir) {
    std::vector<std::string> names;
    for (auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    return names;
}

std::string besideThisProgram(const char* name) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    return (fs::path(self).parent_path() / name).string();
}

}  // namespace

TEST(ChannelFileWin32, AReadOnlyFileIsNotReplaced) {
    testenv::TempDir dir;
    const std::string path = dir.file("KIVO.ini");
    writeFile(path, "old\r\n");
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_THROW(saveChannelFile(path, {"new"}), FileCreateError);
    EXPECT_EQ(readFile(path), "old\r\n");
    EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"KIVO.ini"});
}

TEST(ChannelFileWin32, AFileWithASecondNameIsRewrittenInPlace) {
    testenv::TempDir dir;
    const std::string path = dir.file("KIVO.ini");
    const std::string other = dir.file("backup.ini");
    writeFile(path, "old,AM,1,1,COM1\r\nsecond\r\n");
    ASSERT_TRUE(CreateHardLinkA(other.c_str(), path.c_str(), nullptr));
    saveChannelFile(path, {"new"});
    // A rename would have parted the two names; both still show the one file.
    EXPECT_EQ(readFile(path), "new\r\n");
    EXPECT_EQ(readFile(other), "new\r\n");
    EXPECT_EQ(entries(dir.path()).size(), 2u);
}

TEST(ChannelFileWin32, AKilledSaveLeavesTheOldFileAndTheNextSaveSweepsUp) {
    testenv::TempDir dir;
    const std::string path = dir.file("KIVO.ini");
    const std::string old = "\x83\x89\x83\x57\x83\x49,AM,594,80,COM1\r\n";
    writeFile(path, old);
    const std::string eventName = "kivo-save-ready-" + std::to_string(GetCurrentProcessId());
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
    ASSERT_TRUE(ready);

    std::string command =
        "\"" + besideThisProgram("kivo_save_child.exe") + "\" \"" + path + "\" " + eventName;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &si, &pi));
    const DWORD waited = WaitForSingleObject(ready, 20000);
    TerminateProcess(pi.hProcess, 9);
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    CloseHandle(ready);
    ASSERT_EQ(waited, WAIT_OBJECT_0) << "the child never reached the replace";

    // Killed between its temporary file and the rename: the old file is whole, and the
    // temporary file, named for the dead process, is all that is left besides.
    EXPECT_EQ(readFile(path), old);
    EXPECT_EQ(entries(dir.path()).size(), 2u);
    // One named for a live process (this one) may be another save's: it is kept.
    const std::string live = path + ".tmp" + std::to_string(GetCurrentProcessId()) + "-7";
    writeFile(live, "partial");

    saveChannelFile(path, {"next"});
    EXPECT_EQ(readFile(path), "next\r\n");
    auto left = entries(dir.path());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left,
              (std::vector<std::string>{
                  "KIVO.ini", "KIVO.ini.tmp" + std::to_string(GetCurrentProcessId()) + "-7"}));
}

TEST(ChannelFileWin32, PathsAreUtf8AndOnlyAFileOnDiskLoads) {
    testenv::TempDir dir;
    const std::string folder = dir.path() + "/ラジオ局";
    ASSERT_TRUE(fs::create_directory(fs::u8path(folder)));
    const std::string path = folder + "/KIVO.ini";
    saveChannelFile(path, {"a,AM,594,80,COM1"});
    EXPECT_EQ(readFile(fs::u8path(path)), "a,AM,594,80,COM1\r\n");
    EXPECT_EQ(readChannelFile(path), "a,AM,594,80,COM1\r\n");
    // Saved again over the file: replaced, and no temporary file is left.
    saveChannelFile(path, {"b", std::string("c\0d", 3)});
    EXPECT_EQ(readChannelFile(path), "b\r\nc");  // the text ends at the first NUL
    EXPECT_EQ(std::distance(fs::directory_iterator(fs::u8path(folder)), fs::directory_iterator()),
              1);

    // A device under the file's name reads without end; it is refused like a folder.
    EXPECT_THROW(readChannelFile("NUL"), FileOpenError);
    EXPECT_THROW(readChannelFile(folder), FileOpenError);
    // Text that is no UTF-8 names no file.
    EXPECT_THROW(readChannelFile(dir.path() + "/\xff.ini"), FileOpenError);
    EXPECT_THROW(saveChannelFile(dir.path() + "/\xff.ini", {"x"}), FileCreateError);
}
