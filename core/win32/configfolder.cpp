// The user's roaming application data folder (%APPDATA%), with "kivo" below it.
#define WIN32_LEAN_AND_MEAN
#include "core/configfolder.h"

#include <shlobj.h>
#include <windows.h>

namespace kivo {

std::string configFolder() {
    wchar_t folder[MAX_PATH];
    if (SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK)
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, folder, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string utf8(static_cast<std::size_t>(n - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, folder, -1, utf8.data(), n, nullptr, nullptr);
    return utf8 + "\\kivo";
}

}  // namespace kivo
