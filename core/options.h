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

// The line of --version.
std::string versionText(const std::string& program);

}  // namespace kivo
