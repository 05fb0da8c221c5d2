// The parts of the program's options and usage text that differ by platform: the port
// commands, how a receiver is set up, the environment and where the channel file lies.
#pragma once

#include <string>
#include <vector>

#include "core/commandline.h"

namespace kivo {

// The port commands (--list-ports, ...), after the options every platform has.
const std::vector<OptionRule>& platformPortOptions();

// The paragraph on setting up a receiver, naming `program`; ends in an empty line.
std::string platformSetupText(const std::string& program);

// The rows under "Environment:".
std::string platformEnvironmentText();

// The rows under "Files:", for a program installed in `installedBinDir`.
std::string platformFilesText(const std::string& installedBinDir);

}  // namespace kivo
