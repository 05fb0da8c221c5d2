#include "core/options.h"

#include "kivo_version.h"

namespace kivo {

const std::vector<OptionRule>& programOptions() {
    static const std::vector<OptionRule> options = {
        {"help", OptionRule::Value::None, 0, "--help", "print this help and exit"},
        {"version", OptionRule::Value::None, 0, "--version", "print the version and exit"},
        {"remote", OptionRule::Value::Optional, 0, "--remote[=[ADDRESS:]PORT]",
         "answer remote-control clients (the rigctld protocol, e.g.\n"
         "`rigctl -m 2`) on ADDRESS:PORT; ADDRESS is IPv4 or [IPv6],\n"
         "default 127.0.0.1, PORT default 4532. Anyone who can reach\n"
         "the address can then control the receiver"},
        {"list-ports", OptionRule::Value::None, 0, "--list-ports",
         "list COM1 to COM9 (what each leads to, whether it\n"
         "opens now and if not why) and the serial devices\n"
         "present, then exit"},
        {"map-port", OptionRule::Value::None, 2, "--map-port COMn DEVICE",
         "make COMn lead to DEVICE (by its /dev/serial/by-id\n"
         "name when it has one, which survives replugging)"},
        {"unmap-port", OptionRule::Value::None, 1, "--unmap-port COMn", "remove the COMn link"},
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
        "Setting up a receiver: plug in the serial adapter, find it with\n"
        "  " +
        program +
        " --list-ports\n"
        "and give it a port name with the command that list shows, for example\n"
        "  " +
        program +
        " --map-port COM3 /dev/ttyUSB0\n"
        "The port commands print and end: no window, no running copy touched.\n"
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
        "  XDG_STATE_HOME        the user's state folder (default ~/.local/state): an\n"
        "                        in-place Save keeps its rollback copy in\n"
        "                        $XDG_STATE_HOME/kivo when the channel file's folder\n"
        "                        takes no new file\n"
        "  KIVO_REMOTE           [ADDRESS:]PORT: as --remote=..., when that is not given\n"
        "  KIVO_LOCK_DIR         the folder of the UUCP lock files (LCK..ttyUSB0) a port\n"
        "                        in use is known by and kivo puts there for the port it\n"
        "                        holds; default /run/lock (and /var/lock)\n"
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
        "Exit status: 0 when the program ends normally, 1 when a port command is\n"
        "refused, 2 for a bad command line.\n";
    return text;
}

std::string versionText(const std::string& program) {
    return program + " " KIVO_VERSION "\n";
}

}  // namespace kivo
