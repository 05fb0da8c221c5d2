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

// The list's buttons and the file are the scenario table's; here the boxes as Windows
// shows them.
TEST_F(FormTest, SaveAsksWithTheConfirmationBoxAndAFileErrorShowsTheStopIcon) {
    start({"ラジオ日本,AM,1422,80,COM1"});
    TForm1& f = *form1_;
    const std::string path = folder_.file("KIVO.ini");
    const std::string before = file(path);
    EXPECT_EQ(line(0), kivo::widen("ラジオ日本,AM,1422,80,COM1"));  // CP932 shown whole

    answers_ = {IDNO};
    click(f.Button5);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, kivo::widen(kivo::saveQuestion()));
    EXPECT_EQ(boxes_[0].caption, kivo::widen("確認"));
    EXPECT_EQ(boxes_[0].type & (MB_TYPEMASK | MB_ICONMASK | MB_DEFMASK),
              UINT(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON1));
    EXPECT_EQ(file(path), before);  // No: untouched

    DeleteFileW(kivo::widen(path).c_str());
    click(f.Button4);  // gone: the open error, the list kept
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[1].text, kivo::widen(kivo::errorDialogText(kivo::FileOpenError(path).what())));
    EXPECT_EQ(boxes_[1].caption, kivo::widen(kivo::applicationTitle()));
    EXPECT_EQ(boxes_[1].type & MB_ICONMASK, UINT(MB_ICONSTOP));
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

// What the strip does with the receiver is the scenario table's; here where the windows
// stand and that they are gone at the end.
TEST_F(FormTest, TheStripStandsWhereTheWindowStoodAndTheWindowsGoWithIt) {
    start({"Radio1,AM,594,80,COM1"});
    TForm1& f = *form1_;
    TForm2& s = *form2_;
    RECT at;
    GetWindowRect(f.handle(), &at);
    click(f.Button8);
    RECT strip;
    GetWindowRect(s.handle(), &strip);
    EXPECT_EQ(strip.left, at.left);
    EXPECT_EQ(strip.top, at.top);

    MoveWindow(s.handle(), 50, 60, strip.right - strip.left, strip.bottom - strip.top, FALSE);
    click(s.Button1);  // back where the strip was
    EXPECT_TRUE(visible(f.handle()));
    GetWindowRect(f.handle(), &at);
    EXPECT_EQ(at.left, 50);
    EXPECT_EQ(at.top, 60);

    click(f.Button8);
    SendMessageW(s.handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(closed_);
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
    choosePort(port_);
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
