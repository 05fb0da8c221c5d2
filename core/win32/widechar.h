// UTF-8, the core's text, and UTF-16, the system's wide calls: converted only at the
// calls. Both give an empty string for text that does not convert whole.
#pragma once

#include <string>
#include <string_view>

namespace kivo {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view wide);

}  // namespace kivo
