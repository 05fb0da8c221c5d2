// The messages the user reads, in the user's language: one catalogue for every front end,
// built from po/*.po (English, Japanese, and any language a translator adds there).
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kivo_messages.h"

namespace kivo {

// A placeholder's name and what stands in for it: {"path", "/home/u/KIVO.ini"}.
using MessageArg = std::pair<std::string_view, std::string_view>;

// The message in the language in use, each {name} replaced by its argument. What the
// arguments hold is never read as placeholders.
std::string message(Msg id, std::initializer_list<MessageArg> args = {});
// The same in the catalogue `language`; English where that one has no text for it.
std::string messageIn(std::string_view language, Msg id,
                      std::initializer_list<MessageArg> args = {});

// The catalogues built in, English first.
std::vector<std::string> catalogueLanguages();
// The catalogue for a language or locale name ("de_DE.UTF-8", "pt-BR", "ja"): the one so
// named (encoding and modifier aside), else the one of its language; empty when none.
std::string catalogueFor(std::string_view name);
// The user's choice: KIVO_LANG when it names a catalogue; else by the locale, Japanese for
// a Japanese one and for none or the plain C/POSIX one (the program's own texts), the
// locale's catalogue for any other, English where there is none.
std::string chooseLanguage(std::string_view kivoLang, std::string_view locale);

// The language in use: chosen from the environment (KIVO_LANG, userLocale()) when a
// message is first asked for, unless set before.
std::string languageInUse();
// Uses the catalogue `language` from now on; false (and nothing changed) when there is none.
bool useLanguage(std::string_view language);
// Chooses again from the environment.
void useUserLanguage();

// The platform's: the name of the user's locale for messages (POSIX: LC_ALL, LC_MESSAGES or
// LANG, the first one set; Windows: the user's UI language); empty when none is set.
std::string userLocale();

}  // namespace kivo
