// The folder of COM-name links through which the program finds its ports.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace sim {

// Raised when the simulator cannot start: the message says what to do about it.
class SimError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// $KIVO_PORTS, else $XDG_CONFIG_HOME/kivo/ports, else ~/.config/kivo/ports.
std::string defaultPortsDir();

// "COM" followed by one or more digits.
bool isComName(std::string_view name);

// Creates the folder if needed and links dir/name to `target`. A dangling link left by an
// earlier run is replaced; anything else under that name (a link to a live device, a file)
// belongs to someone else and makes this throw. Returns the link's path.
std::string registerPort(const std::string& dir, const std::string& name,
                         const std::string& target);

// Removes the link, but only while it still points to `target`: a link someone else put
// there in the meantime stays.
void unregisterPort(const std::string& linkPath, const std::string& target) noexcept;

}  // namespace sim
