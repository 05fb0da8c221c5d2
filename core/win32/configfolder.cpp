// The user's roaming application data folder (%APPDATA%), with "KIVO" below it. Read from
// the environment every session has; the shell is asked (loaded only then) where it lacks
// the variable, so that a start need not load the shell's libraries.
#define WIN32_LEAN_AND_MEAN
#include "core/configfolder.h"

#include <shlobj.h>
#include <windows.h>

#include "core/win32/widechar.h"

namespace kivo {

namespace {

std::wstring applicationData() {
    wchar_t folder[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"APPDATA", folder, MAX_PATH);
    if (n > 0 && n < MAX_PATH) return folder;
    using GetFolderPath = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);
    HMODULE shell = LoadLibraryW(L"shell32.dll");
    const auto get = shell ? reinterpret_cast<GetFolderPath>(
                                 reinterpret_cast<void*>(GetProcAddress(shell, "SHGetFolderPathW")))
                           : nullptr;
    const bool found =
        get && get(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) == S_OK;
    if (shell) FreeLibrary(shell);
    return found ? folder : L"";
}

}  // namespace

std::string configFolder() {
    const std::string utf8 = narrow(applicationData());
    return utf8.empty() ? utf8 : utf8 + "\\KIVO";
}

}  // namespace kivo
