#include "options.h"

#include "kivo_version.h"

namespace kivo {

const std::vector<OptionSpec>& programOptions() {
    static const std::vector<OptionSpec> options = {
        {"help", OptionSpec::Value::None, 0, "--help", "print this help and exit"},
        {"version", OptionSpec::Value::None, 0, "--version", "print the version and exit"},
        {"remote", OptionSpec::Value::Optional, 0, "--remote[=[ADDRESS:]PORT]",
         "answer remote-control clients (the rigctld protocol, e.g.\n"
         "`rigctl -m 2`) on ADDRESS:PORT; ADDRESS is IPv4 or [IPv6],\n"
         "default 127.0.0.1, PORT default 4532. Anyone who can reach\n"
         "the address can then control the receiver"},
    };
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
        "\n"
        "Options:\n";
    text += describeOptions(programOptions());
    text +=
        "  --                    end of the options: the next argument is the channel\n"
        "\n"
        "Environment:\n"
        "  KIVO_PORTS            the folder of COM-name links (COM3 -> /dev/ttyUSB0);\n"
        "                        when set it is the whole map of port names\n"
        "  XDG_CONFIG_HOME       the user's config folder (default ~/.config): the ports\n"
        "                        folder without KIVO_PORTS is $XDG_CONFIG_HOME/kivo/ports,\n"
        "                        the installed program's channel file is in\n"
        "                        $XDG_CONFIG_HOME/kivo\n"
        "  KIVO_REMOTE           [ADDRESS:]PORT: as --remote=..., when that is not given\n"
        "  QT_QPA_PLATFORM       Qt's settings come from the environment only\n"
        "\n"
        "Files:\n"
        "  KIVO.ini              the channel file: one channel per line,\n"
        "                        name,band,frequency,volume,port (Shift-JIS text).\n"
        "                        Run from " +
        installedBinDir +
        " (installed), the program keeps it\n"
        "                        in $XDG_CONFIG_HOME/kivo/KIVO.ini (~/.config/kivo/KIVO.ini),\n"
        "                        its folder made on the first Save; run from any other\n"
        "                        folder, beside the program file.\n"
        "\n"
        "Exit status: 0 when the program ends normally, 2 for a bad command line.\n";
    return text;
}

std::string versionText(const std::string& program) {
    return program + " " KIVO_VERSION "\n";
}

}  // namespace kivo
