// TForm2, the compact "S mode" strip: power, channel chooser and volume in one line. It
// owns nothing of the receiver: its handlers call the main window's. It is owned by the
// main window and goes with it.
#pragma once

#include "app/win32/controls.h"
#include "app/win32/system.h"
#include "core/channels.h"

class TForm1;

class TForm2 {
  public:
    enum Id : int { kButton2 = 200, kComboBox1, kScrollBar1, kButton1 };
    static constexpr wchar_t kClassName[] = L"TForm2";

    explicit TForm2(TForm1& form1);
    ~TForm2();
    TForm2(const TForm2&) = delete;
    TForm2& operator=(const TForm2&) = delete;

    HWND handle() const { return hwnd_; }
    void show();

    // Creation: the caption becomes the program title.
    void FormCreate();

    // Handlers.
    void Button1Click();
    void Button2Click();
    void ScrollBar1Change();
    void ComboBox1Change(int index);
    void FormClose();

    // The power button shows the main window's power state ("|" on, "○" off) and its
    // power notice. Runs no handler.
    void showPowerState();
    // Sets the slider as code does: runs ScrollBar1Change once when the position changes.
    void setVolumePosition(int position);
    // Refills the chooser with the channel names and selects `selected`; its edit text
    // stays when the list is empty or nothing is selected. Runs no handler.
    void showChannelNames(kivo::ChannelNames names, int selected);
    // The chooser's item for a text typed into it: the first name equal to it, else -1.
    int typedIndex() const;

    HWND Button2, ComboBox1, ScrollBar1, Button1;

  private:
    static LRESULT CALLBACK procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT dispatch(UINT msg, WPARAM wParam, LPARAM lParam);

    TForm1& form1_;
    HWND hwnd_ = nullptr;
    Layout layout_;
    int dpi_ = 96;
    Notice notice_;
    kivo::ChannelNames names_;
};
