// The two names a program file gives the program: its title (window captions, the key of
// the single-copy rule) and its application title (caption of message boxes). Paths and
// titles are UTF-8.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace kivo {

// Lower-cases UTF-8 text; the front end's, which knows the characters beyond ASCII.
using LowerCase = std::function<std::string(std::string_view)>;

// The file name without its folder (either separator where the system has two).
std::string fileNameOf(std::string_view path);

// The file name less its last extension: "KIVO.exe" gives "KIVO".
std::string programTitleOf(std::string_view programPath);

// The file name cut at its first ".", every character after the first lower-cased:
// "KIVO.exe" gives "Kivo", "kivo" stays "kivo".
std::string applicationTitleOf(std::string_view programPath, const LowerCase& lowerCase);

// Set once at start-up from the running program's file; the windows and dialogs read them.
void setProgramTitles(std::string_view programPath, const LowerCase& lowerCase);
const std::string& programTitle();
const std::string& applicationTitle();

}  // namespace kivo
