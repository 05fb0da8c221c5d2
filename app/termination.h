// Ending the program from outside (SIGTERM, SIGINT, SIGHUP) closes the main window as the
// user would, so that the receiver is switched off and the port released.
#pragma once

#include <functional>

// Keeps those signals pending from now on (call it first thing, before any thread
// starts): start-up may switch the receiver on, and a signal then must not end the
// program before its closing sequence is there to switch it off again.
void holdTerminationSignals();

// `close` runs on the GUI thread's event loop once per signal received; signals held
// since holdTerminationSignals arrive now.
void closeOnTerminationSignals(std::function<void()> close);
