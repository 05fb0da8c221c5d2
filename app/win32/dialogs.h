// The program's modal boxes, all through MessageBoxW, with one seam in front of it so that
// tests can answer them without a box.
#pragma once

#include <functional>
#include <string>

#include "app/win32/system.h"

// What stands in for MessageBoxW: the text, the caption and the MB_ flags; returns the
// button's id.
using MessageBoxSeam =
    std::function<int(const std::wstring& text, const std::wstring& caption, UINT type)>;
// Installs `replacement`; an empty one brings the system's box back.
void setMessageBoxSeam(MessageBoxSeam replacement);

// The flags of the three boxes. None has an owner: a box without one is centred on the
// screen, also while the main window hides behind the strip; task-modal, it disables the
// program's windows meanwhile.
inline constexpr UINT kErrorBoxType = MB_OK | MB_ICONSTOP | MB_TASKMODAL | MB_SETFOREGROUND;
inline constexpr UINT kConfirmBoxType =
    MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON1 | MB_TASKMODAL | MB_SETFOREGROUND;
inline constexpr UINT kMessageBoxType = MB_OK | MB_TASKMODAL | MB_SETFOREGROUND;

// The standard error dialog: application title, stop icon, OK.
void showError(const std::string& text);
// The Save confirmation ("確認", question icon, "はい(&Y)" then "いいえ(&N)", Yes the default):
// true only when answered Yes.
bool confirmOverwrite(const std::string& text);
// The plain message box: application title, no icon, OK.
void showMessage(const std::string& text);

// A box is waiting for an answer.
bool boxOpen();
// Dismisses every box now waiting, as its close box would (the confirmation answers No):
// the program is to end.
void dismissOpenBoxes();
