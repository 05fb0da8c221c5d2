#include "core/sending.h"

#include <chrono>
#include <string>
#include <thread>

namespace kivo {

bool rsout(Trs232c& port, std::string_view text) {
    for (char c : text) {
        if (port.txbyte(c)) continue;
        port.txpurge();
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

bool sendCommand(Trs232c& port, std::string_view command) {
    std::string line(command);
    line += "\r\n";
    const bool sent = rsout(port, line);
    const bool drained = WaitLoop(port);
    return sent && drained;
}

}  // namespace kivo
