// Where the installer put the program: the install folder it records in the program's
// Add/Remove Programs entry. A copy run from that folder is the installed program; any
// other copy (unzipped anywhere, or left behind after an uninstall) is not.
#pragma once

#include <string>

// The install folder (UTF-8), empty when the program is not installed.
std::string installedFolder();

// The uninstall key the installer writes, below HKEY_LOCAL_MACHINE.
inline constexpr const wchar_t* kUninstallKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KIVO";
