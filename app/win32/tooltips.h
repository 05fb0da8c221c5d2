// Tooltips on a window's controls, one tooltip control per window, made once the loop has
// drawn the windows.
#pragma once

#include <string>

#include "app/win32/system.h"

void setToolTip(HWND control, const std::string& text);
// The tooltip `control` shows, as its tooltip control holds it; empty when none.
std::string toolTip(HWND control);
