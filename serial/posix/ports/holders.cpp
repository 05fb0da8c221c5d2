#include "serial/posix/ports/holders.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <utility>

namespace comm::posix {
namespace {

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};
using Dir = std::unique_ptr<DIR, DirCloser>;

long pidOf(const char* name) {
    if (*name < '1' || *name > '9') return 0;
    char* end = nullptr;
    const long pid = std::strtol(name, &end, 10);
    return *end == 0 ? pid : 0;
}

// The devices looked for, compared cheaply: most links are sockets, pipes and files, and
// only a target of a length some device has is compared at all.
class Wanted {
  public:
    explicit Wanted(const std::vector<std::string>& devices) {
        for (const std::string& d : devices)
            if (!d.empty()) devices_.push_back(d);
    }
    std::size_t size() const { return devices_.size(); }
    const std::string* match(std::string_view target) const {
        for (const std::string& d : devices_)
            if (d.size() == target.size() && d == target) return &d;
        return nullptr;
    }

  private:
    std::vector<std::string> devices_;
};

// Every device of `wanted` that process `pid` holds and no earlier process was found
// holding goes into `found`.
void lookInto(int procFd, const char* pid, const Wanted& wanted,
              std::map<std::string, Holder>& found) {
    const std::string fdDir = std::string(pid) + "/fd";
    const int fd = ::openat(procFd, fdDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;  // not ours to look at, or gone
    Dir dir(::fdopendir(fd));
    if (!dir) {
        ::close(fd);
        return;
    }
    char target[4096];
    while (const dirent* e = ::readdir(dir.get())) {
        if (e->d_name[0] == '.') continue;
        const ssize_t n = ::readlinkat(::dirfd(dir.get()), e->d_name, target, sizeof target);
        if (n <= 0) continue;
        const std::string* device = wanted.match({target, static_cast<std::size_t>(n)});
        if (device && !found.count(*device)) {
            const long number = pidOf(pid);
            found.emplace(*device, Holder{number, programOf(number)});
        }
    }
}

std::mutex scanLock;
std::shared_ptr<const HolderScan>& scanInUse() {
    static std::shared_ptr<const HolderScan> scan;
    return scan;
}

}  // namespace

std::string programOf(long pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/comm";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    char buf[64];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    ::close(fd);
    if (n <= 0) return {};
    std::string name(buf, static_cast<std::size_t>(n));
    while (!name.empty() && name.back() == '\n') name.pop_back();
    return name;
}

std::map<std::string, Holder> findHolders(const std::vector<std::string>& devices) {
    std::map<std::string, Holder> found;
    const Wanted wanted(devices);
    if (wanted.size() == 0) return found;
    const int procFd = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (procFd < 0) return found;
    Dir proc(::fdopendir(procFd));
    if (!proc) {
        ::close(procFd);
        return found;
    }
    while (const dirent* e = ::readdir(proc.get())) {
        if (pidOf(e->d_name) == 0) continue;
        lookInto(::dirfd(proc.get()), e->d_name, wanted, found);
        if (found.size() == wanted.size()) break;  // every one has a holder
    }
    return found;
}

std::optional<Holder> findHolder(const std::string& device) {
    if (device.empty()) return std::nullopt;
    std::shared_ptr<const HolderScan> scan;
    {
        std::lock_guard<std::mutex> lock(scanLock);
        scan = scanInUse();
    }
    if (scan && scan->covers(device)) return scan->holderOf(device);
    auto found = findHolders({device});
    if (found.empty()) return std::nullopt;
    return found.begin()->second;
}

// The pass's result, shared with the thread that makes it.
struct HolderScan::Pass {
    mutable std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::map<std::string, Holder> found;
    std::function<void()> then;

    void finish(std::map<std::string, Holder> holders) {
        std::lock_guard<std::mutex> lock(m);
        found = std::move(holders);
        done = true;
        cv.notify_all();
        // Under the lock: the owner's destructor, which clears it, waits for it.
        if (then) std::exchange(then, nullptr)();
    }
};

HolderScan::HolderScan(std::vector<std::string> devices, When when)
    : devices_(std::move(devices)), pass_(std::make_shared<Pass>()) {
    std::sort(devices_.begin(), devices_.end());
    devices_.erase(std::unique(devices_.begin(), devices_.end()), devices_.end());
    if (when == When::Now) {
        pass_->finish(findHolders(devices_));
        return;
    }
    // Detached: a program that ends before the pass is done is not held up by it.
    std::thread([pass = pass_, devices = devices_] {
        pass->finish(findHolders(devices));
    }).detach();
}

HolderScan::~HolderScan() {
    std::lock_guard<std::mutex> lock(pass_->m);
    pass_->then = nullptr;
}

bool HolderScan::covers(const std::string& device) const {
    return std::binary_search(devices_.begin(), devices_.end(), device);
}

std::optional<Holder> HolderScan::holderOf(const std::string& device) const {
    std::unique_lock<std::mutex> lock(pass_->m);
    pass_->cv.wait(lock, [this] { return pass_->done; });
    auto it = pass_->found.find(device);
    if (it == pass_->found.end()) return std::nullopt;
    return it->second;
}

bool HolderScan::ready() const {
    std::lock_guard<std::mutex> lock(pass_->m);
    return pass_->done;
}

void HolderScan::whenReady(std::function<void()> done) const {
    {
        std::lock_guard<std::mutex> lock(pass_->m);
        if (!pass_->done) {
            pass_->then = std::move(done);
            return;
        }
    }
    if (done) done();
}

UsingHolderScan::UsingHolderScan(std::shared_ptr<const HolderScan> scan) {
    std::lock_guard<std::mutex> lock(scanLock);
    previous_ = std::exchange(scanInUse(), std::move(scan));
}

UsingHolderScan::~UsingHolderScan() {
    std::lock_guard<std::mutex> lock(scanLock);
    scanInUse() = std::move(previous_);
}

}  // namespace comm::posix
