#include "app/win32/keys.h"

#include <algorithm>
#include <vector>

namespace {

std::vector<KeyBinding>& bindings() {
    static std::vector<KeyBinding> keys;
    return keys;
}

bool held(int key) {
    return GetKeyState(key) < 0;
}

bool within(HWND scope, HWND target) {
    return target == scope || IsChild(scope, target);
}

}  // namespace

void bindKey(const KeyBinding& key) {
    bindings().push_back(key);
}

bool shortcutKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
    auto& keys = bindings();
    keys.erase(std::remove_if(keys.begin(), keys.end(),
                              [](const KeyBinding& k) { return !IsWindow(k.control); }),
               keys.end());
    // Alt is in the message itself; the other keys as they were when it was sent.
    const bool alt = (msg.lParam & (1 << 29)) != 0;
    const bool ctrl = held(VK_CONTROL), shift = held(VK_SHIFT);
    for (const KeyBinding& k : keys) {
        if (k.key != msg.wParam || k.ctrl != ctrl || k.alt != alt || shift ||
            !within(k.scope, msg.hwnd))
            continue;
        HWND parent = GetParent(k.control);
        if (IsWindowEnabled(k.control) && IsWindowEnabled(GetAncestor(k.control, GA_ROOT)))
            SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(k.control), k.code),
                         reinterpret_cast<LPARAM>(k.control));
        return true;
    }
    return false;
}

void showKeyboardCues(HWND window) {
    SendMessageW(window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS | UISF_HIDEACCEL),
                 0);
}
