// The port command on Windows, --list-ports: the COM ports present, the names the system
// gives them, and whether each opens now (and if not, why). No window, no running copy
// touched.
#pragma once

#include <string>

#include "serial/openfailure.h"

namespace kivo {

// "opens now", or why not.
std::string portVerdict(const comm::OpenFailure& why);

// The list, as printed; `status` gets the exit status.
std::string listPorts(int& status);

}  // namespace kivo
