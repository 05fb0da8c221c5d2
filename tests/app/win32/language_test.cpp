// The windows' boxes and reason lines in the language chosen at start: KIVO_LANG, else the
// user's UI language (this test started with LANG set, which is what Wine takes the UI
// language from).
#include "tests/app/win32/formtest.h"
// After the system headers.
#include <cstdlib>

#include "core/messages.h"
#include "core/win32/widechar.h"

namespace {

struct Texts {
    std::string language, saveQuestion, confirm, openError, missing, listIndex;
};

const Texts kEnglish{"en",
                     "Overwrite the file with the current list?",
                     "Confirm",
                     "Cannot open the port\nCOM30\n",
                     "The device COM30 is not there",
                     "List index out of bounds (2)"};
const Texts kJapanese{"ja",
                      "現在のリストをファイルに上書きしてよいですか？",
                      "確認",
                      "回線オープンエラー\nCOM30\n",
                      "デバイス COM30 がありません",
                      "リストのインデックスが範囲を超えています (2)"};

class LanguageTest : public FormTest {
  protected:
    ~LanguageTest() override { kivo::useLanguage("ja"); }

    // Save's question, a port the system lacks, a line too short: each box and the
    // reason line in `t`'s language.
    void expectTexts(const Texts& t) {
        EXPECT_EQ(kivo::languageInUse(), t.language);
        start({"Radio1,AM,594,80,COM1", "Short,AM"});
        TForm1& f = *form1_;
        answers_ = {IDNO};
        click(f.Button5);
        SetWindowTextW(f.ComboBox1, L"COM30");
        SendMessageW(f.handle(), WM_COMMAND, MAKEWPARAM(TForm1::kComboBox1, CBN_EDITCHANGE),
                     reinterpret_cast<LPARAM>(f.ComboBox1));
        click(f.Button2);
        selectLine(1);
        ASSERT_EQ(boxes_.size(), 3u);
        EXPECT_EQ(kivo::narrow(boxes_[0].text), t.saveQuestion);
        EXPECT_EQ(kivo::narrow(boxes_[0].caption), t.confirm);
        const std::string why = f.powerNotice();
        EXPECT_EQ(why.rfind(t.openError, 0), 0u) << why;
        EXPECT_NE(why.find(t.missing), std::string::npos) << why;
        EXPECT_EQ(kivo::narrow(boxes_[1].text), why);
        EXPECT_EQ(kivo::narrow(boxes_[2].text), t.listIndex);
    }
};

}  // namespace

TEST_F(LanguageTest, WithKivoLangEnTheBoxesAndTheReasonLineAreEnglish) {
    _putenv_s("KIVO_LANG", "en");
    kivo::useUserLanguage();
    _putenv_s("KIVO_LANG", "ja");
    expectTexts(kEnglish);
}

TEST_F(LanguageTest, WithKivoLangJaTheyAreTheSystemsOwn) {
    kivo::useUserLanguage();
    expectTexts(kJapanese);
}

// Run by ctest alone, once in each locale, with no KIVO_LANG (its list file): the language
// the program chooses at start from the user's UI language, which Wine takes from LANG.
TEST_F(LanguageTest, ChosenAtStartByTheUserInterface) {
    const char* expected = std::getenv("KIVO_EXPECTED_LANGUAGE");
    ASSERT_NE(expected, nullptr) << "run with the locale by ctest";
    ASSERT_EQ(kivo::userLocale().rfind(expected, 0), 0u)
        << "Wine gave the UI language " << kivo::userLocale()
        << "; the machine needs the locale (scripts/install-deps.sh windows makes it)";
    expectTexts(std::string(expected) == "en" ? kEnglish : kJapanese);
}
