// The user's UI language ("ja-JP"), which Windows chooses the system's own texts by.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "core/messages.h"

namespace kivo {

std::string userLocale() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH];
    const LCID lcid = MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT);
    const int n = LCIDToLocaleName(lcid, name, LOCALE_NAME_MAX_LENGTH, 0);
    if (n <= 1) return {};
    std::string ascii;
    for (int i = 0; i + 1 < n; ++i) ascii += name[i] < 0x80 ? static_cast<char>(name[i]) : '?';
    return ascii;
}

}  // namespace kivo
