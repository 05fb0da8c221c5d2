// Putting commands on the line: byte by byte, then waiting for the output to drain.
#pragma once

#include <string_view>

#include "serial/rs232c.h"

namespace kivo {

// Sends the bytes in order, each through txbyte. A byte given up (its write failed or its
// wait ran out, say on a line held by flow control) ends the text there: what may still go
// out of it is withdrawn and the rest is not sent, so the receiver never gets the tail of a
// command it did not see begin. True when every byte went; a closed port sends nothing.
bool rsout(Trs232c& port, std::string_view text);

// Waits while txcount is above 0, polling every 1 ms, then 10 ms more. The polling
// stops after the port's txtimeout even when the queue has not drained (output held
// off for good must not freeze the program); the 10 ms follow all the same. True unless
// output was still queued when the polling stopped.
bool WaitLoop(Trs232c& port);

// rsout(command + CR LF), then WaitLoop. True when the command went out and drained.
bool sendCommand(Trs232c& port, std::string_view command);

}  // namespace kivo
