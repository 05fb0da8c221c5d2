#include "app/win32/apptitle.h"

#include "app/win32/system.h"
#include "core/win32/widechar.h"

namespace kivo {

std::string systemLowerCase(std::string_view text) {
    std::wstring wide = widen(text);
    if (!wide.empty()) CharLowerBuffW(wide.data(), static_cast<DWORD>(wide.size()));
    return narrow(wide);
}

std::string programFile() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return narrow(path);
        }
        path.resize(path.size() * 2);
    }
}

void setProgramTitlesFromModule() {
    setProgramTitles(programFile(), systemLowerCase);
}

}  // namespace kivo
