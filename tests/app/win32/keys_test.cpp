// The keyboard: each shortcut does what its button does, the list's keys only while the
// list has the focus, each named in its control's tooltip.
#include "tests/app/win32/formtest.h"
// After the system headers.
#include <cstring>

#include "app/win32/tooltips.h"
#include "core/errors.h"
#include "core/messages.h"
#include "core/win32/widechar.h"

namespace {

class KeysTest : public FormTest {
  protected:
    // `key` with Ctrl and Alt held or not, to the control with the focus, through the
    // message loop.
    void key(HWND focus, UINT vk, bool ctrl = false, bool alt = false) {
        SetFocus(focus);
        BYTE saved[256], state[256];
        GetKeyboardState(saved);
        std::memcpy(state, saved, sizeof state);
        state[VK_CONTROL] = state[VK_LCONTROL] = ctrl ? 0x80 : 0;
        state[VK_SHIFT] = state[VK_LSHIFT] = 0;
        SetKeyboardState(state);
        const LPARAM flags = 1 | (alt ? LPARAM(1) << 29 : 0);
        HWND to = GetFocus();
        PostMessageW(to, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, flags);
        PostMessageW(to, alt ? WM_SYSKEYUP : WM_KEYUP, vk, flags | 0xC0000000);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (keyboardMessage(msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        SetKeyboardState(saved);
    }
    int lines() const {
        return static_cast<int>(SendMessageW(form1_->ListBox1, LB_GETCOUNT, 0, 0));
    }
};

}  // namespace

TEST_F(KeysTest, TheWindowsKeysPressTheirButtonsWhereverTheFocusIs) {
    start({"a,AM,954,80,COM1", "b,FM,80.7,120,COM1"});
    TForm1& f = *form1_;
    TForm2& s = *form2_;
    choosePort(port_);

    key(f.Edit2, 'P', true);
    EXPECT_EQ(f.powerCaption(), "ON");
    EXPECT_NE(sent().find("H101"), std::string::npos);
    key(f.Edit2, 'P');  // without Ctrl it is typing
    EXPECT_EQ(f.powerCaption(), "ON");
    EXPECT_EQ(text(f.Edit2), "p");

    key(f.Button1, 'M', true);
    EXPECT_TRUE(visible(s.handle()));
    EXPECT_FALSE(visible(f.handle()));
    key(s.ScrollBar1, 'P', true);  // the strip's own keys
    EXPECT_EQ(f.powerCaption(), "OFF");
    key(s.ComboBox1, 'M', true);
    EXPECT_TRUE(visible(f.handle()));
    EXPECT_FALSE(visible(s.handle()));

    answers_ = {IDNO};
    key(f.ListBox1, 'S', true);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, kivo::widen(kivo::saveQuestion()));

    // F5 reads the file again after the list changed.
    selectLine(0);
    key(f.ListBox1, VK_DELETE);
    EXPECT_EQ(lines(), 1);
    key(f.Edit1, VK_F5);
    EXPECT_EQ(lines(), 2);
}

TEST_F(KeysTest, TheListsKeysActOnlyWhileTheListHasTheFocus) {
    start({"a,AM,954,80,COM1", "b,FM,80.7,120,COM1", "c,FM,82.5,90,COM1"});
    TForm1& f = *form1_;
    choosePort(port_);
    click(f.Button2);
    selectLine(0);
    sent();

    key(f.Edit2, VK_DELETE);
    key(f.Edit2, VK_DOWN, false, true);
    EXPECT_EQ(lines(), 3);
    EXPECT_EQ(line(0), L"a,AM,954,80,COM1");

    key(f.ListBox1, VK_DOWN, false, true);
    EXPECT_EQ(line(1), L"a,AM,954,80,COM1");
    EXPECT_EQ(f.channels().selectedIndex(), 1);
    key(f.ListBox1, VK_UP, false, true);
    EXPECT_EQ(line(0), L"a,AM,954,80,COM1");
    EXPECT_EQ(f.channels().selectedIndex(), 0);

    // Enter tunes the chosen line again, as a double click does.
    key(f.ListBox1, VK_RETURN);
    const std::string entered = sent();
    doubleClick();
    EXPECT_EQ(entered, sent());
    EXPECT_NE(entered, "");

    key(f.ListBox1, VK_DELETE);
    EXPECT_EQ(lines(), 2);
    EXPECT_EQ(line(0), L"b,FM,80.7,120,COM1");

    // While a button is disabled its key does nothing.
    EnableWindow(f.Button3, FALSE);
    key(f.ListBox1, VK_DELETE);
    EXPECT_EQ(lines(), 2);
}

TEST_F(KeysTest, EachKeyIsNamedInItsControlsTooltip) {
    kivo::useLanguage("en");
    start();
    TForm1& f = *form1_;
    TForm2& s = *form2_;
    const std::pair<HWND, std::string> tips[] = {
        {f.Button2, "Switch the receiver on or off (Ctrl+P)"},
        {f.Button8, "Switch to the compact S mode strip (Ctrl+M)"},
        {f.Button4, "Read the channel list again from KIVO.ini (F5)"},
        {f.Button5, "Write the channel list to KIVO.ini (Ctrl+S)"},
        {f.Button3, "Delete the selected channel (Delete in the list)"},
        {f.Button6, "Move the selected channel up (Alt+Up in the list)"},
        {f.Button7, "Move the selected channel down (Alt+Down in the list)"},
        {f.ListBox1,
         "Up and Down choose a channel, Enter tunes it again; Delete, Alt+Up and "
         "Alt+Down edit the list"},
        {s.Button2, "Switch the receiver on or off (Ctrl+P)"},
        {s.Button1, "Back to the full window (Ctrl+M)"},
    };
    for (const auto& [control, tip] : tips) EXPECT_EQ(toolTip(control), tip);
    kivo::useLanguage("ja");
}
