// The windows' shortcut keys: a key presses a control as its click (or its own
// notification) does, while the focus is in the key's scope, and never while the control
// or its window is disabled. The message loop asks before the dialog keys.
#pragma once

#include "app/win32/system.h"

struct KeyBinding {
    UINT key;        // VK_*
    bool ctrl, alt;  // held exactly so (Shift never)
    HWND scope;      // the window, or the one control the key belongs to
    HWND control;    // whose notification is sent to its parent
    WORD code;       // BN_CLICKED, LBN_DBLCLK, ...
};

void bindKey(const KeyBinding& key);
// True when `msg` was a bound key and its control was pressed (or it was disabled).
bool shortcutKey(const MSG& msg);

// Focus rectangles and mnemonics shown from the start, not only once the keyboard is used.
void showKeyboardCues(HWND window);
