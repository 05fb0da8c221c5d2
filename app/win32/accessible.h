// What a screen reader reads of a control (MSAA, which UI Automation reads too): its name,
// role, description and value as the window code gives them, asked for when the reader
// asks. The control's own accessible object answers everything else.
#pragma once

#include <functional>
#include <string>

#include "app/win32/system.h"

struct AccessibleText {
    long role = 0;                             // ROLE_SYSTEM_*; 0: the control's own
    std::function<std::string()> name;         // empty: the control's own
    std::function<std::string()> description;  // empty: none
    std::function<std::string()> value;        // empty: the control's own
};

// Answers WM_GETOBJECT for `control` with `text` over its own object, for its life.
void describeControl(HWND control, AccessibleText text);

// A list box: besides `text`, each row a list item named by its text, the selected one
// marked selected, whose default action runs `choose(row)`.
void describeList(HWND list, AccessibleText text, std::function<void(int row)> choose);
