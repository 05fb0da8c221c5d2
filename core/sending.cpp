#include "core/sending.h"

#include <chrono>
#include <string>
#include <thread>

namespace kivo {

bool rsout(Trs232c& port, std::string_view text, bool* cut) {
    if (cut) *cut = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (port.txbyte(text[i])) continue;
        int unsent = 0;
        const bool known = port.txpurge(&unsent);
        // `i` bytes were reported sent: the line is whole only when the purge took back
        // exactly those. Not knowing counts as cut on an open port.
        if (cut) *cut = known ? unsent != static_cast<int>(i) : port.isOpen();
        return false;
    }
    return true;
}

bool WaitLoop(Trs232c& port) {
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(port.txtimeout.load());
    int queued;
    while ((queued = port.txcount()) > 0 && steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(1));
    std::this_thread::sleep_for(milliseconds(10));
    return queued <= 0;
}

bool sendCommand(Trs232c& port, std::string_view command, bool* cut) {
    std::string line(command);
    line += "\r\n";
    const bool sent = rsout(port, line, cut);
    const bool drained = WaitLoop(port);
    return sent && drained;
}

bool ReceiverLine::send(Trs232c& port, std::string_view command) {
    if (cut_) {
        // The line moves again once the driver takes this CR LF; until then a command
        // would only join the broken line.
        const bool ended = rsout(port, "\r\n");
        WaitLoop(port);
        if (!ended) return false;
        cut_ = false;
    }
    return sendCommand(port, command, &cut_);
}

void ReceiverLine::close(Trs232c& port) {
    if (port.txcount() > 0) cut_ = true;
    port.close();
}

}  // namespace kivo
