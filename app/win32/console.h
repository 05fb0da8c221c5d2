// Text the program prints (--help, --version, --list-ports, a bad command line): to its
// standard output or error where it has one (redirected, or the console it was started
// from), else in a message box.
#pragma once

#include <string>

enum class Stream { Output, Error };

// Writes `text` (UTF-8) where the user sees it.
void printText(const std::string& text, Stream stream = Stream::Output);
