// Who has a device open, as far as this user can see: the /proc/<pid>/fd links of the
// processes this user may inspect (for root, all of them; this process included).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace comm::posix {

struct Holder {
    long pid = 0;
    std::string program;  // its command name, empty where it cannot be read
};

// The first process found holding `device` (its canonical path) open. Answered from the
// holder scan in use when it covers the device.
std::optional<Holder> findHolder(const std::string& device);

// The first holder of each of `devices` found in one pass over /proc: the pass costs what
// the descriptors on the machine cost, however many devices it looks for.
std::map<std::string, Holder> findHolders(const std::vector<std::string>& devices);

// The command name of process `pid`, empty when it cannot be read.
std::string programOf(long pid);

// The holders of a scan's devices (several ports at start-up, or listed), found in one
// pass for the whole scan. The pass may be started on a thread of its own ahead of the
// scan; the first answer waits for it.
class HolderScan {
  public:
    enum class When { Now, OnAThread };
    HolderScan(std::vector<std::string> devices, When when);
    ~HolderScan();  // a call still to come from whenReady() does not come
    HolderScan(const HolderScan&) = delete;
    HolderScan& operator=(const HolderScan&) = delete;

    bool covers(const std::string& device) const;
    std::optional<Holder> holderOf(const std::string& device) const;

    // Whether the pass is done; `done` runs once it is: at once, or on the pass's thread
    // under the scan's lock (it should only hand the news over, as a posted event does).
    bool ready() const;
    void whenReady(std::function<void()> done) const;

  private:
    struct Pass;
    std::vector<std::string> devices_;
    std::shared_ptr<Pass> pass_;
};

// While one lives, findHolder answers from `scan` for the devices it covers (the others
// still get a pass of their own). One at a time; the previous one is put back after.
class UsingHolderScan {
  public:
    explicit UsingHolderScan(std::shared_ptr<const HolderScan> scan);
    ~UsingHolderScan();
    UsingHolderScan(const UsingHolderScan&) = delete;
    UsingHolderScan& operator=(const UsingHolderScan&) = delete;

  private:
    std::shared_ptr<const HolderScan> previous_;
};

}  // namespace comm::posix
