// The channel list's buttons and file, the boxes, the strip, and the ways the window ends.
#include <fstream>

#include "app/win32/apptitle.h"
#include "app/win32/controls.h"
#include "app/win32/dialogs.h"
#include "core/cp932.h"
#include "core/errors.h"
#include "core/win32/widechar.h"
#include "tests/app/win32/formtest.h"

namespace {

std::string file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST_F(FormTest, ChannelButtonsEditTheListAndSaveAsksFirst) {
    start({"ラジオ日本,AM,1422,80,COM1", "b,FM,80.7,120,COM1"});
    TForm1& f = *form1_;
    const std::string path = folder_.file("KIVO.ini");
    const std::string before = file(path);
    EXPECT_EQ(line(0), kivo::widen("ラジオ日本,AM,1422,80,COM1"));  // CP932 shown whole

    type(f.Edit2, " My Radio, 2 ");
    click(f.RadioButton1);
    type(f.Edit1, "954");
    choosePort(pair_.nearName);
    click(f.Button1);
    EXPECT_EQ(line(2), kivo::widen("My_Radio__2,AM,954,80," + pair_.nearName));
    selectLine(2);
    click(f.Button6);  // up
    EXPECT_EQ(SendMessageW(f.ListBox1, LB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(line(1), kivo::widen("My_Radio__2,AM,954,80," + pair_.nearName));
    click(f.Button7);  // down again
    click(f.Button7);  // the last: nothing
    EXPECT_EQ(SendMessageW(f.ListBox1, LB_GETCURSEL, 0, 0), 2);
    selectLine(0);
    click(f.Button3);  // delete
    EXPECT_EQ(SendMessageW(f.ListBox1, LB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageW(f.ListBox1, LB_GETCURSEL, 0, 0), LB_ERR);

    answers_ = {IDNO};
    click(f.Button5);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, kivo::widen(kivo::saveQuestion()));
    EXPECT_EQ(boxes_[0].caption, kivo::widen("確認"));
    EXPECT_EQ(boxes_[0].type & (MB_TYPEMASK | MB_ICONMASK | MB_DEFMASK),
              UINT(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON1));
    EXPECT_EQ(file(path), before);  // No: untouched
    answers_ = {IDYES};
    click(f.Button5);
    EXPECT_EQ(file(path), "b,FM,80.7,120,COM1\r\nMy_Radio__2,AM,954,80," + pair_.nearName + "\r\n");

    std::ofstream(path, std::ios::binary) << "x,AM,1,1,COM1";
    selectLine(0);
    click(f.Button4);  // reload: no line selected afterwards
    EXPECT_EQ(SendMessageW(f.ListBox1, LB_GETCOUNT, 0, 0), 1);
    EXPECT_EQ(line(0), L"x,AM,1,1,COM1");
    EXPECT_EQ(SendMessageW(f.ListBox1, LB_GETCURSEL, 0, 0), LB_ERR);
    DeleteFileW(kivo::widen(path).c_str());
    click(f.Button4);  // gone: the open error, the list kept
    ASSERT_EQ(boxes_.size(), 3u);
    EXPECT_EQ(boxes_[2].text, kivo::widen(kivo::errorDialogText(kivo::FileOpenError(path).what())));
    EXPECT_EQ(boxes_[2].type & MB_ICONMASK, UINT(MB_ICONSTOP));
    EXPECT_EQ(SendMessageW(f.ListBox1, LB_GETCOUNT, 0, 0), 1);
}

TEST_F(FormTest, AMissingChannelFileSaysSoAndAPortThatDoesNotOpenSaysWhyAndStaysOff) {
    start();  // a file, but see below: this start had one
    DeleteFileW(kivo::widen(folder_.file("KIVO.ini")).c_str());
    form2_.reset();
    form1_.reset();
    boxes_.clear();
    form1_ = std::make_unique<TForm1>();
    runHandler([&] { form1_->FormCreate(folder_.path() + "/", std::nullopt); });
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, kivo::widen(kivo::startupLoadMessage()));
    EXPECT_EQ(boxes_[0].caption, kivo::widen(kivo::applicationTitle()));
    EXPECT_EQ(boxes_[0].type & (MB_TYPEMASK | MB_ICONMASK), UINT(MB_OK));
    EXPECT_EQ(SendMessageW(form1_->ListBox1, LB_GETCOUNT, 0, 0), 0);

    // A port the system does not have: the reason line says so, the receiver stays off.
    TForm1& f = *form1_;
    SetWindowTextW(f.ComboBox1, L"COM30");
    SendMessageW(f.handle(), WM_COMMAND, MAKEWPARAM(TForm1::kComboBox1, CBN_EDITCHANGE),
                 reinterpret_cast<LPARAM>(f.ComboBox1));
    click(f.Button2);
    ASSERT_EQ(boxes_.size(), 2u);
    const std::string why = kivo::narrow(boxes_[1].text);
    EXPECT_EQ(why.rfind("回線オープンエラー\nCOM30\n", 0), 0u) << why;
    EXPECT_NE(why.find("COM30 がありません"), std::string::npos) << why;
    EXPECT_EQ(text(f.Label1), "OFF");
    EXPECT_EQ(f.powerNotice(), why);
    EXPECT_EQ(sent(), "");
}

TEST_F(FormTest, TheStripStandsInForTheWindowAndPassesEveryActionOn) {
    start({"Radio1,AM,594,80,COM1", "Radio2,FM,80.7,120,COM1"});
    TForm1& f = *form1_;
    TForm2& s = *form2_;
    choosePort(pair_.nearName);
    click(f.Button2);
    sent();
    scrollTo(f.ScrollBar1, 33);
    sent();
    RECT at;
    GetWindowRect(f.handle(), &at);

    click(f.Button8);
    EXPECT_FALSE(visible(f.handle()));
    EXPECT_TRUE(visible(s.handle()));
    RECT strip;
    GetWindowRect(s.handle(), &strip);
    EXPECT_EQ(strip.left, at.left);
    EXPECT_EQ(strip.top, at.top);
    EXPECT_EQ(text(s.Button2), "|");
    EXPECT_EQ(scrollPosition(s.ScrollBar1), 33);
    EXPECT_EQ(SendMessageW(s.ComboBox1, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(sent(), "");

    // A channel chosen in the strip tunes and keeps the strip's volume.
    scrollTo(s.ScrollBar1, 40);
    EXPECT_EQ(sent(), "J4028\r\n");
    SendMessageW(s.ComboBox1, CB_SETCURSEL, 1, 0);
    SendMessageW(s.handle(), WM_COMMAND, MAKEWPARAM(TForm2::kComboBox1, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(s.ComboBox1));
    EXPECT_EQ(sent(), "K00080700000060400\r\nK00080700000060400\r\nJ4028\r\n");
    EXPECT_EQ(scrollPosition(f.ScrollBar1), 40);

    click(s.Button2);  // off from the strip
    EXPECT_EQ(sent(), "H100\r\n");
    EXPECT_EQ(text(s.Button2), "○");
    EXPECT_EQ(text(f.Label1), "OFF");

    MoveWindow(s.handle(), 50, 60, strip.right - strip.left, strip.bottom - strip.top, FALSE);
    click(s.Button1);  // back where the strip was, the selection kept
    EXPECT_TRUE(visible(f.handle()));
    EXPECT_FALSE(visible(s.handle()));
    GetWindowRect(f.handle(), &at);
    EXPECT_EQ(at.left, 50);
    EXPECT_EQ(at.top, 60);
    EXPECT_EQ(SendMessageW(f.ListBox1, LB_GETCURSEL, 0, 0), 1);

    // Closing the strip ends the program: the closing sequence, then the windows go.
    click(f.Button2);
    sent();
    click(f.Button8);
    SendMessageW(s.handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(closed_);
    EXPECT_EQ(sent(), "H100\r\n");
    EXPECT_FALSE(IsWindow(f.handle()));
    EXPECT_FALSE(IsWindow(s.handle()));
}

namespace {

// Answers the real box: reads it, then asks the window to close while it waits.
struct BoxWatch {
    static inline std::wstring text, yes, no, caption;
    static inline HWND closeTarget = nullptr;
    static LRESULT CALLBACK hook(int code, WPARAM wParam, LPARAM lParam) {
        wchar_t kind[16] = {};
        if (code == HCBT_ACTIVATE && GetClassNameW(reinterpret_cast<HWND>(wParam), kind, 16) &&
            lstrcmpW(kind, L"#32770") == 0) {
            HWND box = reinterpret_cast<HWND>(wParam);
            wchar_t buffer[256] = {};
            // Its text once the box is up, read from the box's own message loop.
            later([box] {
                wchar_t shown[256] = {};
                GetDlgItemTextW(box, 0xFFFF, shown, 256);
                text = shown;
                // As a later start does: WM_CLOSE, waited for.
                if (closeTarget) SendMessageW(closeTarget, WM_CLOSE, 0, 0);
            });
            GetDlgItemTextW(box, IDYES, buffer, 256);
            yes = buffer;
            GetDlgItemTextW(box, IDNO, buffer, 256);
            no = buffer;
            GetWindowTextW(box, buffer, 256);
            caption = buffer;
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
};

}  // namespace

TEST_F(FormTest, AClosingRequestWhileTheSaveBoxWaitsAnswersNoAndEndsWithTheReceiverOff) {
    start({"a,AM,954,80,COM1"});
    TForm1& f = *form1_;
    const std::string before = file(folder_.file("KIVO.ini"));
    choosePort(pair_.nearName);
    click(f.Button2);
    sent();
    setMessageBoxSeam(nullptr);  // the system's box this time
    BoxWatch::closeTarget = f.handle();
    HHOOK hook = SetWindowsHookExW(WH_CBT, BoxWatch::hook, nullptr, GetCurrentThreadId());
    click(f.Button5);
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(BoxWatch::text, kivo::widen(kivo::saveQuestion()));
    EXPECT_EQ(BoxWatch::caption, L"確認");
    EXPECT_EQ(BoxWatch::yes, L"はい(&Y)");
    EXPECT_EQ(BoxWatch::no, L"いいえ(&N)");
    EXPECT_EQ(file(folder_.file("KIVO.ini")), before);  // answered No
    EXPECT_TRUE(closed_);
    EXPECT_EQ(sent(), "H100\r\n");
    EXPECT_FALSE(IsWindow(f.handle()));
}

TEST_F(FormTest, TheEndOfTheSessionSwitchesTheReceiverOff) {
    start({"a,AM,954,80,COM1"}, "a");  // the channel's port is COM1
    EXPECT_EQ(text(form1_->Label1), "ON");
    sent();
    SendMessageW(form1_->handle(), WM_QUERYENDSESSION, 0, 0);
    SendMessageW(form1_->handle(), WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(sent(), "H100\r\n");
    EXPECT_FALSE(form1_->rs232c1.isOpen());
}
