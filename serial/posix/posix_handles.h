// Opaque handles of the POSIX backend: every HANDLE the backend gives out is a key into
// one table, so a stale or made-up handle is simply not found (ERROR_INVALID_HANDLE)
// instead of being dereferenced. Keys are never reused.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "serial/commapi.h"

namespace comm::posix {

// Anything a handle can stand for.
class Object {
  public:
    // What a handle stands for, so that a look-up needs no dynamic cast.
    enum class Kind { Event, Port };
    explicit Object(Kind kind) : kind(kind) {}
    virtual ~Object() = default;
    const Kind kind;
    // Called once when the handle is closed; the object may outlive it while another
    // thread still holds a reference.
    virtual void shutdown() {}
};

// A Win32 event: signalled or not; waits sleep on a condition variable.
class Event final : public Object {
  public:
    static constexpr Kind kKind = Kind::Event;
    Event(bool manualReset, bool initial)
        : Object(kKind), manual_(manualReset), signalled_(initial) {}
    void set();
    void reset();
    // True when signalled within `milliseconds` (INFINITE: no limit). An auto-reset
    // event is reset by the wait that sees it.
    bool wait(DWORD milliseconds);

  private:
    std::mutex m_;
    std::condition_variable cv_;
    const bool manual_;
    // Waited on under m_. Setting and resetting need no lock while nobody waits: a
    // transfer that completes at once signals an event no thread is waiting for.
    std::atomic<bool> signalled_;
    std::atomic<int> waiters_{0};
};

class HandleTable {
  public:
    HandleTable();
    HANDLE add(std::shared_ptr<Object> object);
    std::shared_ptr<Object> find(HANDLE h) const;
    template <class T>
    std::shared_ptr<T> findAs(HANDLE h) const {
        std::shared_ptr<Object> object = find(h);
        if (!object || object->kind != T::kKind) return nullptr;
        return std::static_pointer_cast<T>(std::move(object));
    }
    // Takes the handle out of the table; the caller shuts the object down.
    std::shared_ptr<Object> remove(HANDLE h);

  private:
    // A thread's look-ups of the handles it used last take no lock, while no handle has
    // been removed since (keys are never reused, so that is all that can change them).
    std::shared_ptr<Object> findRecent(std::uintptr_t key, std::uint64_t removals) const;
    void keepRecent(std::uintptr_t key, std::uint64_t removals,
                    const std::shared_ptr<Object>& object) const;

    const std::uint64_t id_;  // which table a thread's recent look-ups belong to
    std::atomic<std::uint64_t> removals_{0};
    mutable std::mutex m_;
    std::unordered_map<std::uintptr_t, std::shared_ptr<Object>> objects_;
    std::uintptr_t next_ = 1;
};

}  // namespace comm::posix
