#include "app/win32/dialogs.h"

#include <vector>

#include "app/win32/apptitle.h"
#include "core/errors.h"
#include "core/win32/widechar.h"

namespace {

MessageBoxSeam replacement;

struct OpenBox {
    HWND box = nullptr;  // known once it is activated
    UINT type = 0;
};
std::vector<OpenBox> openBoxes;  // innermost last
int answering = 0;               // boxes of the replacement being answered

bool yesNo(UINT type) {
    return (type & MB_TYPEMASK) == MB_YESNO;
}

// Finds the box as it comes up, and gives the confirmation its own buttons.
LRESULT CALLBACK watchBox(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && !openBoxes.empty() && !openBoxes.back().box) {
        HWND window = reinterpret_cast<HWND>(wParam);
        wchar_t kind[16];
        if (GetClassNameW(window, kind, 16) && lstrcmpW(kind, L"#32770") == 0) {
            openBoxes.back().box = window;
            if (yesNo(openBoxes.back().type)) {
                SetDlgItemTextW(window, IDYES, kivo::widen(kivo::yesButton()).c_str());
                SetDlgItemTextW(window, IDNO, kivo::widen(kivo::noButton()).c_str());
            }
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

int messageBox(const std::string& text, const std::string& caption, UINT type) {
    const std::wstring wideText = kivo::widen(text), wideCaption = kivo::widen(caption);
    if (replacement) {
        ++answering;
        const int answer = replacement(wideText, wideCaption, type);
        --answering;
        return answer;
    }
    openBoxes.push_back({nullptr, type});
    HHOOK hook = SetWindowsHookExW(WH_CBT, watchBox, nullptr, GetCurrentThreadId());
    const int answer = MessageBoxW(nullptr, wideText.c_str(), wideCaption.c_str(), type);
    if (hook) UnhookWindowsHookEx(hook);
    openBoxes.pop_back();
    return answer;
}

}  // namespace

void setMessageBoxSeam(MessageBoxSeam function) {
    replacement = std::move(function);
}

void showError(const std::string& text) {
    messageBox(text, kivo::applicationTitle(), kErrorBoxType);
}

bool confirmOverwrite(const std::string& text) {
    return messageBox(text, kivo::confirmCaption(), kConfirmBoxType) == IDYES;
}

void showMessage(const std::string& text) {
    messageBox(text, kivo::applicationTitle(), kMessageBoxType);
}

bool boxOpen() {
    return !openBoxes.empty() || answering > 0;
}

void dismissOpenBoxes() {
    for (const OpenBox& open : openBoxes)
        if (open.box && IsWindow(open.box))
            PostMessageW(open.box, WM_COMMAND, yesNo(open.type) ? IDNO : IDOK, 0);
}
