// Ending the program from outside (SIGTERM, SIGINT, SIGHUP) closes the main window as the
// user would, so that the receiver is switched off and the port released.
#pragma once

#include <functional>

// `close` runs on the GUI thread's event loop once per signal received.
void closeOnTerminationSignals(std::function<void()> close);
