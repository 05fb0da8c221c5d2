#include "serial/posix/posix_handles.h"

#include <array>

namespace comm::posix {
namespace {

// Handles are small multiples of 4 above a base, never null nor INVALID_HANDLE_VALUE.
constexpr std::uintptr_t handleBase = 0x10000;

std::uintptr_t keyOf(HANDLE h) {
    return reinterpret_cast<std::uintptr_t>(h);
}

}  // namespace

// The waiter announces itself before it looks at the flag, the setter stores the flag
// before it looks for waiters: at least one of them sees the other.
void Event::set() {
    signalled_ = true;
    if (waiters_ == 0) return;
    { std::lock_guard<std::mutex> lock(m_); }  // a waiter between its check and its sleep
    cv_.notify_all();
}

void Event::reset() {
    signalled_.store(false, std::memory_order_relaxed);
}

bool Event::wait(DWORD milliseconds) {
    // An auto-reset event lets one waiter through: the check takes the signal.
    auto signalled = [this] { return manual_ ? signalled_.load() : signalled_.exchange(false); };
    std::unique_lock<std::mutex> lock(m_);
    ++waiters_;
    bool got = true;
    if (milliseconds == INFINITE)
        cv_.wait(lock, signalled);
    else
        got = cv_.wait_for(lock, std::chrono::milliseconds(milliseconds), signalled);
    --waiters_;
    return got;
}

namespace {

// The handles a thread found last, all from one table while it had seen `removals`
// removals.
struct Recent {
    static constexpr std::size_t kSize = 4;  // a transfer needs its port and its event
    std::uint64_t table = 0;
    std::uint64_t removals = 0;
    std::array<std::uintptr_t, kSize> keys{};  // 0 is no handle's key
    std::array<std::shared_ptr<Object>, kSize> objects;
    std::size_t next = 0;
};
thread_local Recent recent;

std::atomic<std::uint64_t> tables{0};

}  // namespace

HandleTable::HandleTable() : id_(++tables) {}

HANDLE HandleTable::add(std::shared_ptr<Object> object) {
    std::lock_guard<std::mutex> lock(m_);
    const std::uintptr_t key = handleBase + 4 * next_++;
    objects_.emplace(key, std::move(object));
    return reinterpret_cast<HANDLE>(key);
}

std::shared_ptr<Object> HandleTable::findRecent(std::uintptr_t key, std::uint64_t removals) const {
    const Recent& r = recent;
    if (r.table != id_ || r.removals != removals) return nullptr;
    for (std::size_t i = 0; i < Recent::kSize; ++i)
        if (r.keys[i] == key) return r.objects[i];
    return nullptr;
}

void HandleTable::keepRecent(std::uintptr_t key, std::uint64_t removals,
                             const std::shared_ptr<Object>& object) const {
    Recent& r = recent;
    // After a removal all go: any of them may be the one removed.
    if (r.table != id_ || r.removals != removals) {
        r = Recent{};
        r.table = id_;
        r.removals = removals;
    }
    const std::size_t slot = r.next++ % Recent::kSize;
    r.keys[slot] = key;
    r.objects[slot] = object;
}

std::shared_ptr<Object> HandleTable::find(HANDLE h) const {
    const std::uintptr_t key = keyOf(h);
    // Read before the look-up: a removal after it makes what is kept stale.
    const std::uint64_t removals = removals_.load(std::memory_order_acquire);
    if (auto object = findRecent(key, removals)) return object;
    std::shared_ptr<Object> object;
    {
        std::lock_guard<std::mutex> lock(m_);
        auto it = objects_.find(key);
        if (it != objects_.end()) object = it->second;
    }
    if (object) keepRecent(key, removals, object);
    return object;
}

std::shared_ptr<Object> HandleTable::remove(HANDLE h) {
    std::lock_guard<std::mutex> lock(m_);
    auto it = objects_.find(keyOf(h));
    if (it == objects_.end()) return nullptr;
    auto object = std::move(it->second);
    objects_.erase(it);
    removals_.fetch_add(1, std::memory_order_release);
    return object;
}

}  // namespace comm::posix
