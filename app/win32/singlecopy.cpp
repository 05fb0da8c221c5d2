#include "app/win32/singlecopy.h"

#include "app/win32/system.h"
#include "core/win32/widechar.h"

namespace {

// The window search with the "A" call, as the title is in the system's code page; a
// title that code page cannot hold is looked for with the wide call.
HWND findRunningCopy(const std::string& title) {
    const std::wstring wide = kivo::widen(title);
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, nullptr, 0,
                                      nullptr, &lossy);
    if (n > 0 && !lossy) {
        std::string ansi(static_cast<std::size_t>(n), '\0');
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, ansi.data(), n, nullptr,
                            nullptr);
        return FindWindowA("TForm1", ansi.c_str());
    }
    return FindWindowW(L"TForm1", wide.c_str());
}

}  // namespace

Claim closeRunningCopy(const std::string& title, std::chrono::milliseconds bound) {
    HWND running = findRunningCopy(title);
    if (!running) return Claim::Alone;
    DWORD pid = 0;
    GetWindowThreadProcessId(running, &pid);
    HANDLE process = pid ? OpenProcess(SYNCHRONIZE, FALSE, pid) : nullptr;
    // Handled when this returns: the closing sequence has run, unless the copy was inside
    // a handler, in which case it runs as soon as that handler has returned.
    SendMessageA(running, WM_CLOSE, 0, 0);
    const auto deadline = std::chrono::steady_clock::now() + bound;
    bool ended = false;
    if (process) {
        ended = WaitForSingleObject(process, static_cast<DWORD>(bound.count())) == WAIT_OBJECT_0;
        CloseHandle(process);
    } else {
        // Its process cannot be watched: its window going is the sign.
        while (!(ended = !IsWindow(running)) && std::chrono::steady_clock::now() < deadline)
            Sleep(20);
    }
    return ended ? Claim::TookOver : Claim::StillRunning;
}
