// Port names on POSIX: a name with "/" is a device path; "COM" + digits is looked up in
// a folder of links ($KIVO_PORTS, else $XDG_CONFIG_HOME/kivo/ports, else
// ~/.config/kivo/ports) and otherwise means /dev/ttyS(n-1). When KIVO_PORTS is set, that
// folder is the whole map, so tests can never reach a real device by accident.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace comm::posix {

// "COM" followed by digits that give 1 to 100000 (leading zeros allowed): the COM names
// resolvePortName() looks up, and so the only ones a link may be made for.
bool isComName(std::string_view name);

// KIVO's own folder in the user's config folder: $XDG_CONFIG_HOME/kivo, else
// ~/.config/kivo (a relative XDG_CONFIG_HOME is ignored). Empty only when no home folder
// can be found.
std::string configFolder();
// The same in the user's state folder: $XDG_STATE_HOME/kivo, else ~/.local/state/kivo.
std::string stateFolder();

// The folder of COM-name links. An empty KIVO_PORTS counts as unset, and a relative
// XDG_CONFIG_HOME is ignored. Empty only when no home folder can be found.
std::string portsFolder();

// The device path for `name`, or nothing when the name cannot denote a port.
std::optional<std::string> resolvePortName(const std::string& name);

}  // namespace comm::posix
