#include "core/usage.h"

namespace kivo {

const std::vector<OptionRule>& platformPortOptions() {
    static const std::vector<OptionRule> options = {
        {"list-ports", OptionRule::Value::None, 0, "--list-ports",
         "list the COM ports present (with the names the\n"
         "system gives them), whether each opens now and if\n"
         "not why, then exit"},
    };
    return options;
}

std::string platformSetupText(const std::string& program) {
    return "Setting up a receiver: plug in the serial adapter and find its COM name with\n"
           "  " +
           program +
           " --list-ports\n"
           "(or in the Device Manager, under \"Ports (COM & LPT)\"); the port chooser lists\n"
           "COM1 to COM9, and any other name can be typed into it.\n"
           "\n";
}

std::string platformEnvironmentText() {
    return "  KIVO_REMOTE           [ADDRESS:]PORT: as --remote=..., when that is not given\n"
           "  APPDATA               the user's application data folder: the installed\n"
           "                        program's channel file is in %APPDATA%\\KIVO\n"
           "  LOCALAPPDATA          an in-place Save keeps its rollback copy in\n"
           "                        %LOCALAPPDATA%\\kivo when the channel file's folder\n"
           "                        takes no new file\n";
}

std::string platformFilesText(const std::string& installedBinDir) {
    return "  KIVO.ini              the channel file: one channel per line,\n"
           "                        name,band,frequency,volume,port (Shift-JIS text).\n"
           "                        Run from the folder it was installed in (" +
           (installedBinDir.empty() ? std::string("not installed") : installedBinDir) +
           "),\n"
           "                        the program keeps it in %APPDATA%\\KIVO\\KIVO.ini, its\n"
           "                        folder made on the first Save; run from any other\n"
           "                        folder, beside kivo.exe.\n";
}

}  // namespace kivo
