// Tells when what a port name leads to may have changed, without looking on a timer.
// Every name on the way is watched through inotify in the folder that holds it: the
// ports-folder link, the link it leads to (a /dev/serial/by-id name), the device itself.
// A folder that is missing (by-id goes with the last adapter) is watched for through the
// nearest one that is there, so a name coming back is seen as well as one going.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace comm::posix {

class PortNameWatch {
  public:
    PortNameWatch();  // fd() is -1 where inotify cannot be had
    ~PortNameWatch();
    PortNameWatch(const PortNameWatch&) = delete;
    PortNameWatch& operator=(const PortNameWatch&) = delete;

    // Readable when events wait; a loop that polls it calls takeEvents() then.
    int fd() const { return fd_; }

    // Watches the names `portname` leads through now, and goes on watching those that are
    // there now besides the names it leads through later: the device in use is seen to go
    // even after its link has gone first. Replaces an earlier watch.
    void watch(const std::string& portname);
    void stop();
    bool watching() const { return !portname_.empty(); }

    // Reads the events that wait. True when one concerns a name on the way (made, removed,
    // renamed, its owner or mode changed, its folder gone); the watches then follow the
    // names as they are now.
    bool takeEvents();

  private:
    void follow();

    int fd_ = -1;
    std::string portname_;
    std::vector<std::string> kept_;               // what was there on the way when the watch began
    std::map<std::string, int> folders_;          // folder -> its watch
    std::map<int, std::set<std::string>> names_;  // watch -> the names looked for there
};

// The paths `portname` leads through now, in order: the name's own path (for a COM name
// its link in the ports folder, there or not), then each link's target (made absolute),
// ending at the device or at the first name that is missing.
std::vector<std::string> pathsOnTheWay(const std::string& portname);

}  // namespace comm::posix
