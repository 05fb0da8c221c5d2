// Putting commands on the line: byte by byte, then waiting for the output to drain.
#pragma once

#include <string_view>

#include "serial/rs232c.h"

namespace kivo {

// Sends the bytes in order, each through txbyte. A byte given up (its write failed or its
// wait ran out, say on a line held by flow control) ends the text there: what may still go
// out of it is withdrawn and the rest is not sent. True when every byte went; a closed
// port sends nothing. `cut`, when asked for, tells whether the receiver was left inside a
// line: part of the text went out before the byte given up, or the purge withdrew bytes
// written before the text.
bool rsout(Trs232c& port, std::string_view text, bool* cut = nullptr);

// Waits while txcount is above 0, polling every 1 ms, then 10 ms more. The polling
// stops after the port's txtimeout even when the queue has not drained (output held
// off for good must not freeze the program); the 10 ms follow all the same. True unless
// output was still queued when the polling stopped.
bool WaitLoop(Trs232c& port);

// rsout(command + CR LF, cut), then WaitLoop. True when the command went out and drained.
bool sendCommand(Trs232c& port, std::string_view command, bool* cut = nullptr);

// The receiver's side of the line, kept across commands (and across closing and opening
// the port): no two commands ever share a line. A command cut short leaves the start of a
// line with the receiver; the next command first ends it with CR LF, paced as a command,
// and is not sent while that CR LF does not go out.
class ReceiverLine {
  public:
    // sendCommand, after ending a line left cut. True when the command went out and drained.
    bool send(Trs232c& port, std::string_view command);
    // Closes the port. Output still queued goes with it, perhaps in the middle of a line.
    void close(Trs232c& port);
    bool cut() const { return cut_; }

  private:
    bool cut_ = false;
};

}  // namespace kivo
