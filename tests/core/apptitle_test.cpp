// The title rules without a toolkit: either separator the system has, the first character
// kept whole however many bytes it takes, the rest lower-cased by the front end's rule.
#include "core/apptitle.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>

namespace {

std::string asciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// Shows what it was given to lower-case.
std::string marked(std::string_view text) {
    return "<" + asciiLower(text) + ">";
}

}  // namespace

TEST(TitleRules, FileNameProgramTitleAndApplicationTitle) {
    // The system's own separator: "\" on Windows, "/" (as below) elsewhere.
    const std::string folder = std::string("C:") +
                               char(std::filesystem::path::preferred_separator) + "KIVO" +
                               char(std::filesystem::path::preferred_separator);
    struct Case {
        std::string path, fileName, programTitle, applicationTitle;
    } cases[] = {
        {folder + "KIVO.exe", "KIVO.exe", "KIVO", "K<ivo>"},
        {"/usr/local/bin/kivo", "kivo", "kivo", "k<ivo>"},
        {"/opt/My.Radio.exe", "My.Radio.exe", "My.Radio", "M<y>"},
        {"RADIO", "RADIO", "RADIO", "R<adio>"},
        {"/opt/\xC3\x84RADIO", "\xC3\x84RADIO", "\xC3\x84RADIO", "\xC3\x84<radio>"},  // ÄRADIO
        {"/opt/.hidden", ".hidden", "", ""},
        {"/opt/", "", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(kivo::fileNameOf(c.path), c.fileName) << c.path;
        EXPECT_EQ(kivo::programTitleOf(c.path), c.programTitle) << c.path;
        EXPECT_EQ(kivo::applicationTitleOf(c.path, marked), c.applicationTitle) << c.path;
    }
    kivo::setProgramTitles(folder + "KIVO.exe", asciiLower);
    EXPECT_EQ(kivo::programTitle(), "KIVO");
    EXPECT_EQ(kivo::applicationTitle(), "Kivo");
}
