// The gate between the toolkit and the handlers: work left for later runs once each, in
// turn, after the outermost handler; no handler starts while the gate is held; an error
// goes to one place and what follows still runs.
#include "core/handlergate.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Events = std::vector<std::string>;

struct Recorded {
    Events events;
    kivo::HandlerGate gate{[this](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            events.push_back(std::string("error: ") + e.what());
        }
    }};
    void note(std::string event) { events.push_back(std::move(event)); }
};

}  // namespace

TEST(HandlerGate, WorkLeftForLaterRunsAfterTheOutermostHandlerInTurn) {
    Recorded r;
    r.gate.whenNoHandlerRuns([&] { r.note("at once"); });
    r.gate.run([&] {
        r.gate.whenNoHandlerRuns([&] { r.note("first"); });
        r.gate.run([&] {  // a handler inside another, as from a modal box's loop
            r.gate.whenNoHandlerRuns([&] {
                r.note("second");
                r.gate.whenNoHandlerRuns([&] { r.note("third"); });
            });
            r.note("inner handler");
        });
        r.note("outer handler");
    });
    EXPECT_EQ(r.events,
              (Events{"at once", "inner handler", "outer handler", "first", "second", "third"}));
}

TEST(HandlerGate, NothingStartsWhileHeldAndErrorsGoToOnePlace) {
    Recorded r;
    r.gate.run([&] {
        r.gate.holdWhile([&] {
            EXPECT_TRUE(r.gate.held());
            r.gate.run([&] { r.note("a handler while held"); });
            r.gate.holdWhile([&] { r.note("held twice"); });
            r.gate.whenNoHandlerRuns([&] { r.note("close"); });
        });
        EXPECT_FALSE(r.gate.held());
        r.note("the handler goes on");
        throw std::runtime_error("in a handler");
    });
    r.gate.whenNoHandlerRuns([] { throw std::runtime_error("in later work"); });
    r.gate.run([&] { r.note("the next handler"); });
    EXPECT_EQ(r.events, (Events{"the handler goes on", "error: in a handler", "close",
                                "error: in later work", "the next handler"}));
}
