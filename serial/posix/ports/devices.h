// The serial devices of this machine as /dev and sysfs show them: USB adapters
// (ttyUSB*, ttyACM*) with their stable /dev/serial/by-id names and USB identity, and the
// ttyS* ports that have a UART behind them (not the placeholders every PC lists). The
// roots are parameters so that a fake tree can stand in for them.
#pragma once

#include <string>
#include <vector>

namespace comm::posix {

struct DeviceRoots {
    std::string dev = "/dev";
    std::string sys = "/sys";
};

struct SerialDevice {
    std::string path;               // below the /dev root: /dev/ttyUSB0
    std::vector<std::string> byId;  // the /dev/serial/by-id links that lead to it
    // From sysfs, for a USB device; empty where unknown.
    std::string vendorId, productId, manufacturer, product, serial;
};

// Every serial device present, ordered by name (ttyACM, ttyS, ttyUSB, others found only
// through by-id links), each with its by-id links.
std::vector<SerialDevice> findSerialDevices(const DeviceRoots& roots = {});

// The by-id link that leads to the same device as `path`, or empty when there is none.
std::string stableName(const std::string& path, const DeviceRoots& roots = {});

// Whether two paths lead to the same device, links followed.
bool sameDevice(const std::string& a, const std::string& b);

// A ttyS device whose port has no UART (sysfs reports its type as 0).
bool isPlaceholderPort(const std::string& device, const DeviceRoots& roots = {});

// A character device of a serial or pseudo-terminal driver, by the kernel's list of tty
// drivers (any character device where that list cannot be read).
bool isSerialTerminal(const std::string& path);

}  // namespace comm::posix
