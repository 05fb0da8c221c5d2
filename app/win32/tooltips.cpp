#include "app/win32/tooltips.h"

#include <commctrl.h>

#include <map>
#include <vector>

#include "core/win32/widechar.h"

namespace {

// A window's tooltip control; a destroyed window's goes with it (the window owns it).
HWND tipsOf(HWND window, bool make) {
    static std::map<HWND, HWND> tips;
    auto found = tips.find(window);
    if (found != tips.end() && IsWindow(found->second)) return found->second;
    if (!make) return nullptr;
    HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    // Long tips wrap instead of running off the screen.
    SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, 400);
    tips[window] = tip;
    return tip;
}

TTTOOLINFOW toolFor(HWND control, wchar_t* text) {
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = GetParent(control);
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = text;
    return tool;
}

void addTip(HWND control, const std::string& text) {
    HWND tip = tipsOf(GetAncestor(control, GA_ROOT), true);
    std::wstring wide = kivo::widen(text);
    wchar_t old[1024] = L"";
    TTTOOLINFOW tool = toolFor(control, old);
    const bool known = SendMessageW(tip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool));
    tool = toolFor(control, wide.data());
    SendMessageW(tip, known ? TTM_UPDATETIPTEXTW : TTM_ADDTOOLW, 0,
                 reinterpret_cast<LPARAM>(&tool));
}

// Tips are made once the windows have drawn: a timer's message comes after the paint, so
// the first frame does not wait for them.
struct Pending {
    HWND control;
    std::string text;
};
std::vector<Pending> pending;
UINT_PTR pendingTimer = 0;

void addPending() {
    if (pendingTimer) KillTimer(nullptr, pendingTimer);
    pendingTimer = 0;
    std::vector<Pending> now;
    now.swap(pending);
    for (const Pending& p : now)
        if (IsWindow(p.control)) addTip(p.control, p.text);
}

void CALLBACK pendingDue(HWND, UINT, UINT_PTR, DWORD) {
    addPending();
}

}  // namespace

void setToolTip(HWND control, const std::string& text) {
    pending.push_back({control, text});
    if (!pendingTimer) pendingTimer = SetTimer(nullptr, 0, 0, pendingDue);
}

std::string toolTip(HWND control) {
    addPending();
    HWND tip = tipsOf(GetAncestor(control, GA_ROOT), false);
    if (!tip) return {};
    wchar_t text[1024] = L"";
    TTTOOLINFOW tool = toolFor(control, text);
    if (!SendMessageW(tip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool))) return {};
    tool.lpszText = text;
    SendMessageW(tip, TTM_GETTEXTW, 1024, reinterpret_cast<LPARAM>(&tool));
    return kivo::narrow(text);
}
