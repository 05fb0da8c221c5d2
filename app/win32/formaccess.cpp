// What the windows say to a screen reader, their shortcut keys and tooltips: the same
// names, keys and tips as the other front end's, from the catalogue.
// clang-format off
#include "app/win32/system.h"
#include <commctrl.h>
#include <oleacc.h>
// clang-format on

#include "app/win32/Unit1.h"
#include "app/win32/Unit2.h"
#include "app/win32/accessible.h"
#include "app/win32/keys.h"
#include "app/win32/tooltips.h"
#include "core/messages.h"

namespace {

std::function<std::string()> named(kivo::Msg id) {
    return [id] { return kivo::message(id); };
}

std::function<std::string()> textOf(HWND control) {
    return [control] { return windowText(control); };
}

std::function<std::string()> positionOf(HWND bar) {
    return [bar] { return std::to_string(scrollPosition(bar)); };
}

// An editable chooser and its field are both named: a reader may land on either.
void describeChooser(HWND combo, kivo::Msg name) {
    describeControl(combo, {ROLE_SYSTEM_COMBOBOX, named(name), {}, textOf(combo)});
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    if (GetComboBoxInfo(combo, &info) && info.hwndItem)
        describeControl(info.hwndItem, {ROLE_SYSTEM_TEXT, named(name), {}, textOf(info.hwndItem)});
}

void describeButton(HWND button, long role = ROLE_SYSTEM_PUSHBUTTON) {
    describeControl(button, {role, textOf(button), {}, {}});
}

}  // namespace

std::function<std::string()> TForm1::powerDescription() const {
    return [this] {
        return kivo::message(powerCaption() == kivo::kPowerOn ? kivo::Msg::PowerIsOn
                                                              : kivo::Msg::PowerIsOff);
    };
}

void TForm1::describeControls() {
    describeChooser(ComboBox1, kivo::Msg::NamePort);
    describeControl(
        Label1, {ROLE_SYSTEM_STATICTEXT,
                 [this] {
                     return kivo::message(kivo::Msg::NamePowerState, {{"state", powerCaption()}});
                 },
                 {},
                 [this] { return powerCaption(); }});
    describeControl(Button2,
                    {ROLE_SYSTEM_PUSHBUTTON, named(kivo::Msg::NamePower), powerDescription(), {}});
    // The frequency's unit follows the band: kHz while AM is checked, else MHz.
    describeControl(Edit1, {ROLE_SYSTEM_TEXT,
                            [this] {
                                return kivo::message(isChecked(RadioButton1)
                                                         ? kivo::Msg::NameFrequencyKhz
                                                         : kivo::Msg::NameFrequencyMhz);
                            },
                            {},
                            textOf(Edit1)});
    describeControl(GroupBox1, {ROLE_SYSTEM_GROUPING, named(kivo::Msg::NameBand), {}, {}});
    for (HWND band : {RadioButton1, RadioButton2}) describeButton(band, ROLE_SYSTEM_RADIOBUTTON);
    describeControl(
        ScrollBar1,
        {ROLE_SYSTEM_SCROLLBAR, named(kivo::Msg::NameVolume), {}, positionOf(ScrollBar1)});
    describeControl(Edit2, {ROLE_SYSTEM_TEXT, named(kivo::Msg::NameTitle), {}, textOf(Edit2)});
    // A line's action chooses it as Enter does.
    describeList(ListBox1, {ROLE_SYSTEM_LIST, named(kivo::Msg::NameChannelList), {}, {}},
                 [this](int row) {
                     if (channelList_.selectedIndex() == row) {
                         runHandler([this] { ListBox1DblClick(); });
                         return;
                     }
                     SendMessageW(ListBox1, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
                     userSelectedLine();
                 });
    for (HWND button : {Button1, Button3, Button4, Button5, Button6, Button7, Button8})
        describeButton(button);

    const std::pair<HWND, kivo::Msg> tips[] = {
        {Button2, kivo::Msg::TipPower},        {Button8, kivo::Msg::TipSmode},
        {Button1, kivo::Msg::TipAdd},          {Button4, kivo::Msg::TipReload},
        {Button5, kivo::Msg::TipSave},         {Button3, kivo::Msg::TipDelete},
        {Button6, kivo::Msg::TipUp},           {Button7, kivo::Msg::TipDown},
        {ListBox1, kivo::Msg::TipChannelList},
    };
    for (const auto& [control, tip] : tips) setToolTip(control, kivo::message(tip));
}

// The buttons' keys press them as a click does; the list's act while it has the focus.
void TForm1::bindKeys() {
    bindKey({'P', true, false, hwnd_, Button2, BN_CLICKED});
    bindKey({'M', true, false, hwnd_, Button8, BN_CLICKED});
    bindKey({'S', true, false, hwnd_, Button5, BN_CLICKED});
    bindKey({VK_F5, false, false, hwnd_, Button4, BN_CLICKED});
    bindKey({VK_DELETE, false, false, ListBox1, Button3, BN_CLICKED});
    bindKey({VK_UP, false, true, ListBox1, Button6, BN_CLICKED});
    bindKey({VK_DOWN, false, true, ListBox1, Button7, BN_CLICKED});
    bindKey({VK_RETURN, false, false, ListBox1, ListBox1, LBN_DBLCLK});
    showKeyboardCues(hwnd_);
}

void TForm2::describeControls() {
    describeControl(
        Button2,
        {ROLE_SYSTEM_PUSHBUTTON, named(kivo::Msg::NamePower), form1_.powerDescription(), {}});
    describeChooser(ComboBox1, kivo::Msg::NameChannel);
    describeControl(
        ScrollBar1,
        {ROLE_SYSTEM_SCROLLBAR, named(kivo::Msg::NameVolume), {}, positionOf(ScrollBar1)});
    describeControl(Button1, {ROLE_SYSTEM_PUSHBUTTON, named(kivo::Msg::NameFullWindow), {}, {}});
    setToolTip(Button2, kivo::message(kivo::Msg::TipPower));
    setToolTip(Button1, kivo::message(kivo::Msg::TipFullWindow));
    bindKey({'P', true, false, hwnd_, Button2, BN_CLICKED});
    bindKey({'M', true, false, hwnd_, Button1, BN_CLICKED});
    showKeyboardCues(hwnd_);
}
