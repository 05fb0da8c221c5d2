// The program's command line: `PROGRAM [OPTION]... [CHANNEL]`. Arguments beginning with
// "--" are options, "--" alone ends them; the first other argument is the channel name,
// any further ones are ignored. A single "-" is not special: "-reverse" is a channel.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kivo {

struct OptionRule {
    enum class Value {
        None,      // "--name" only
        Optional,  // "--name" or "--name=VALUE"
        Required,  // "--name=VALUE"
    };
    std::string_view name;  // without the leading "--"
    Value value = Value::None;
    int operands = 0;           // arguments taken from the ones that follow ("--map-port A B")
    std::string_view synopsis;  // as shown in the usage: "--remote[=[ADDRESS:]PORT]"
    std::string_view help;      // one or more lines
};

struct CommandLine {
    struct Option {
        std::string name;
        std::optional<std::string> value;
        std::vector<std::string> operands;
    };

    std::optional<std::string> channel;
    std::vector<Option> options;  // in the order given
    std::string error;            // not empty when the line cannot be used

    // The last occurrence of the option, or nullptr.
    const Option* find(std::string_view name) const;
    bool has(std::string_view name) const { return find(name) != nullptr; }
};

// A whole command line cut into its arguments, the program's own name first: runs of the
// bytes 0x01 to 0x20 separate them, and double quotes group such bytes into one (the
// quotes themselves are removed).
std::vector<std::string> splitCommandLine(std::string_view line);

// `args` without the program name.
CommandLine parseCommandLine(const std::vector<std::string>& args,
                             const std::vector<OptionRule>& rules);

// The options part of a usage text: each synopsis, its help indented below or beside it.
std::string describeOptions(const std::vector<OptionRule>& rules);

}  // namespace kivo
