#include "app/win32/installation.h"

#include "app/win32/system.h"
#include "core/win32/widechar.h"

std::string installedFolder() {
    wchar_t folder[MAX_PATH] = {};
    DWORD size = sizeof folder - sizeof(wchar_t);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kUninstallKey, L"InstallLocation",
                     RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, folder,
                     &size) != ERROR_SUCCESS)
        return {};
    return kivo::narrow(folder);
}
