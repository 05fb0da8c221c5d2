// KIVO's own folder in the user's configuration folder, where the installed program keeps
// its channel file. Empty only when the system names no such folder.
#pragma once

#include <string>

namespace kivo {

std::string configFolder();

}  // namespace kivo
