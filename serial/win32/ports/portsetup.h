// The port command on Windows, --list-ports: the COM ports present, the names the system
// gives them, and whether each opens now (and if not, why). No window, no running copy
// touched.
#pragma once

#include <ostream>
#include <string>

#include "serial/openfailure.h"

namespace kivo {

// "opens now", or why not.
std::string portVerdict(const comm::OpenFailure& why);

// Returns the exit status.
int listPorts(std::ostream& out);

}  // namespace kivo
