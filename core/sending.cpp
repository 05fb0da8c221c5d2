#include "sending.h"

#include <chrono>
#include <string>
#include <thread>

namespace kivo {

void rsout(Trs232c& port, std::string_view text) {
    for (char c : text) port.txbyte(c);
}

void WaitLoop(Trs232c& port) {
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(port.txtimeout.load());
    while (port.txcount() > 0 && steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(1));
    std::this_thread::sleep_for(milliseconds(10));
}

void sendCommand(Trs232c& port, std::string_view command) {
    std::string line(command);
    line += "\r\n";
    rsout(port, line);
    WaitLoop(port);
}

}  // namespace kivo
