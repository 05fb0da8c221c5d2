// Putting commands on the line: byte by byte, then waiting for the output to drain.
#pragma once

#include <string_view>

#include "rs232c.h"

namespace kivo {

// Sends the bytes in order, each through txbyte; failures are ignored (a closed port
// drops every byte).
void rsout(Trs232c& port, std::string_view text);

// Waits while txcount is above 0, polling every 1 ms, then 10 ms more. The polling
// stops after the port's txtimeout even when the queue has not drained (output held
// off for good must not freeze the program); the 10 ms follow all the same.
void WaitLoop(Trs232c& port);

// rsout(command + CR LF), then WaitLoop.
void sendCommand(Trs232c& port, std::string_view command);

}  // namespace kivo
