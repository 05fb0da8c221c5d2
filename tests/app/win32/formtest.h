// The Windows program's windows made in the test's own process, on Wine's null display
// driver, with COM1 on a pseudo-terminal whose far end the test reads. Handlers are driven
// by the notifications a user's action produces; the boxes are answered through the seam
// in front of MessageBoxW.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "app/win32/Unit1.h"
#include "app/win32/Unit2.h"
#include "tests/support/testenv.h"
#include "tests/windows/winport.h"

struct Box {
    std::wstring text, caption;
    UINT type;
};

class FormTest : public ::testing::Test {
  protected:
    FormTest();
    ~FormTest() override;

    // Writes KIVO.ini (CP932 lines, CR LF) and makes the windows with it.
    void start(const std::vector<std::string>& lines = {},
               const std::optional<std::string>& argument = std::nullopt);

    // A user's actions.
    void click(HWND button);                        // BM_CLICK: the button's own notification
    void type(HWND edit, const std::string& text);  // one WM_CHAR per character
    void choosePort(const std::string& name);       // from the chooser's list
    void selectLine(int row);                       // a click on a line of the list
    void doubleClick();
    void scrollTo(HWND bar, int position);  // the thumb let go at `position`
    void press(HWND control, WPARAM key);   // a key through the message loop

    std::string text(HWND control) const;
    std::wstring line(int row) const;  // the list box's row as it shows it
    bool visible(HWND window) const { return IsWindowVisible(window) != FALSE; }

    // The bytes the receiver got since the last call.
    std::string sent() { return far_->drain(); }

    testenv::TempDir folder_;
    winport::PortPair pair_ = winport::portPair(0);
    std::unique_ptr<winport::FarEnd> far_;
    std::unique_ptr<TForm1> form1_;
    std::unique_ptr<TForm2> form2_;
    std::vector<Box> boxes_;   // every box asked, in order
    std::deque<int> answers_;  // the answers to give, IDOK when none is left
    bool closed_ = false;
};
