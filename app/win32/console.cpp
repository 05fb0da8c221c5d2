#include "app/win32/console.h"

#include "app/win32/dialogs.h"
#include "app/win32/system.h"
#include "core/win32/widechar.h"

namespace {

// A handle the program may write to: a file or pipe it was given, else the console of
// the program that started it.
HANDLE outputHandle(Stream stream) {
    const DWORD which = stream == Stream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE;
    HANDLE h = GetStdHandle(which);
    if (h && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN) return h;
    static const bool attached = AttachConsole(ATTACH_PARENT_PROCESS) != 0;
    if (!attached) return nullptr;
    h = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    return h == INVALID_HANDLE_VALUE ? nullptr : h;
}

}  // namespace

void printText(const std::string& text, Stream stream) {
    HANDLE h = outputHandle(stream);
    if (!h) {
        showMessage(text);
        return;
    }
    DWORD mode = 0;
    if (GetConsoleMode(h, &mode)) {
        // A console takes the characters themselves, whatever its code page.
        std::wstring wide;
        for (wchar_t c : kivo::widen(text)) {
            if (c == L'\n') wide += L'\r';
            wide += c;
        }
        DWORD written = 0;
        WriteConsoleW(h, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}
