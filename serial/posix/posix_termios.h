// The device-control block on a POSIX terminal. Speed, data bits, parity, stop bits and
// flow control live in the terminal's settings; what a terminal has no place for (the
// DTR/RTS modes, EvtChar, ErrorChar, the limits ...) is kept by the caller in `stored`.
#pragma once

#include "serial/commapi.h"

namespace comm::posix {

// Raw byte mode for a freshly opened terminal, keeping its line settings; framing and
// parity errors and breaks are marked in the input (0xFF 0x00 x / 0xFF 0x00 0x00, a real
// 0xFF doubled) so the port can count them. False when `fd` is not a terminal.
bool makeRaw(int fd);

// Applies `dcb` and reads the result back; anything the line cannot do, or that the
// driver silently did not take, is refused and the previous settings are restored.
// Returns ERROR_SUCCESS or the error to report.
DWORD applyDcb(int fd, const DCB& dcb);

// `stored` with the fields the terminal holds replaced by what it has now.
bool readDcb(int fd, const DCB& stored, DCB& out);

}  // namespace comm::posix
