#include "posix_handles.h"

namespace comm::posix {
namespace {

// Handles are small multiples of 4 above a base, never null nor INVALID_HANDLE_VALUE.
constexpr std::uintptr_t handleBase = 0x10000;

std::uintptr_t keyOf(HANDLE h) {
    return reinterpret_cast<std::uintptr_t>(h);
}

}  // namespace

void Event::set() {
    {
        std::lock_guard<std::mutex> lock(m_);
        signalled_ = true;
    }
    cv_.notify_all();
}

void Event::reset() {
    signalled_ = false;
}

bool Event::wait(DWORD milliseconds) {
    std::unique_lock<std::mutex> lock(m_);
    if (milliseconds == INFINITE) {
        cv_.wait(lock, [this] { return signalled_.load(); });
    } else if (!cv_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                             [this] { return signalled_.load(); })) {
        return false;
    }
    if (!manual_) signalled_ = false;
    return true;
}

HANDLE HandleTable::add(std::shared_ptr<Object> object) {
    std::lock_guard<std::mutex> lock(m_);
    const std::uintptr_t key = handleBase + 4 * next_++;
    objects_.emplace(key, std::move(object));
    return reinterpret_cast<HANDLE>(key);
}

std::shared_ptr<Object> HandleTable::find(HANDLE h) const {
    std::lock_guard<std::mutex> lock(m_);
    auto it = objects_.find(keyOf(h));
    return it == objects_.end() ? nullptr : it->second;
}

std::shared_ptr<Object> HandleTable::remove(HANDLE h) {
    std::lock_guard<std::mutex> lock(m_);
    auto it = objects_.find(keyOf(h));
    if (it == objects_.end()) return nullptr;
    auto object = std::move(it->second);
    objects_.erase(it);
    return object;
}

}  // namespace comm::posix
