#include "core/options.h"

#include "core/usage.h"
#include "kivo_version.h"

namespace kivo {

const std::vector<OptionRule>& programOptions() {
    static const std::vector<OptionRule> options = [] {
        std::vector<OptionRule> rules = {
            {"help", OptionRule::Value::None, 0, "--help", "print this help and exit"},
            {"version", OptionRule::Value::None, 0, "--version", "print the version and exit"},
            {"remote", OptionRule::Value::Optional, 0, "--remote[=[ADDRESS:]PORT]",
             "answer remote-control clients (the rigctld protocol, e.g.\n"
             "`rigctl -m 2`) on ADDRESS:PORT; ADDRESS is IPv4 or [IPv6],\n"
             "default 127.0.0.1, PORT default 4532. Anyone who can reach\n"
             "the address can then control the receiver"},
        };
        const std::vector<OptionRule>& ports = platformPortOptions();
        rules.insert(rules.end(), ports.begin(), ports.end());
        return rules;
    }();
    return options;
}

std::string usageText(const std::string& program, const std::string& installedBinDir) {
    std::string text = "Usage: " + program + " [OPTION]... [CHANNEL]\n";
    text +=
        "Drives a computer-controlled radio receiver over a serial line.\n"
        "\n"
        "CHANNEL is the name of a line in the channel file: the receiver is switched on\n"
        "on that line's port and tuned to it. A start while a copy already runs closes\n"
        "that copy first (the receiver is switched off); without CHANNEL it then ends,\n"
        "with CHANNEL it takes over and tunes. Arguments after the first are ignored.\n"
        "\n";
    text += platformSetupText(program);
    text += "Options:\n";
    text += describeOptions(programOptions());
    text +=
        "  --                    end of the options: the next argument is the channel\n"
        "\n"
        "Environment:\n";
    text += platformEnvironmentText();
    text +=
        "\n"
        "Files:\n";
    text += platformFilesText(installedBinDir);
    text +=
        "\n"
        "Exit status: 0 when the program ends normally, 1 when a port command is\n"
        "refused, 2 for a bad command line.\n";
    return text;
}

std::string commandLineErrorText(const std::string& program, const std::string& error) {
    return program + ": " + error + "\nTry '" + program + " --help' for more information.\n";
}

std::string optionErrorText(const std::string& program, const std::string& option,
                            const std::string& error) {
    return program + ": --" + option + ": " + error + "\n";
}

std::string versionText(const std::string& program) {
    return program + " " KIVO_VERSION "\n";
}

}  // namespace kivo
