#include "core/usage.h"

namespace kivo {

const std::vector<OptionRule>& platformPortOptions() {
    static const std::vector<OptionRule> options = {
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

std::string platformSetupText(const std::string& program) {
    return "Setting up a receiver: plug in the serial adapter, find it with\n"
           "  " +
           program +
           " --list-ports\n"
           "and give it a port name with the command that list shows, for example\n"
           "  " +
           program +
           " --map-port COM3 /dev/ttyUSB0\n"
           "The port commands print and end: no window, no running copy touched.\n"
           "\n";
}

std::string platformEnvironmentText() {
    return "  KIVO_PORTS            the folder of COM-name links (COM3 -> /dev/ttyUSB0);\n"
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
           "  QT_QPA_PLATFORM       Qt's settings come from the environment only\n";
}

std::string platformFilesText(const std::string& installedBinDir) {
    return "  KIVO.ini              the channel file: one channel per line,\n"
           "                        name,band,frequency,volume,port (Shift-JIS text).\n"
           "                        Run from " +
           installedBinDir +
           " (installed), the program keeps it\n"
           "                        in $XDG_CONFIG_HOME/kivo/KIVO.ini (~/.config/kivo/KIVO.ini),\n"
           "                        its folder made on the first Save; run from any other\n"
           "                        folder, beside the program file.\n";
}

}  // namespace kivo
