// The scenario table against the Windows windows, driven by the notifications a user's
// action produces; the runner plays the receiver on its own line.
#include "tests/scenarios/scenarios.h"

#include <algorithm>

#include "app/win32/dialogs.h"
#include "core/win32/widechar.h"
#include "tests/app/win32/formtest.h"

using namespace scenarios;

namespace {

class Win32Scenarios : public FormTest,
                       public FrontEnd,
                       public testing::WithParamInterface<Scenario> {
  protected:
    Win32Scenarios() : FormTest(false) {}

    void start(const std::string& folder, const std::optional<std::string>& argument) override {
        boxes_.clear();
        startIn(folder, argument);
    }

    HWND widget(Button button) {
        TForm1& f = *form1_;
        switch (button) {
            case Button::Power:
                return f.Button2;
            case Button::Am:
                return f.RadioButton1;
            case Button::Fm:
                return f.RadioButton2;
            case Button::Add:
                return f.Button1;
            case Button::Delete:
                return f.Button3;
            case Button::Up:
                return f.Button6;
            case Button::Down:
                return f.Button7;
            case Button::Reload:
                return f.Button4;
            case Button::Save:
                return f.Button5;
            case Button::SMode:
                return f.Button8;
            case Button::StripPower:
                return form2_->Button2;
            case Button::StripBack:
                return form2_->Button1;
        }
        return nullptr;
    }
    void click(Button button) override { FormTest::click(widget(button)); }
    void answerConfirmations(bool yes) override { answers_ = {yes ? IDYES : IDNO}; }

    // The edit a user types into: a chooser's is its edit part.
    HWND edit(Field field) {
        HWND control = nullptr;
        switch (field) {
            case Field::Port:
                control = form1_->ComboBox1;
                break;
            case Field::Frequency:
                return form1_->Edit1;
            case Field::Name:
                return form1_->Edit2;
            case Field::StripChooser:
                control = form2_->ComboBox1;
                break;
        }
        COMBOBOXINFO info{};
        info.cbSize = sizeof info;
        EXPECT_TRUE(GetComboBoxInfo(control, &info));
        return info.hwndItem;
    }
    void atEnd(HWND control) {
        const auto end = static_cast<WPARAM>(GetWindowTextLengthW(control));
        SendMessageW(control, EM_SETSEL, end, static_cast<LPARAM>(end));
    }
    void type(Field field, const std::string& text) override {
        atEnd(edit(field));
        FormTest::type(edit(field), text);
    }
    void erase(Field field) override {
        atEnd(edit(field));
        SendMessageW(edit(field), WM_CHAR, VK_BACK, 1);
    }
    void clear(Field field) override {
        SendMessageW(edit(field), EM_SETSEL, 0, -1);
        SendMessageW(edit(field), WM_CLEAR, 0, 0);
    }
    // The whole text replaced at once, as a paste over it does.
    void paste(Field field, const std::string& text) override {
        SendMessageW(edit(field), EM_SETSEL, 0, -1);
        SendMessageW(edit(field), EM_REPLACESEL, TRUE,
                     reinterpret_cast<LPARAM>(kivo::widen(text).c_str()));
        EXPECT_EQ(FormTest::text(edit(field)), text);
    }
    // A drag stops at the bar's ends.
    void drag(HWND bar, int position) {
        int low = 0, high = 0;
        GetScrollRange(bar, SB_CTL, &low, &high);
        scrollTo(bar, std::clamp(position, low, high));
    }
    void slide(int position) override { drag(form1_->ScrollBar1, position); }
    void slideStrip(int position) override { drag(form2_->ScrollBar1, position); }
    void selectLine(int row) override { FormTest::selectLine(row); }
    void doubleClickLine(int row) override {
        FormTest::selectLine(row);
        doubleClick();
    }
    void chooseInStrip(int row) override {
        HWND combo = form2_->ComboBox1;
        SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(row), 0);
        SendMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(combo));
    }
    void tick() override { SendMessageW(form1_->handle(), WM_TIMER, TForm1::kTimer1, 0); }
    void closeMain() override { SendMessageW(form1_->handle(), WM_CLOSE, 0, 0); }
    void closeStrip() override { SendMessageW(form2_->handle(), WM_CLOSE, 0, 0); }

    Window shown() override {
        TForm1& f = *form1_;
        TForm2& s = *form2_;
        const bool main = visible(f.handle()), strip = visible(s.handle());
        EXPECT_TRUE(closed_ ? !main && !strip : main != strip)
            << "main " << main << ", strip " << strip;
        if (!closed_) {
            EXPECT_EQ(f.smode(), strip);
        }
        Lines lines;
        const auto count = SendMessageW(f.ListBox1, LB_GETCOUNT, 0, 0);
        for (int i = 0; i < count; ++i) lines.push_back(kivo::narrow(line(i)));
        const auto row = static_cast<int>(SendMessageW(f.ListBox1, LB_GETCURSEL, 0, 0));
        if (!closed_) {
            EXPECT_EQ(row == LB_ERR ? -1 : row, f.channels().selectedIndex())
                << "the list box shows the selection";
        }
        Lines names;
        const auto items = SendMessageW(s.ComboBox1, CB_GETCOUNT, 0, 0);
        for (int i = 0; i < items; ++i) {
            std::wstring item(
                static_cast<std::size_t>(SendMessageW(s.ComboBox1, CB_GETLBTEXTLEN, i, 0)) + 1,
                L'\0');
            SendMessageW(s.ComboBox1, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()));
            names.push_back(kivo::narrow(item.c_str()));
        }
        return {.power = text(f.Label1),
                .portText = text(f.ComboBox1),
                .portEnabled = IsWindowEnabled(f.ComboBox1) != FALSE,
                .timer = f.Timer1.isActive(),
                .frequency = text(f.Edit1),
                .band = f.amChecked()   ? Band::Am
                        : f.fmChecked() ? Band::Fm
                                        : Band::None,
                .name = text(f.Edit2),
                .volume = f.volumePosition(),
                .volumeLabel = text(f.Label2),
                .lines = lines,
                .selected = row == LB_ERR ? -1 : row,
                .showing = closed_ ? Showing::Nothing
                           : strip ? Showing::Strip
                                   : Showing::Main,
                .stripPower = text(s.Button2),
                .stripText = text(s.ComboBox1),
                .stripNames = names,
                .stripVolume = f.compactVolumePosition()};
    }
    bool editsHoldNul() const override { return false; }  // a NUL ends an edit control's text
    Trs232c& component() override { return form1_->rs232c1; }
    std::string channelFilePath() override { return form1_->control().channelFilePath; }
    Lines takeMessages() override { return take(kMessageBoxType); }
    Lines takeErrors() override { return take(kErrorBoxType); }
    Lines takeQuestions() override { return take(kConfirmBoxType); }

  private:
    // The boxes of one kind asked since the last call.
    Lines take(UINT type) {
        Lines texts;
        std::erase_if(boxes_, [&](const Box& box) {
            if (box.type != type) return false;
            texts.push_back(kivo::narrow(box.text));
            return true;
        });
        return texts;
    }
};

TEST_P(Win32Scenarios, Pass) {
    run(GetParam(), *this);
}

INSTANTIATE_TEST_SUITE_P(Table, Win32Scenarios, testing::ValuesIn(all()),
                         [](const testing::TestParamInfo<Scenario>& info) {
                             return info.param.name;
                         });

}  // namespace
