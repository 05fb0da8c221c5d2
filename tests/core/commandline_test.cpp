#include "core/commandline.h"

#include <gtest/gtest.h>

namespace {

using kivo::CommandLine;
using kivo::OptionRule;
using V = OptionRule::Value;

const std::vector<OptionRule> rules = {
    {"help", V::None, 0, "--help", "print help"},
    {"remote", V::Optional, 0, "--remote[=PORT]", "serve"},
    {"level", V::Required, 0, "--level=N", "a level"},
    {"map-port", V::None, 2, "--map-port COMn DEVICE", "map\nsecond line"},
};

struct Case {
    std::vector<std::string> args;
    std::optional<std::string> channel;
    std::string options;  // "name=value[operands]" joined by ";"
    std::string error;    // a part of the error text, empty for none
};

std::string describe(const CommandLine& line) {
    std::string out;
    for (const auto& o : line.options) {
        if (!out.empty()) out += ";";
        out += o.name;
        if (o.value) out += "=" + *o.value;
        for (const auto& a : o.operands) out += "[" + a + "]";
    }
    return out;
}

TEST(CommandLineTest, OptionsChannelAndErrors) {
    const Case cases[] = {
        {{}, std::nullopt, "", ""},
        {{"Radio1"}, "Radio1", "", ""},
        {{"Radio1", "Radio2"}, "Radio1", "", ""},  // further arguments are ignored
        {{"-reverse"}, "-reverse", "", ""},        // a toolkit's option is a channel name
        {{"-style", "fusion"}, "-style", "", ""},
        {{"-"}, "-", "", ""},
        {{"--help", "Radio1"}, "Radio1", "help", ""},
        {{"Radio1", "--help"}, "Radio1", "help", ""},  // options anywhere before "--"
        {{"--", "--help"}, "--help", "", ""},
        {{"--", "a", "--help"}, "a", "", ""},
        {{"--remote"}, std::nullopt, "remote", ""},
        {{"--remote=4533", "x"}, "x", "remote=4533", ""},
        {{"--remote="}, std::nullopt, "remote=", ""},
        {{"--level=3"}, std::nullopt, "level=3", ""},
        {{"--map-port", "COM3", "/dev/ttyUSB0", "ch"}, "ch", "map-port[COM3][/dev/ttyUSB0]", ""},
        {{"--map-port", "--help", "x"}, std::nullopt, "map-port[--help][x]", ""},
        {{"--bogus"}, std::nullopt, "", "unknown option --bogus"},
        {{"--help=yes"}, std::nullopt, "", "takes no value"},
        {{"--level"}, std::nullopt, "", "needs a value"},
        {{"--map-port", "COM3"}, std::nullopt, "", "needs 2 arguments"},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const auto& a : c.args) shown += " '" + a + "'";
        CommandLine line = kivo::parseCommandLine(c.args, rules);
        if (!c.error.empty()) {
            EXPECT_NE(line.error.find(c.error), std::string::npos) << shown << ": " << line.error;
            continue;
        }
        EXPECT_EQ(line.error, "") << shown;
        EXPECT_EQ(line.channel, c.channel) << shown;
        EXPECT_EQ(describe(line), c.options) << shown;
    }
}

TEST(CommandLineTest, LastOccurrenceWinsAndUsageListsEveryOption) {
    CommandLine line = kivo::parseCommandLine({"--remote=1", "--remote=2"}, rules);
    ASSERT_TRUE(line.has("remote"));
    EXPECT_EQ(line.find("remote")->value, "2");
    EXPECT_FALSE(line.has("help"));

    std::string usage = kivo::describeOptions(rules);
    EXPECT_NE(usage.find("  --help                print help\n"), std::string::npos) << usage;
    // A synopsis too wide for its column puts the help on the lines below.
    EXPECT_NE(usage.find("  --map-port COMn DEVICE\n                        map\n"
                         "                        second line\n"),
              std::string::npos)
        << usage;
}

// A whole command line as the system keeps it: runs of bytes 0x01..0x20 separate, double
// quotes group and go, the program's own name comes first.
TEST(CommandLineTest, AWholeLineIsCutByBlanksAndQuotes) {
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"kivo.exe", {"kivo.exe"}},
        {"", {}},
        {"  \t ", {}},
        {"kivo.exe Radio1 Radio2", {"kivo.exe", "Radio1", "Radio2"}},
        {"\"C:\\Program Files\\KIVO\\kivo.exe\"  \"  Radio1 \"",
         {"C:\\Program Files\\KIVO\\kivo.exe", "  Radio1 "}},
        {"k a\"b c\"d\t\x01" "e", {"k", "ab cd", "e"}},
        {"k \"\"", {"k", ""}},
        {"k \"open to the end", {"k", "open to the end"}},
        {"k \xe3\x83\xa9\xe3\x82\xb8\xe3\x82\xaa", {"k", "\xe3\x83\xa9\xe3\x82\xb8\xe3\x82\xaa"}},
    };
    for (const auto& [line, args] : cases) EXPECT_EQ(kivo::splitCommandLine(line), args) << line;
}

}  // namespace
