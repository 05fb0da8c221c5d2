#include "app/qt/closeatexit.h"

#include <atomic>
#include <cstdlib>

namespace {

std::atomic<CloseAtExit*> armed{nullptr};

}  // namespace

CloseAtExit::CloseAtExit(std::function<void()> close)
    : close_(std::move(close)), thread_(std::this_thread::get_id()) {
    static const bool registered = std::atexit(&CloseAtExit::atExit) == 0;
    if (registered) armed = this;
}

CloseAtExit::~CloseAtExit() {
    CloseAtExit* self = this;
    armed.compare_exchange_strong(self, nullptr);
}

void CloseAtExit::atExit() {
    CloseAtExit* guard = armed.exchange(nullptr);  // once, however exit() is reached
    if (guard && guard->thread_ == std::this_thread::get_id()) guard->close_();
}
