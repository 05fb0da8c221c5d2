// Who has a device open, as far as this user can see: the /proc/<pid>/fd links of the
// processes this user may inspect (for root, all of them; this process included).
#pragma once

#include <optional>
#include <string>

namespace comm::posix {

struct Holder {
    long pid = 0;
    std::string program;  // its command name, empty where it cannot be read
};

// The first process found holding `device` (its canonical path) open.
std::optional<Holder> findHolder(const std::string& device);

// The command name of process `pid`, empty when it cannot be read.
std::string programOf(long pid);

}  // namespace comm::posix
