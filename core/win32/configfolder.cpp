// The user's roaming application data folder (%APPDATA%), with "KIVO" below it.
#define WIN32_LEAN_AND_MEAN
#include "core/configfolder.h"

#include <shlobj.h>
#include <windows.h>

#include "core/win32/widechar.h"

namespace kivo {

std::string configFolder() {
    wchar_t folder[MAX_PATH];
    if (SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK)
        return {};
    const std::string utf8 = narrow(folder);
    return utf8.empty() ? utf8 : utf8 + "\\KIVO";
}

}  // namespace kivo
