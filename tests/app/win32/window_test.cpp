// The main window and the strip driven as a user drives them: the bytes on the line, what
// the controls show afterwards, and the boxes asked.
#include "tests/app/win32/formtest.h"
// After the system headers.
#include <commctrl.h>

#include "app/win32/apptitle.h"
#include "app/win32/controls.h"
#include "core/win32/widechar.h"

namespace {

RECT placeOf(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

struct Expected {
    HWND control;
    const char* caption;
    int left, top, width, height, font;
};

int fontHeight(HWND control);

// Where a control stands, its size, font height and caption. Labels may grow to the right
// where the face draws wider; the rest is exact.
void expectPlaced(const Expected& e) {
    SCOPED_TRACE(e.caption);
    const RECT r = placeOf(e.control);
    EXPECT_EQ(r.left, e.left);
    EXPECT_EQ(r.top, e.top);
    wchar_t kind[16];
    GetClassNameW(e.control, kind, 16);
    if (lstrcmpiW(kind, L"Static") == 0) {
        EXPECT_GE(r.right - r.left, e.width);
    } else {
        EXPECT_EQ(r.right - r.left, e.width);
    }
    EXPECT_EQ(r.bottom - r.top, e.height);
    if (e.font) {
        EXPECT_EQ(fontHeight(e.control), e.font);
    }
    if (*e.caption) {
        EXPECT_EQ(windowText(e.control), e.caption);
    }
}

int fontHeight(HWND control) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    return -font.lfHeight;
}

}  // namespace

TEST_F(FormTest, ControlsStandWhereTheWindowPutsThemWithTheirFontsCaptionsAndTabOrder) {
    start();
    TForm1& f = *form1_;
    const Expected table[] = {
        {f.Label7, "KIVO ver3.0", 48, 8, 125, 21, 21},
        {f.Button8, "S mode", 256, 8, 73, 25, 12},
        {f.Label6, "Port", 8, 40, 30, 16, 16},
        {f.Label1, "OFF", 208, 40, 33, 19, 19},
        {f.Button2, "POWER", 256, 40, 75, 25, 12},
        {f.Label5, "Frequency", 8, 72, 71, 16, 16},
        {f.Edit1, "", 16, 96, 177, 27, 19},
        {f.GroupBox1, "", 248, 80, 89, 57, 12},
        {f.RadioButton1, "AM (kHz)", 256, 88, 73, 17, 12},
        {f.RadioButton2, "FM (MHz)", 256, 112, 73, 17, 12},
        {f.Label4, "Volume", 8, 128, 49, 16, 16},
        {f.Label2, "80", 80, 128, 16, 16, 16},
        {f.ScrollBar1, "", 16, 152, 329, 17, 0},
        {f.Label3, "Title", 8, 192, 29, 16, 16},
        {f.Edit2, "", 48, 192, 161, 27, 19},
        {f.Button1, "Add", 256, 192, 75, 25, 12},
        {f.Button4, "Reload", 48, 232, 75, 25, 12},
        {f.Button3, "Delete", 152, 232, 75, 25, 12},
        {f.Button5, "Save", 256, 232, 75, 25, 12},
        {f.Button6, "UP", 48, 272, 75, 25, 12},
        {f.Button7, "Down", 152, 272, 75, 25, 12},
        {f.ListBox1, "", 8, 312, 337, 257, 19},
    };
    for (const Expected& e : table) expectPlaced(e);
    // The port chooser's closed box and rows, the list's rows.
    EXPECT_EQ(placeOf(f.ComboBox1).left, 48);
    RECT combo;
    GetWindowRect(f.ComboBox1, &combo);
    EXPECT_EQ(combo.bottom - combo.top, 27);
    COMBOBOXINFO comboInfo{};
    comboInfo.cbSize = sizeof comboInfo;
    ASSERT_TRUE(GetComboBoxInfo(f.ComboBox1, &comboInfo));
    EXPECT_EQ(SendMessageW(comboInfo.hwndList, LB_GETITEMHEIGHT, 0, 0), 19);
    EXPECT_EQ(SendMessageW(f.ListBox1, LB_GETITEMHEIGHT, 0, 0), 19);
    EXPECT_EQ(fontHeight(f.ComboBox1), 19);
    // The frame, its caption (the program title) and class.
    RECT frame;
    GetWindowRect(f.handle(), &frame);
    EXPECT_EQ(frame.right - frame.left, 360);
    EXPECT_EQ(frame.bottom - frame.top, 600);
    EXPECT_EQ(text(f.handle()), kivo::programTitle());
    EXPECT_EQ(FindWindowW(L"TForm1", kivo::widen(kivo::programTitle()).c_str()), f.handle());
    // Neither band checked, the volume at 80, nothing chosen.
    EXPECT_FALSE(f.amChecked());
    EXPECT_FALSE(f.fmChecked());
    EXPECT_EQ(f.volumePosition(), 80);
    EXPECT_EQ(text(f.ComboBox1), "");

    // Tab order, from the port chooser round to it again.
    const HWND order[] = {f.ComboBox1, f.Button2, f.ListBox1,     f.ScrollBar1, f.Button1,
                          f.Button3,   f.Edit1,   f.RadioButton1, f.Edit2,      f.Button4,
                          f.Button5,   f.Button6, f.Button7,      f.Button8,    f.ComboBox1};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        EXPECT_EQ(GetNextDlgTabItem(f.handle(), order[i], FALSE), order[i + 1]) << "after " << i;

    // The strip.
    TForm2& s = *form2_;
    const Expected strip[] = {
        {s.Button2, "|", 2, 4, 20, 20, 12},
        {s.ComboBox1, "", 32, 4, 137, 20, 12},
        {s.ScrollBar1, "", 176, 6, 145, 16, 0},
        {s.Button1, "F", 330, 4, 20, 20, 12},
    };
    for (const Expected& e : strip) expectPlaced(e);
    RECT client;
    GetClientRect(s.handle(), &client);
    EXPECT_EQ(client.right, 352);
    EXPECT_EQ(client.bottom, 30);
    EXPECT_FALSE(visible(s.handle()));
    const HWND stripOrder[] = {s.ComboBox1, s.ScrollBar1, s.Button2, s.Button1, s.ComboBox1};
    for (std::size_t i = 0; i + 1 < std::size(stripOrder); ++i)
        EXPECT_EQ(GetNextDlgTabItem(s.handle(), stripOrder[i], FALSE), stripOrder[i + 1]);
}

TEST_F(FormTest, PowerTuningVolumeAndChannelSelectionReachTheLineAsTheUserActs) {
    start({"Test,FM,80.7,120,COM3", "Short,AM"});
    TForm1& f = *form1_;
    // The scan found the test's port.
    EXPECT_NE(SendMessageW(f.ComboBox1, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                           reinterpret_cast<LPARAM>(kivo::widen(pair_.nearName).c_str())),
              CB_ERR);
    EXPECT_EQ(line(0), L"Test,FM,80.7,120,COM3");

    click(f.Button2);  // no port chosen: nothing
    EXPECT_EQ(text(f.Label1), "OFF");
    choosePort(pair_.nearName);
    EXPECT_EQ(text(f.ComboBox1), pair_.nearName);
    EXPECT_EQ(f.rs232c1.portname, pair_.nearName);
    click(f.Button2);
    EXPECT_EQ(sent(), "G300\r\nH101\r\nJ4000\r\nJ4101\r\n");
    EXPECT_EQ(text(f.Label1), "ON");
    EXPECT_FALSE(IsWindowEnabled(f.ComboBox1));
    EXPECT_TRUE(f.Timer1.isActive());

    click(f.RadioButton1);  // AM: its tune of the empty field sends nothing
    click(f.RadioButton1);  // the checked band again: nothing
    type(f.Edit1, "954");
    EXPECT_EQ(sent(), "K00000009000020100\r\nK00000095000020100\r\nK00000954000020100\r\n");
    press(f.Edit1, VK_RETURN);  // Enter tunes to what the field shows
    EXPECT_EQ(sent(), "K00000954000020100\r\n");
    scrollTo(f.ScrollBar1, 10);
    EXPECT_EQ(sent(), "J400A\r\n");
    EXPECT_EQ(text(f.Label2), "10");
    scrollTo(f.ScrollBar1, 10);  // no change, nothing
    SendMessageW(f.handle(), WM_HSCROLL, SB_LINERIGHT, reinterpret_cast<LPARAM>(f.ScrollBar1));
    EXPECT_EQ(sent(), "J400B\r\n");

    // The spec's example: FM checked by the line, two tunes, two volumes.
    SendMessageW(f.Edit1, EM_SETSEL, 0, -1);  // the user clears the field
    SendMessageW(f.Edit1, WM_CLEAR, 0, 0);
    EXPECT_EQ(sent(), "");
    scrollTo(f.ScrollBar1, 80);
    sent();
    selectLine(0);
    EXPECT_EQ(sent(), "K00080700000060400\r\nK00080700000060400\r\nJ4078\r\nJ4078\r\n");
    EXPECT_TRUE(f.fmChecked());
    EXPECT_EQ(text(f.Label2), "120");
    EXPECT_EQ(text(f.Edit2), "Test");
    EXPECT_EQ(f.rs232c1.portname, pair_.nearName);  // the line's port is not used
    selectLine(0);  // the same line again: only a double click runs it
    EXPECT_EQ(sent(), "");
    doubleClick();
    EXPECT_EQ(sent(), "K00080700000060400\r\nJ4078\r\n");

    // A short line: name and band, then the list-index error in the standard dialog.
    selectLine(1);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, kivo::widen("リストのインデックスが範囲を超えています (2)"));
    EXPECT_EQ(boxes_[0].caption, kivo::widen(kivo::applicationTitle()));
    EXPECT_EQ(boxes_[0].type & (MB_TYPEMASK | MB_ICONMASK), UINT(MB_OK | MB_ICONSTOP));
    EXPECT_EQ(text(f.Edit2), "Short");
    EXPECT_TRUE(f.amChecked());
    EXPECT_EQ(sent(), "K00000081000020100\r\n");  // the band's tune, with the old text

    // The tick: the periodic command, replies dropped.
    far_->write("OK\r\n");
    Sleep(100);
    SendMessageW(f.handle(), WM_TIMER, TForm1::kTimer1, 0);
    EXPECT_EQ(sent(), "J4101\r\n");
    EXPECT_EQ(f.rs232c1.rxcount(), 0);

    click(f.Button2);
    EXPECT_EQ(sent(), "H100\r\n");
    EXPECT_EQ(text(f.Label1), "OFF");
    EXPECT_TRUE(IsWindowEnabled(f.ComboBox1));
    EXPECT_FALSE(f.Timer1.isActive());
    scrollTo(f.ScrollBar1, 200);  // off: the label follows, nothing is sent
    EXPECT_EQ(text(f.Label2), "200");
    EXPECT_EQ(sent(), "");
}
