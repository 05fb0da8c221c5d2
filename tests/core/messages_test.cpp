// The catalogue: every message in Japanese exactly as the program has always said it, in
// English otherwise, the language chosen from the user's settings.
#include "core/messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <vector>

#include "core/errors.h"
#include "core/receivercontrol.h"
#include "core/remoteaddress.h"

using namespace kivo;
using comm::OpenFailure;
using Kind = OpenFailure::Kind;

namespace {

// The program's own texts are what every other test here expects, whatever the locale
// of the machine running them.
class JapaneseFirst : public testing::Environment {
  public:
    void SetUp() override { useLanguage("ja"); }
};
testing::Environment* const japaneseFirst = testing::AddGlobalTestEnvironment(new JapaneseFirst);

// Switches the language for one test and back to Japanese afterwards.
class InLanguage {
  public:
    explicit InLanguage(const char* language) { EXPECT_TRUE(useLanguage(language)); }
    ~InLanguage() { useLanguage("ja"); }
};

OpenFailure failure(Kind kind, const std::function<void(OpenFailure&)>& edit = {}) {
    OpenFailure f;
    f.kind = kind;
    f.device = "/dev/ttyUSB0";
    if (edit) edit(f);
    return f;
}

bool isEnglish(const std::string& text) {
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return !text.empty();
}

std::string thrownBy(const std::function<void()>& raise) {
    try {
        raise();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(nothing raised)";
}

// Each message as the program makes it, beside the Japanese it gave before the catalogue
// (taken from the program as it was) and the words an English text must keep.
struct Said {
    const char* what;
    std::function<std::string()> make;
    std::string japanese;
    std::vector<std::string> kept;
};

std::vector<Said> everything() {
    const std::string path = "/home/u/KIVO.ini";
    auto reason = [](Kind kind, std::function<void(OpenFailure&)> edit = {}) {
        return [=] { return openFailureReason(failure(kind, edit)); };
    };
    auto holder = [](bool named, bool locked) {
        return [=](OpenFailure& f) {
            if (named) f.holder = "minicom";
            f.holderPid = 4242;
            if (locked) f.lockFile = "/run/lock/LCK..ttyUSB0";
        };
    };
    auto stale = [](bool pid, bool owner) {
        return [=](OpenFailure& f) {
            f.lockFile = "/run/lock/LCK..ttyUSB0";
            if (pid) f.holderPid = 77;
            if (owner) f.owner = "uucp";
        };
    };
    return {
        {"open error",
         [=] { return thrownBy([&] { throw FileOpenError(path); }); },
         "ファイル /home/u/KIVO.ini は開けません",
         {path}},
        {"create error",
         [=] { return thrownBy([&] { throw FileCreateError(path); }); },
         "ファイル /home/u/KIVO.ini を作成できません",
         {path}},
        {"list index",
         [] { return thrownBy([] { throw ListIndexError(3); }); },
         "リストのインデックスが範囲を超えています (3)",
         {"(3)"}},
        {"Save's question", saveQuestion, "現在のリストをファイルに上書きしてよいですか？", {}},
        {"start-up load",
         startupLoadMessage,
         "\"KIVO.ini\" ファイルが開けません",
         {"\"KIVO.ini\""}},
        {"restored",
         restoredMessage,
         "\"KIVO.ini\" ファイルの保存が途中で止まっていたため、保存前の内容に戻しました",
         {"\"KIVO.ini\""}},
        {"name", unstorableNameMessage, "名前に保存できない文字があります", {}},
        {"frequency", unstorableFrequencyMessage, "周波数に保存できない文字があります", {}},
        {"port name", unstorablePortMessage, "ポート名に保存できない文字があります", {}},
        {"switch-on",
         [] { return openErrorMessage("COM3"); },
         "回線オープンエラー\nCOM3",
         {"\nCOM3"}},
        {"switch-on with a reason",
         [] { return openErrorMessage("COM3", failure(Kind::NotTerminal)); },
         "回線オープンエラー\nCOM3\n/dev/ttyUSB0 はシリアルデバイスではありません",
         {"\nCOM3\n/dev/ttyUSB0 "}},
        {"missing",
         reason(Kind::Missing),
         "デバイス /dev/ttyUSB0 がありません（つながっているシリアルデバイスは kivo --list-ports "
         "で分かります）",
         {"/dev/ttyUSB0", "kivo --list-ports"}},
        {"in use",
         reason(Kind::InUse),
         "/dev/ttyUSB0 は他のプログラムが使用中です",
         {"/dev/ttyUSB0"}},
        {"in use, pid",
         reason(Kind::InUse, holder(false, false)),
         "/dev/ttyUSB0 は他のプログラムが使用中です: (pid 4242)",
         {"/dev/ttyUSB0", "(pid 4242)"}},
        {"in use, name and pid",
         reason(Kind::InUse, holder(true, false)),
         "/dev/ttyUSB0 は他のプログラムが使用中です: minicom (pid 4242)",
         {"/dev/ttyUSB0", "minicom (pid 4242)"}},
        {"in use, pid and lock",
         reason(Kind::InUse, holder(false, true)),
         "/dev/ttyUSB0 は他のプログラムが使用中です: (pid 4242、ロックファイル "
         "/run/lock/LCK..ttyUSB0)",
         {"/dev/ttyUSB0", "(pid 4242", "/run/lock/LCK..ttyUSB0)"}},
        {"in use, all",
         reason(Kind::InUse, holder(true, true)),
         "/dev/ttyUSB0 は他のプログラムが使用中です: minicom (pid 4242、ロックファイル "
         "/run/lock/LCK..ttyUSB0)",
         {"/dev/ttyUSB0", "minicom (pid 4242", "/run/lock/LCK..ttyUSB0)"}},
        {"in use, lock only",
         reason(Kind::InUse, [](OpenFailure& f) { f.lockFile = "/run/lock/LCK..ttyUSB0"; }),
         "/dev/ttyUSB0 は他のプログラムが使用中です: (ロックファイル /run/lock/LCK..ttyUSB0)",
         {"/dev/ttyUSB0", "/run/lock/LCK..ttyUSB0)"}},
        {"denied, a group may",
         reason(Kind::Denied,
                [](OpenFailure& f) {
                    f.owner = "root";
                    f.group = "dialout";
                    f.mode = 0660;
                }),
         "/dev/ttyUSB0 を開く権限がありません。グループ dialout のユーザーだけが開けます: sudo "
         "usermod -aG dialout $USER でグループに加わり、ログインし直してください",
         {"/dev/ttyUSB0", "sudo usermod -aG dialout $USER"}},
        {"denied", reason(Kind::Denied), "/dev/ttyUSB0 を開く権限がありません", {"/dev/ttyUSB0"}},
        {"denied, the owner's only",
         reason(Kind::Denied,
                [](OpenFailure& f) {
                    f.owner = "root";
                    f.group = "root";
                    f.mode = 0600;
                }),
         "/dev/ttyUSB0 を開く権限がありません（所有者 root、グループ root、モード 0600）",
         {"/dev/ttyUSB0", "root", "0600"}},
        {"other",
         reason(Kind::Other, [](OpenFailure& f) { f.systemError = EIO; }),
         "/dev/ttyUSB0 を開けません: " + std::string(std::strerror(EIO)),
         {"/dev/ttyUSB0", std::strerror(EIO)}},
        {"stale lock",
         reason(Kind::StaleLock, stale(false, false)),
         "/dev/ttyUSB0 を開けません: 終了したプロセスのロックファイル /run/lock/LCK..ttyUSB0 "
         "が残っていて、このユーザーには削除できません",
         {"/dev/ttyUSB0", "/run/lock/LCK..ttyUSB0"}},
        {"stale lock, pid",
         reason(Kind::StaleLock, stale(true, false)),
         "/dev/ttyUSB0 を開けません: 終了したプロセス (pid 77) のロックファイル "
         "/run/lock/LCK..ttyUSB0 が残っていて、このユーザーには削除できません",
         {"/dev/ttyUSB0", "/run/lock/LCK..ttyUSB0", "(pid 77)"}},
        {"stale lock, owner",
         reason(Kind::StaleLock, stale(false, true)),
         "/dev/ttyUSB0 を開けません: 終了したプロセスのロックファイル "
         "/run/lock/LCK..ttyUSB0（所有者 uucp）が残っていて、このユーザーには削除できません",
         {"/dev/ttyUSB0", "/run/lock/LCK..ttyUSB0", "uucp"}},
        {"stale lock, pid and owner",
         reason(Kind::StaleLock, stale(true, true)),
         "/dev/ttyUSB0 を開けません: 終了したプロセス (pid 77) のロックファイル "
         "/run/lock/LCK..ttyUSB0（所有者 uucp）が残っていて、このユーザーには削除できません",
         {"/dev/ttyUSB0", "/run/lock/LCK..ttyUSB0", "(pid 77)", "uucp"}},
        {"remote listen",
         [] { return remoteListenFailedMessage("127.0.0.1:4532", "The address is in use"); },
         "リモート制御を始められません: 127.0.0.1:4532 (The address is in use)",
         {"127.0.0.1:4532 (The address is in use)"}},
        {"remote environment",
         [] { return remoteEnvironmentMessage("not a port: x"); },
         "環境変数 KIVO_REMOTE が正しくありません: not a port: x",
         {"KIVO_REMOTE", "not a port: x"}},
        {"confirmation", [] { return message(Msg::ConfirmCaption); }, "確認", {}},
        {"yes", [] { return message(Msg::ConfirmYes); }, "はい(&Y)", {"&Y"}},
        {"no", [] { return message(Msg::ConfirmNo); }, "いいえ(&N)", {"&N"}},
        {"component: open",
         [] { return componentMessage("回線オープンエラー"); },
         "回線オープンエラー",
         {}},
        {"component: buffers",
         [] { return componentMessage("バッファサイズ設定エラー"); },
         "バッファサイズ設定エラー",
         {}},
        {"component: settings",
         [] { return componentMessage("通信条件設定エラー"); },
         "通信条件設定エラー",
         {}},
        {"component: time-outs",
         [] { return componentMessage("タイムアウト時間設定エラー"); },
         "タイムアウト時間設定エラー",
         {}},
    };
}

}  // namespace

TEST(Messages, JapaneseAreTheProgramsOwnTextsAndEnglishTranslatesEach) {
    for (const Said& s : everything()) {
        SCOPED_TRACE(s.what);
        EXPECT_EQ(s.make(), s.japanese);
        InLanguage english("en");
        const std::string text = s.make();
        EXPECT_TRUE(isEnglish(text)) << text;
        for (const std::string& k : s.kept) EXPECT_NE(text.find(k), std::string::npos) << text;
    }
}

// Every message has a text in both languages; the English one is English through and
// through, and every placeholder it has is filled (none is left showing).
TEST(Messages, EveryMessageHasBothLanguages) {
    ASSERT_EQ(catalogueLanguages().front(), "en");
    ASSERT_NE(catalogueFor("ja"), "");
    const int ja = [] {
        const auto names = catalogueLanguages();
        return int(std::find(names.begin(), names.end(), "ja") - names.begin());
    }();
    for (int i = 0; i < catalogue::kMessages; ++i) {
        SCOPED_TRACE(catalogue::kIds[i]);
        const char* english = catalogue::kTexts[0][i];
        const char* japanese = catalogue::kTexts[ja][i];
        ASSERT_NE(english, nullptr);
        ASSERT_NE(japanese, nullptr);
        EXPECT_TRUE(isEnglish(english));
        EXPECT_NE(std::string(japanese), "");
        EXPECT_FALSE(isEnglish(japanese)) << "a Japanese text in English: " << japanese;
    }
}

// An argument is put in as it is: braces in a path are not taken for placeholders.
TEST(Messages, ArgumentsAreNeverReadAsPlaceholders) {
    EXPECT_EQ(thrownBy([] { throw FileOpenError("/tmp/{path}{index}/KIVO.ini"); }),
              "ファイル /tmp/{path}{index}/KIVO.ini は開けません");
    EXPECT_EQ(messageIn("en", Msg::OpenError, {{"port", "{port}"}, {"port", "COM1"}}),
              "Cannot open the port\nCOM1");
    EXPECT_EQ(messageIn("en", Msg::OpenError), "Cannot open the port\n{port}");
    EXPECT_EQ(componentMessage("something else"), "something else");
}

TEST(Messages, ErrorDialogAddsItsFullStopInEitherLanguage) {
    struct Unknown {};
    auto shown = [](auto error) { return errorDialogText(std::make_exception_ptr(error)); };
    EXPECT_EQ(shown(ListIndexError(2)), "リストのインデックスが範囲を超えています (2)");
    EXPECT_EQ(shown(Unknown{}), "不明なエラー.");
    InLanguage english("en");
    EXPECT_EQ(shown(FileCreateError("/x/KIVO.ini")), "Cannot create the file /x/KIVO.ini.");
    EXPECT_EQ(shown(ListIndexError(2)), "List index out of bounds (2)");
    EXPECT_EQ(shown(Unknown{}), "Unknown error.");
}

TEST(Messages, LanguageFollowsKivoLangThenTheLocale) {
    const struct {
        const char* kivoLang;
        const char* locale;
        const char* language;
    } cases[] = {
        {"", "", "ja"},                  // no locale at all
        {"", "C", "ja"},                 // the plain locale keeps the program's own texts
        {"", "C.UTF-8", "ja"},           //
        {"", "POSIX", "ja"},             //
        {"", "ja_JP.UTF-8", "ja"},       //
        {"", "ja_JP.eucJP", "ja"},       //
        {"", "ja-JP", "ja"},             // Windows writes its names so
        {"", "en_US.UTF-8", "en"},       //
        {"", "en-GB", "en"},             //
        {"", "de_DE.UTF-8@euro", "en"},  // no German catalogue: English
        {"", "fr", "en"},                //
        {"en", "ja_JP.UTF-8", "en"},     // KIVO_LANG wins
        {"ja", "en_US.UTF-8", "ja"},     //
        {"ja_JP.UTF-8", "C", "ja"},      //
        {"xx", "en_US.UTF-8", "en"},     // a language without a catalogue is passed over
        {"xx", "C.UTF-8", "ja"},         //
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.kivoLang) + " / " + c.locale);
        EXPECT_EQ(chooseLanguage(c.kivoLang, c.locale), c.language);
    }
    EXPECT_FALSE(useLanguage("xx"));
    EXPECT_EQ(languageInUse(), "ja");
}
