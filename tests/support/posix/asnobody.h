// Work done as an ordinary user: the tests run as root, to whom no permission bit and no
// sticky folder says no.
#pragma once

#include <functional>
#include <string>

namespace testenv {

// Runs `work` in a child process that has become the user `nobody` (no supplementary
// groups) and returns the text it returned; a text saying so when it could not.
std::string asNobody(const std::function<std::string()>& work);

}  // namespace testenv
