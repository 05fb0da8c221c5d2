// The language from the environment, as the C library reads the locale for messages.
#include <gtest/gtest.h>

#include "core/messages.h"
#include "core/receivercontrol.h"
#include "tests/support/testenv.h"

TEST(UserLanguage, ComesFromKivoLangElseLcAllLcMessagesLang) {
    const std::string english = kivo::messageIn("en", kivo::Msg::StartupLoadMessage);
    const std::string japanese = "\"KIVO.ini\" ファイルが開けません";
    const struct {
        const char* kivoLang;
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        const std::string& said;
    } cases[] = {
        {"", "", "", "en_US.UTF-8", english},
        {"", "", "", "ja_JP.UTF-8", japanese},
        {"", "", "", "C.UTF-8", japanese},
        {"", "", "", "", japanese},
        {"", "C", "", "en_US.UTF-8", japanese},           // LC_ALL first
        {"", "", "en_US.UTF-8", "ja_JP.UTF-8", english},  // then LC_MESSAGES
        {"", "", "C", "en_US.UTF-8", japanese},
        {"en", "ja_JP.UTF-8", "", "", english},  // KIVO_LANG over them all
        {"ja", "", "", "en_US.UTF-8", japanese},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.kivoLang) + "|" + c.lcAll + "|" + c.lcMessages + "|" + c.lang);
        testenv::ScopedEnv kivoLang("KIVO_LANG", c.kivoLang), lcAll("LC_ALL", c.lcAll),
            lcMessages("LC_MESSAGES", c.lcMessages), lang("LANG", c.lang);
        kivo::useUserLanguage();
        EXPECT_EQ(kivo::startupLoadMessage(), c.said);
    }
    kivo::useLanguage("ja");
}
