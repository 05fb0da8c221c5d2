// The locale's name for messages, as the C library picks it: LC_ALL, then LC_MESSAGES, then
// LANG, the first one that is set and not empty.
#include <cstdlib>

#include "core/messages.h"

namespace kivo {

std::string userLocale() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (const char* value = std::getenv(name); value && *value) return value;
    return {};
}

}  // namespace kivo
