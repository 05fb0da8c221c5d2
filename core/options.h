// kivo's options and its usage text. Options that print something act before any window
// exists and without looking for a running copy.
#pragma once

#include <string>
#include <vector>

#include "core/commandline.h"

namespace kivo {

const std::vector<OptionRule>& programOptions();

// The text of --help for a program called `program`, installed in `installedBinDir`.
std::string usageText(const std::string& program, const std::string& installedBinDir);

// What a command line that cannot be used gets: the error and where to find help.
std::string commandLineErrorText(const std::string& program, const std::string& error);
// A value of --`option` that cannot be used.
std::string optionErrorText(const std::string& program, const std::string& option,
                            const std::string& error);

// The line of --version.
std::string versionText(const std::string& program);

}  // namespace kivo
