// What a screen reader reads of the windows, asked as a reader asks: the control's
// accessible object from AccessibleObjectFromWindow, and its name, role, value, state and
// description through IAccessible.
#include "tests/app/win32/formtest.h"
// After the system headers.
#include <oleacc.h>

#include "core/messages.h"
#include "core/win32/widechar.h"

namespace {

struct Read {
    long role = 0, state = 0;
    std::string name, value, description;
};

VARIANT child(long id) {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

// A text asked for by `ask`, empty when there is none.
template <class Ask>
std::string text(Ask ask) {
    BSTR got = nullptr;
    const HRESULT hr = ask(&got);
    std::string out = SUCCEEDED(hr) && got ? kivo::narrow(got) : std::string();
    SysFreeString(got);
    return out;
}

Read read(IAccessible* object, long id = CHILDID_SELF) {
    Read r;
    r.name = text([&](BSTR* t) { return object->get_accName(child(id), t); });
    r.value = text([&](BSTR* t) { return object->get_accValue(child(id), t); });
    r.description = text([&](BSTR* t) { return object->get_accDescription(child(id), t); });
    VARIANT v;
    VariantInit(&v);
    if (SUCCEEDED(object->get_accRole(child(id), &v)) && v.vt == VT_I4) r.role = v.lVal;
    VariantInit(&v);
    if (SUCCEEDED(object->get_accState(child(id), &v)) && v.vt == VT_I4) r.state = v.lVal;
    return r;
}

struct Object {
    IAccessible* p = nullptr;
    explicit Object(HWND control) {
        EXPECT_EQ(AccessibleObjectFromWindow(control, OBJID_CLIENT, __uuidof(IAccessible),
                                             reinterpret_cast<void**>(&p)),
                  S_OK);
    }
    ~Object() {
        if (p) p->Release();
    }
    Read operator()(long id = CHILDID_SELF) const { return p ? read(p, id) : Read{}; }
};

class AccessibleTest : public FormTest {
  protected:
    AccessibleTest() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        kivo::useLanguage("en");
    }
    ~AccessibleTest() override {
        kivo::useLanguage("ja");
        CoUninitialize();
    }
};

}  // namespace

TEST_F(AccessibleTest, EveryControlHasTheNameRoleAndValueOfWhatItIs) {
    start({"Radio1,AM,594,80,COM1", "Radio2,FM,80.7,120,COM1"});
    TForm1& f = *form1_;
    TForm2& s = *form2_;
    choosePort(port_);
    click(f.Button2);
    selectLine(1);
    click(f.Button8);  // the strip shows the volume too

    const struct {
        HWND control;
        long role;
        std::string name, value, description;
    } table[] = {
        {f.ComboBox1, ROLE_SYSTEM_COMBOBOX, "Port", port_, ""},
        {f.Label1, ROLE_SYSTEM_STATICTEXT, "Power: ON", "ON", ""},
        {f.Button2, ROLE_SYSTEM_PUSHBUTTON, "Power", "", "The receiver is on"},
        {f.Edit1, ROLE_SYSTEM_TEXT, "Frequency (MHz)", "80.7", ""},
        {f.GroupBox1, ROLE_SYSTEM_GROUPING, "Band", "", ""},
        {f.RadioButton1, ROLE_SYSTEM_RADIOBUTTON, "AM (kHz)", "", ""},
        {f.RadioButton2, ROLE_SYSTEM_RADIOBUTTON, "FM (MHz)", "", ""},
        {f.ScrollBar1, ROLE_SYSTEM_SCROLLBAR, "Volume", "120", ""},
        {f.Edit2, ROLE_SYSTEM_TEXT, "Title (channel name)", "Radio2", ""},
        {f.ListBox1, ROLE_SYSTEM_LIST, "Channel list", "", ""},
        {f.Button1, ROLE_SYSTEM_PUSHBUTTON, "Add", "", ""},
        {f.Button4, ROLE_SYSTEM_PUSHBUTTON, "Reload", "", ""},
        {f.Button3, ROLE_SYSTEM_PUSHBUTTON, "Delete", "", ""},
        {f.Button5, ROLE_SYSTEM_PUSHBUTTON, "Save", "", ""},
        {f.Button6, ROLE_SYSTEM_PUSHBUTTON, "UP", "", ""},
        {f.Button7, ROLE_SYSTEM_PUSHBUTTON, "Down", "", ""},
        {f.Button8, ROLE_SYSTEM_PUSHBUTTON, "S mode", "", ""},
        {s.Button2, ROLE_SYSTEM_PUSHBUTTON, "Power", "", "The receiver is on"},
        {s.ComboBox1, ROLE_SYSTEM_COMBOBOX, "Channel", "Radio2", ""},
        {s.ScrollBar1, ROLE_SYSTEM_SCROLLBAR, "Volume", "120", ""},
        {s.Button1, ROLE_SYSTEM_PUSHBUTTON, "Back to the full window", "", ""},
    };
    for (const auto& c : table) {
        SCOPED_TRACE(c.name);
        const Read r = Object(c.control)();
        EXPECT_EQ(r.role, c.role);
        EXPECT_EQ(r.name, c.name);
        if (!c.value.empty()) {
            EXPECT_EQ(r.value, c.value);
        }
        EXPECT_EQ(r.description, c.description);
    }
    EXPECT_FALSE(Object(f.RadioButton1)().state & STATE_SYSTEM_CHECKED);
    EXPECT_TRUE(Object(f.RadioButton2)().state & STATE_SYSTEM_CHECKED);

    // What they say follows what the window shows: the band's unit, the power, the volume.
    click(s.Button1);
    click(f.RadioButton1);
    scrollTo(f.ScrollBar1, 7);
    click(f.Button2);
    EXPECT_EQ(Object(f.Edit1)().name, "Frequency (kHz)");
    EXPECT_EQ(Object(f.ScrollBar1)().value, "7");
    EXPECT_EQ(Object(f.Label1)().name, "Power: OFF");
    EXPECT_EQ(Object(f.Button2)().description, "The receiver is off");
    EXPECT_EQ(Object(s.Button2)().description, "The receiver is off");
}

TEST_F(AccessibleTest, TheListsLinesAreReadOneByOneTheSelectedOneMarkedAndChosenByTheirAction) {
    start({"Radio1,AM,594,80,COM1", "Radio2,FM,80.7,120,COM1", "Radio3,FM,82.5,90,COM1"});
    TForm1& f = *form1_;
    choosePort(port_);
    click(f.Button2);
    selectLine(1);
    sent();

    Object list(f.ListBox1);
    ASSERT_TRUE(list.p);
    long count = 0;
    EXPECT_EQ(list.p->get_accChildCount(&count), S_OK);
    EXPECT_EQ(count, 3);
    for (long id = 1; id <= 3; ++id) {
        SCOPED_TRACE(id);
        const Read r = list(id);
        EXPECT_EQ(r.role, ROLE_SYSTEM_LISTITEM);
        EXPECT_EQ(kivo::widen(r.name), line(static_cast<int>(id - 1)));
        EXPECT_EQ((r.state & STATE_SYSTEM_SELECTED) != 0, id == 2);
        EXPECT_TRUE(r.state & STATE_SYSTEM_SELECTABLE);
    }
    EXPECT_EQ(list(1).name, "Radio1,AM,594,80,COM1");
    VARIANT selected;
    VariantInit(&selected);
    EXPECT_EQ(list.p->get_accSelection(&selected), S_OK);
    EXPECT_EQ(selected.vt, VT_I4);
    EXPECT_EQ(selected.lVal, 2);

    // A line's action chooses it and tunes as a click on it does; on the chosen line it tunes
    // again, as a double click does.
    EXPECT_EQ(list.p->accDoDefaultAction(child(1)), S_OK);
    EXPECT_EQ(f.channels().selectedIndex(), 0);
    EXPECT_TRUE(list(1).state & STATE_SYSTEM_SELECTED);
    const std::string chosen = sent();
    EXPECT_EQ(list.p->accDoDefaultAction(child(1)), S_OK);
    const std::string again = sent();
    selectLine(1);
    sent();
    selectLine(0);
    EXPECT_EQ(chosen, sent());
    doubleClick();
    EXPECT_EQ(again, sent());
    EXPECT_NE(again, "");
    BSTR text = nullptr;
    EXPECT_EQ(list.p->get_accName(child(4), &text), E_INVALIDARG) << "no fourth line";
}

TEST_F(AccessibleTest, AReaderHoldingAControlGoneIsToldSoInsteadOfReadingAClosedWindow) {
    start({"Radio1,AM,594,80,COM1"});
    Object power(form1_->Button2), list(form1_->ListBox1);
    ASSERT_TRUE(power.p && list.p);
    EXPECT_EQ(power().name, "Power");
    form2_.reset();
    form1_.reset();
    BSTR text = nullptr;
    EXPECT_TRUE(FAILED(power.p->get_accDescription(child(CHILDID_SELF), &text)));
    EXPECT_TRUE(FAILED(list.p->get_accName(child(1), &text)));
    EXPECT_EQ(text, nullptr);
}
