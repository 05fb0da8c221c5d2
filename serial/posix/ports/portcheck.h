// The checks a device passes before the backend touches it: a port another program holds
// is left exactly as it is (no settings, no modem lines, no flush), as a Windows open
// with no sharing would leave it.
#pragma once

#include <string>
#include <vector>

#include "serial/commapi.h"

namespace comm::posix {

// `path` with every link followed; for a link that leads nowhere, the path it names.
std::string deviceBehind(const std::string& path);

// The devices the port names lead to now, those that lead nowhere left out: what one look
// for other holders serves a scan of those ports with.
std::vector<std::string> devicesOfPorts(const std::vector<std::string>& names);

// Whether `path` could be taken now, judged without opening it: it is there, it is a
// character device, this user may read and write it, no live UUCP lock names it, no
// process this user can see holds it open, and no stale lock this user may not remove
// stands where its own lock would go. Kind None (with the canonical device path)
// when nothing stands in the way.
OpenFailure checkDevice(const std::string& path);

// The failure an open(2) of `device` reports with `error`.
OpenFailure failureOf(int error, const std::string& device);

// "In use" naming the process `pid`, with the lock file it was seen through.
OpenFailure inUse(const std::string& device, long pid, const std::string& lockFile = {});

// "Blocked by a stale lock file this user may not remove", naming it, the pid it names
// and its owner.
OpenFailure staleLock(const std::string& device, long pid, const std::string& lockFile);

// CreateFileA's error code for a failure.
DWORD errorCodeOf(const OpenFailure& failure);

}  // namespace comm::posix
