// The windows' boxes and reason lines in the language chosen at start: KIVO_LANG, else the
// user's UI language (a child process of this test started with LANG set, which is what
// Wine takes the UI language from).
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

constexpr int kNoSuchLocale = 77;

// Runs this test binary's UserLanguage.ChosenAtStart in a child process with `lang` as its
// locale and no KIVO_LANG; its exit status.
DWORD childWithLocale(const wchar_t* lang, const wchar_t* expected) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) +
                           L"\" --gtest_filter=LanguageTest.ChosenAtStartByTheUserInterface";
    SetEnvironmentVariableW(L"KIVO_LANG", nullptr);
    SetEnvironmentVariableW(L"LC_ALL", nullptr);
    SetEnvironmentVariableW(L"LC_MESSAGES", lang);
    SetEnvironmentVariableW(L"LANG", lang);
    SetEnvironmentVariableW(L"KIVO_EXPECTED_LANGUAGE", expected);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(self, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        nullptr, &startup, &process);
    SetEnvironmentVariableW(L"KIVO_EXPECTED_LANGUAGE", nullptr);
    SetEnvironmentVariableW(L"KIVO_LANG", L"ja");
    if (!started) return 255;
    DWORD status = 255;
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &status);
    else
        TerminateProcess(process.hProcess, 255);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return status;
}

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

// The half run in the child process: skipped unless started so.
TEST_F(LanguageTest, ChosenAtStartByTheUserInterface) {
    const char* expected = std::getenv("KIVO_EXPECTED_LANGUAGE");
    if (!expected) GTEST_SKIP() << "run by the UserLanguage tests";
    // Wine takes the UI language from the Unix locale, and only from one the machine has.
    if (kivo::userLocale().rfind(expected, 0) != 0) std::exit(kNoSuchLocale);
    expectTexts(std::string(expected) == "en" ? kEnglish : kJapanese);
}

TEST(UserLanguage, AnEnglishUserInterfaceGivesEnglish) {
    EXPECT_EQ(childWithLocale(L"en_US.UTF-8", L"en"), 0u);
}

TEST(UserLanguage, AJapaneseUserInterfaceGivesTheSystemsOwnTexts) {
    const DWORD status = childWithLocale(L"ja_JP.UTF-8", L"ja");
    if (status == kNoSuchLocale)
        GTEST_SKIP() << "the machine lacks the locale ja_JP.UTF-8, which Wine needs to give a "
                        "Japanese user interface";
    EXPECT_EQ(status, 0u);
}
