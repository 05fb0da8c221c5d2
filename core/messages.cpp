#include "core/messages.h"

#include <atomic>
#include <cstdlib>

namespace kivo {

namespace {

constexpr int kEnglish = 0;
constexpr int kUnchosen = -1;
std::atomic<int> inUse{kUnchosen};

int indexOf(std::string_view language) {
    for (int i = 0; i < catalogue::kLanguages; ++i)
        if (language == catalogue::kLanguageNames[i]) return i;
    return -1;
}

int chosenIndex() {
    int index = inUse.load(std::memory_order_acquire);
    if (index != kUnchosen) return index;
    useUserLanguage();
    return inUse.load(std::memory_order_acquire);
}

bool isNameCharacter(char c) {
    return c >= 'a' && c <= 'z';
}

std::string render(int language, Msg id, std::initializer_list<MessageArg> args) {
    const int n = static_cast<int>(id);
    const char* text = catalogue::kTexts[language][n];
    if (!text) text = catalogue::kTexts[kEnglish][n];
    const std::string_view t(text);
    std::string out;
    out.reserve(t.size());
    for (std::size_t i = 0; i < t.size();) {
        if (t[i] == '{') {
            std::size_t end = i + 1;
            while (end < t.size() && isNameCharacter(t[end])) ++end;
            if (end > i + 1 && end < t.size() && t[end] == '}') {
                const std::string_view name = t.substr(i + 1, end - i - 1);
                const MessageArg* arg = nullptr;
                for (const MessageArg& a : args)
                    if (a.first == name) arg = &a;
                if (arg) {
                    out += arg->second;
                    i = end + 1;
                    continue;
                }
            }
        }
        out += t[i++];
    }
    return out;
}

// "de_DE.UTF-8@euro" -> "de_DE"; "pt-BR" -> "pt_BR".
std::string bareLocale(std::string_view name) {
    std::string bare(name.substr(0, name.find_first_of(".@")));
    for (char& c : bare)
        if (c == '-') c = '_';
    return bare;
}

}  // namespace

std::string message(Msg id, std::initializer_list<MessageArg> args) {
    return render(chosenIndex(), id, args);
}

std::string messageIn(std::string_view language, Msg id, std::initializer_list<MessageArg> args) {
    const int index = indexOf(language);
    return render(index < 0 ? kEnglish : index, id, args);
}

std::vector<std::string> catalogueLanguages() {
    return {catalogue::kLanguageNames, catalogue::kLanguageNames + catalogue::kLanguages};
}

std::string catalogueFor(std::string_view name) {
    const std::string bare = bareLocale(name);
    if (bare.empty()) return {};
    if (indexOf(bare) >= 0) return bare;
    const std::string language = bare.substr(0, bare.find('_'));
    if (indexOf(language) >= 0) return language;
    return {};
}

std::string chooseLanguage(std::string_view kivoLang, std::string_view locale) {
    if (std::string named = catalogueFor(kivoLang); !named.empty()) return named;
    const std::string bare = bareLocale(locale);
    if (bare.empty() || bare == "C" || bare == "POSIX") return "ja";
    if (std::string found = catalogueFor(bare); !found.empty()) return found;
    return "en";
}

std::string languageInUse() {
    return catalogue::kLanguageNames[chosenIndex()];
}

bool useLanguage(std::string_view language) {
    const int index = indexOf(language);
    if (index < 0) return false;
    inUse.store(index, std::memory_order_release);
    return true;
}

void useUserLanguage() {
    const char* kivoLang = std::getenv("KIVO_LANG");
    useLanguage(chooseLanguage(kivoLang ? kivoLang : "", userLocale()));
}

}  // namespace kivo
