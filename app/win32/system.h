// The system's headers for the program's files. The communications interface is read
// first: its constants share their names with the system's macros, which must come after.
#pragma once

#include "serial/commapi.h"
#include "serial/comthd.h"

#undef INVALID_HANDLE_VALUE
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <winsock2.h>
