// Ending the program from outside closes the main window as the user would, so that the
// receiver is switched off and the port released: a console's Ctrl+C, Ctrl+Break or
// close, and the end of the session for a program started from a console. (The end of
// the session reaches the main window itself as WM_ENDSESSION.)
#pragma once

#include "app/win32/system.h"

// From now on those events post WM_CLOSE to `mainWindow` and wait, a few seconds at
// most, until closedAfterConsoleEvent() says the window has closed.
void closeOnConsoleEvents(HWND mainWindow);
void closedAfterConsoleEvent();
