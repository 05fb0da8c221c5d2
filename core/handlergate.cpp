#include "core/handlergate.h"

namespace kivo {

void HandlerGate::leave() {
    if (--depth_ > 0) return;
    while (!later_.empty()) {
        std::function<void()> work = std::move(later_.front());
        later_.pop_front();
        guarded(work);
    }
}

void HandlerGate::whenNoHandlerRuns(std::function<void()> work) {
    if (depth_ > 0 || held_) {
        later_.push_back(std::move(work));
        return;
    }
    Scope running(*this);  // whatever `work` leaves for later runs right after it
    guarded(work);
}

void HandlerGate::holdWhile(const std::function<void()>& letThrough) {
    if (held_) return;
    held_ = true;
    struct Release {
        bool& held;
        ~Release() { held = false; }
    } release{held_};
    letThrough();
}

}  // namespace kivo
