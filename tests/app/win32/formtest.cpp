#include "tests/app/win32/formtest.h"

#include <commctrl.h>

#include <fstream>

#include "app/win32/apptitle.h"
#include "app/win32/controls.h"
#include "app/win32/dialogs.h"
#include "core/cp932.h"
#include "core/win32/widechar.h"

FormTest::FormTest() {
    static const bool once = [] {
        INITCOMMONCONTROLSEX common{sizeof common, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
        InitCommonControlsEx(&common);
        kivo::setProgramTitlesFromModule();
        return true;
    }();
    (void)once;
    far_ = std::make_unique<winport::FarEnd>(pair_.farName);
    setMessageBoxSeam([this](const std::wstring& text, const std::wstring& caption, UINT type) {
        boxes_.push_back({text, caption, type});
        if (answers_.empty()) return (type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
        const int answer = answers_.front();
        answers_.pop_front();
        return answer;
    });
}

FormTest::~FormTest() {
    form2_.reset();
    form1_.reset();
    setMessageBoxSeam(nullptr);
}

void FormTest::start(const std::vector<std::string>& lines,
                     const std::optional<std::string>& argument) {
    std::ofstream file(folder_.file("KIVO.ini"), std::ios::binary);
    for (const std::string& l : lines) file << *kivo::utf8ToCp932(l) << "\r\n";
    file.close();
    form1_ = std::make_unique<TForm1>();
    form1_->onClosed = [this] { closed_ = true; };
    form1_->rs232c1.txtimeout = 2000;
    runHandler([&] { form1_->FormCreate(folder_.path() + "/", argument); });
    form2_ = std::make_unique<TForm2>(*form1_);
    form1_->setCompactWindow(form2_.get());
    form2_->FormCreate();
    form1_->show();
}

void FormTest::click(HWND button) {
    SendMessageW(button, BM_CLICK, 0, 0);
}

void FormTest::type(HWND edit, const std::string& text) {
    for (wchar_t c : kivo::widen(text)) SendMessageW(edit, WM_CHAR, c, 1);
}

void FormTest::choosePort(const std::string& name) {
    HWND combo = form1_->ComboBox1;
    const LRESULT item = SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                      reinterpret_cast<LPARAM>(kivo::widen(name).c_str()));
    ASSERT_NE(item, CB_ERR) << name << " is not in the chooser";
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
    SendMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
}

void FormTest::selectLine(int row) {
    HWND list = form1_->ListBox1;
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
    SendMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
}

void FormTest::doubleClick() {
    HWND list = form1_->ListBox1;
    SendMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), LBN_DBLCLK),
                 reinterpret_cast<LPARAM>(list));
}

void FormTest::scrollTo(HWND bar, int position) {
    SendMessageW(GetParent(bar), WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, position),
                 reinterpret_cast<LPARAM>(bar));
}

void FormTest::press(HWND control, WPARAM key) {
    SetFocus(control);
    PostMessageW(control, WM_KEYDOWN, key, 1);
    PostMessageW(control, WM_KEYUP, key, 0xC0000001);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (keyboardMessage(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

std::string FormTest::text(HWND control) const {
    return windowText(control);
}

std::wstring FormTest::line(int row) const {
    HWND list = form1_->ListBox1;
    const LRESULT n = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(row), 0);
    if (n == LB_ERR) return L"(none)";
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(n));
    return text;
}
