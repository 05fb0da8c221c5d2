// The program's titles (core/apptitle.h) from the running program's file, lower-cased by
// the system's own mapping.
#pragma once

#include <string>
#include <string_view>

#include "core/apptitle.h"

namespace kivo {

// The system's lower case of UTF-8 text.
std::string systemLowerCase(std::string_view text);

// The running program's file, UTF-8.
std::string programFile();

// Sets the titles from the running program's file.
void setProgramTitlesFromModule();

}  // namespace kivo
