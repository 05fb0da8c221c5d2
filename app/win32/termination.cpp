#include "app/win32/termination.h"

namespace {

HWND target = nullptr;
HANDLE done = nullptr;

BOOL WINAPI onConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            if (!target || !PostMessageW(target, WM_CLOSE, 0, 0)) return FALSE;
            // The system ends the process when this returns (after at most 5 s for a
            // close): the closing sequence needs far less.
            if (done) WaitForSingleObject(done, 4000);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

void closeOnConsoleEvents(HWND mainWindow) {
    target = mainWindow;
    if (!done) done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void closedAfterConsoleEvent() {
    if (done) SetEvent(done);
}
