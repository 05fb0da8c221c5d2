// Why CreateFileA could not open a port, from its error code: no such port, held by
// another program, or refused to this user (`queryOpens`: an open asking for no access
// succeeded, which a port another program holds refuses too).
#pragma once

#include <string>

#include "serial/openfailure.h"

namespace comm {

// The system's own words for an error code (FormatMessage), without the line end.
std::string systemErrorText(unsigned long error);

OpenFailure openFailureOf(const std::string& device, unsigned long error, bool queryOpens);

}  // namespace comm
