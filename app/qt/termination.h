// Ending the program from outside (SIGTERM, SIGINT, SIGHUP) closes the main window as the
// user would, so that the receiver is switched off and the port released.
#pragma once

#include <functional>

class QObject;

// Takes those signals from now on and keeps them until closeOnTerminationSignals can act
// on them (call it before start-up can switch the receiver on): a signal then must not end
// the program before its closing sequence is there to switch it off again.
void holdTerminationSignals();

// `close` runs on the GUI thread's event loop (a box's too) once per signal received,
// those held since holdTerminationSignals included, for as long as `context` lives.
void closeOnTerminationSignals(QObject* context, std::function<void()> close);
