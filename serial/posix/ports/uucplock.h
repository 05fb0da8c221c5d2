// UUCP lock files, the convention serial programs use to tell each other a port is taken:
// a file LCK..<device name> in the lock folder holding the holder's pid in ten ASCII
// columns. A lock whose process has ended is stale and counts for nothing.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace comm::posix {

// $KIVO_LOCK_DIR alone when it is set (tests use a private folder), else /run/lock, and
// /var/lock too where it is a different folder.
std::vector<std::string> lockFolders();

// "LCK.." and the device's file name: /dev/ttyUSB0 -> LCK..ttyUSB0.
std::string lockName(const std::string& device);

struct LockOwner {
    long pid = 0;  // 0: a lock that cannot be read
    std::string file;
    bool stale = false;  // its process has ended, but this user may not remove the file
};

// A lock on `device` (its canonical path) that a live process holds; this process counts.
std::optional<LockOwner> liveLock(const std::string& device);

// A stale lock on `device` that would keep take() from locking it: one in a folder this
// user may write, that this user may not remove (another user's file in a sticky
// folder). Judged without touching anything.
std::optional<LockOwner> staleLockInTheWay(const std::string& device);

// The locks this process holds on one device, one per writable lock folder; removed by
// release() or the destructor, and only while they still name this process.
class UucpLock {
  public:
    UucpLock() = default;
    ~UucpLock() { release(); }
    UucpLock(const UucpLock&) = delete;
    UucpLock& operator=(const UucpLock&) = delete;

    // False, with the owner, when a live process holds the device's lock, or when a stale
    // one cannot be removed (`owner.stale`); a stale lock is replaced. A folder this user
    // may not write is passed over.
    bool take(const std::string& device, LockOwner& owner);
    void release() noexcept;

  private:
    std::vector<std::string> files_;
};

}  // namespace comm::posix
