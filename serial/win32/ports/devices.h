// The COM ports present on Windows, with the names the system's device list gives them.
#pragma once

#include <string>
#include <vector>

namespace comm::win32 {

struct ComPort {
    std::string name;          // "COM3"
    std::string friendlyName;  // "USB Serial Port (COM3)"; empty where the system has none
};

// Every "COM" + number the system knows (its device names, the serial device map and the
// ports class of the device list), by number.
std::vector<ComPort> presentComPorts();

}  // namespace comm::win32
