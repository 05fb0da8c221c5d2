// What a front end lends the receiver control so that a lost line comes back by itself:
// word whenever what the port's name leads to may have changed (the device gone, back, or
// made usable), and one call back after a pause. Both callbacks run on the window's
// thread and outside any handler, when the front end's handler gate lets them: never in
// the middle of a command sequence.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace kivo {

class PortNotices {
  public:
    virtual ~PortNotices() = default;

    // From now on runs `changed` whenever what `portname` leads to may have changed;
    // replaces an earlier watch. A call when nothing changed does no harm.
    virtual void watchPort(const std::string& portname, std::function<void()> changed) = 0;
    virtual void stopWatching() = 0;

    // Runs `due` once after `delay`, replacing a call not yet run.
    virtual void callAfter(std::chrono::milliseconds delay, std::function<void()> due) = 0;
    virtual void cancelCall() = 0;
};

}  // namespace kivo
