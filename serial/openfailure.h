// Why a port could not be taken, in more detail than CreateFileA's error code: what a
// user needs to act on (which device, who holds it, which group may open it).
#pragma once

#include <string>

namespace comm {

struct OpenFailure {
    enum class Kind {
        Unknown,      // the backend does not tell
        None,         // the last open succeeded
        Missing,      // no such device (or no device behind the port name)
        NotTerminal,  // something is there, but not a serial device
        InUse,        // another program holds it (or the terminal is in exclusive mode)
        Denied,       // this user may not open it
        Other,        // the system refused for another reason (`systemError`)
        StaleLock,    // a lock file names a process that has ended, and this user may not
                      // remove it (`lockFile`; `holderPid` the pid it names, `owner` the
                      // file's owner)
    };
    Kind kind = Kind::Unknown;
    std::string device;    // the device path tried; empty when the name led to none
    std::string holder;    // InUse: the holding program, where it can be seen
    long holderPid = 0;    // InUse: its pid, 0 where not seen
    std::string lockFile;  // InUse: the lock file that names the holder, if that is how
    std::string owner;     // Denied: the device's owner, group and permission bits
    std::string group;
    unsigned mode = 0;
    int systemError = 0;  // Other: the system's error number
    std::string detail;   // Other: the system's own words for it, where it gives them

    // Denied, and the device's group (not root's) may read and write it: joining that
    // group is what lets this user open it.
    bool groupMayOpen() const {
        return kind == Kind::Denied && (mode & 060) == 060 && !group.empty() && group != "root";
    }
};

}  // namespace comm
