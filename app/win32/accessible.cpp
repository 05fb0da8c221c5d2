#include "app/win32/accessible.h"

#include <commctrl.h>
#include <oleacc.h>

#include <memory>
#include <optional>
#include <utility>

#include "core/win32/widechar.h"

namespace {

// oleacc, and the COM it needs, are loaded when a reader first asks: a start-up without
// one does not pay for them.
struct Oleacc {
    HRESULT(WINAPI* createStd)(HWND, LONG, REFIID, void**) = nullptr;
    LRESULT(WINAPI* lresultFromObject)(REFIID, WPARAM, LPUNKNOWN) = nullptr;
    BSTR(WINAPI* allocString)(const OLECHAR*) = nullptr;
    bool ready() const { return createStd && lresultFromObject && allocString; }
};

template <class F>
void load(F& to, HMODULE module, const char* name) {
    if (module) to = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const Oleacc& oleacc() {
    static const Oleacc api = [] {
        Oleacc a;
        // The objects are marshalled to the reader: the window's thread needs an apartment.
        HMODULE ole32 = LoadLibraryW(L"ole32.dll");
        HRESULT(WINAPI * coInitializeEx)(LPVOID, DWORD) = nullptr;
        load(coInitializeEx, ole32, "CoInitializeEx");
        if (coInitializeEx) coInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        HMODULE acc = LoadLibraryW(L"oleacc.dll");
        load(a.createStd, acc, "CreateStdAccessibleObject");
        load(a.lresultFromObject, acc, "LresultFromObject");
        load(a.allocString, LoadLibraryW(L"oleaut32.dll"), "SysAllocString");
        return a;
    }();
    return api;
}

constexpr IID kIUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kIDispatch{0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kIAccessible{
    0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// What a control says, shared with the objects a reader holds: once the control is gone
// they answer that it is.
struct Description {
    HWND control = nullptr;
    AccessibleText text;
    std::function<void(int)> choose;  // a list's rows
    bool list = false;
    bool alive = true;
};

HRESULT giveText(const std::string& text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (text.empty()) return S_FALSE;
    *out = oleacc().allocString(kivo::widen(text).c_str());
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT giveText(const std::wstring& text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = oleacc().allocString(text.c_str());
    return *out ? S_OK : E_OUTOFMEMORY;
}

bool self(const VARIANT& child) {
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

class ControlAccessible final : public IAccessible {
  public:
    ControlAccessible(IAccessible* inner, std::shared_ptr<Description> d)
        : inner_(inner), d_(std::move(d)) {}

    // IUnknown. Interfaces other than these (IEnumVARIANT, IOleWindow) are the control's own.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, kIUnknown) || IsEqualIID(iid, kIDispatch) ||
            IsEqualIID(iid, kIAccessible)) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        return inner_->QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const long left = --refs_;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // IDispatch: as the control's own.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        return inner_->GetTypeInfoCount(n);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT i, LCID l, ITypeInfo** t) override {
        return inner_->GetTypeInfo(i, l, t);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT n, LCID l,
                                            DISPID* ids) override {
        return inner_->GetIDsOfNames(iid, names, n, l, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID l, WORD f, DISPPARAMS* p,
                                     VARIANT* r, EXCEPINFO* e, UINT* a) override {
        return inner_->Invoke(id, iid, l, f, p, r, e, a);
    }

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        return inner_->get_accParent(parent);
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
        if (!d_->list) return inner_->get_accChildCount(count);
        if (!count) return E_POINTER;
        if (!d_->alive) return E_FAIL;
        *count = rows();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        if (!row(child)) return inner_->get_accChild(child, out);
        if (!out) return E_POINTER;
        *out = nullptr;
        return S_FALSE;  // a row is a simple element of the list
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* out) override {
        if (const auto r = row(child)) return giveText(rowText(*r), out);
        if (!self(child) || !d_->text.name) return inner_->get_accName(child, out);
        if (!d_->alive) return E_FAIL;
        return giveText(d_->text.name(), out);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* out) override {
        if (row(child)) return DISP_E_MEMBERNOTFOUND;
        if (!self(child) || !d_->text.value) return inner_->get_accValue(child, out);
        if (!d_->alive) return E_FAIL;
        return giveText(d_->text.value(), out);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* out) override {
        if (!self(child) || !d_->text.description) return inner_->get_accDescription(child, out);
        if (!d_->alive) return E_FAIL;
        return giveText(d_->text.description(), out);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* out) override {
        long role = row(child) ? ROLE_SYSTEM_LISTITEM : self(child) ? d_->text.role : 0;
        if (!role) return inner_->get_accRole(child, out);
        if (!out) return E_POINTER;
        out->vt = VT_I4;
        out->lVal = role;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* out) override {
        if (const auto r = row(child)) {
            if (!out) return E_POINTER;
            out->vt = VT_I4;
            out->lVal = rowState(*r);
            return S_OK;
        }
        const HRESULT hr = inner_->get_accState(child, out);
        // A checked button says so, whatever the control's own object knows of buttons.
        if (SUCCEEDED(hr) && self(child) && out->vt == VT_I4 && d_->alive &&
            d_->text.role == ROLE_SYSTEM_RADIOBUTTON &&
            SendMessageW(d_->control, BM_GETCHECK, 0, 0) == BST_CHECKED)
            out->lVal |= STATE_SYSTEM_CHECKED;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* out) override {
        return inner_->get_accHelp(child, out);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
        return inner_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* out) override {
        return inner_->get_accKeyboardShortcut(child, out);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override {
        return inner_->get_accFocus(out);
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override {
        if (!d_->list) return inner_->get_accSelection(out);
        if (!out) return E_POINTER;
        if (!d_->alive) return E_FAIL;
        const LRESULT selected = SendMessageW(d_->control, LB_GETCURSEL, 0, 0);
        if (selected == LB_ERR) {
            out->vt = VT_EMPTY;
            return S_FALSE;
        }
        out->vt = VT_I4;
        out->lVal = static_cast<long>(selected) + 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* out) override {
        if (row(child)) return giveText(std::wstring(L"Double Click"), out);
        return inner_->get_accDefaultAction(child, out);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
        return inner_->accSelect(flags, child);
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* x, long* y, long* w, long* h,
                                          VARIANT child) override {
        const auto r = row(child);
        if (!r) return inner_->accLocation(x, y, w, h, child);
        if (!x || !y || !w || !h) return E_POINTER;
        RECT rect{};
        SendMessageW(d_->control, LB_GETITEMRECT, static_cast<WPARAM>(*r),
                     reinterpret_cast<LPARAM>(&rect));
        MapWindowPoints(d_->control, nullptr, reinterpret_cast<POINT*>(&rect), 2);
        *x = rect.left;
        *y = rect.top;
        *w = rect.right - rect.left;
        *h = rect.bottom - rect.top;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long dir, VARIANT start, VARIANT* out) override {
        return inner_->accNavigate(dir, start, out);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* out) override {
        return inner_->accHitTest(x, y, out);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        const auto r = row(child);
        if (!r) return inner_->accDoDefaultAction(child);
        if (!IsWindowEnabled(d_->control)) return E_FAIL;
        d_->choose(*r);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override {
        return inner_->put_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
        return inner_->put_accValue(child, value);
    }

  private:
    ~ControlAccessible() { inner_->Release(); }

    long rows() const {
        const LRESULT n = SendMessageW(d_->control, LB_GETCOUNT, 0, 0);
        return n == LB_ERR ? 0 : static_cast<long>(n);
    }
    // The list row a child id names (ids count from 1), if any.
    std::optional<int> row(const VARIANT& child) const {
        if (!d_->list || !d_->alive || child.vt != VT_I4 || child.lVal < 1 || child.lVal > rows())
            return std::nullopt;
        return static_cast<int>(child.lVal - 1);
    }
    std::wstring rowText(int r) const {
        const LRESULT n = SendMessageW(d_->control, LB_GETTEXTLEN, static_cast<WPARAM>(r), 0);
        if (n == LB_ERR) return {};
        std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
        const LRESULT got = SendMessageW(d_->control, LB_GETTEXT, static_cast<WPARAM>(r),
                                         reinterpret_cast<LPARAM>(text.data()));
        text.resize(got == LB_ERR ? 0 : static_cast<std::size_t>(got));
        return text;
    }
    long rowState(int r) const {
        long state = STATE_SYSTEM_SELECTABLE | STATE_SYSTEM_FOCUSABLE;
        HWND list = d_->control;
        if (SendMessageW(list, LB_GETCURSEL, 0, 0) == r) {
            state |= STATE_SYSTEM_SELECTED;
            if (GetFocus() == list) state |= STATE_SYSTEM_FOCUSED;
        }
        RECT item{}, shown{}, both{};
        SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(&item));
        GetClientRect(list, &shown);
        if (!IntersectRect(&both, &item, &shown))
            state |= STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN;
        if (!IsWindowEnabled(list)) state |= STATE_SYSTEM_UNAVAILABLE;
        return state;
    }

    long refs_ = 1;
    IAccessible* inner_;
    std::shared_ptr<Description> d_;
};

LRESULT CALLBACK answer(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                        DWORD_PTR data) {
    auto* held = reinterpret_cast<std::shared_ptr<Description>*>(data);
    if (msg == WM_GETOBJECT && static_cast<LONG>(lParam) == OBJID_CLIENT && oleacc().ready()) {
        IAccessible* inner = nullptr;
        if (SUCCEEDED(oleacc().createStd(hwnd, OBJID_CLIENT, kIAccessible,
                                         reinterpret_cast<void**>(&inner))) &&
            inner) {
            auto* object = new ControlAccessible(inner, *held);
            const LRESULT result = oleacc().lresultFromObject(kIAccessible, wParam, object);
            object->Release();
            return result;
        }
    } else if (msg == WM_NCDESTROY) {
        (*held)->alive = false;
        RemoveWindowSubclass(hwnd, answer, id);
        delete held;
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

void attach(HWND control, std::shared_ptr<Description> d) {
    d->control = control;
    auto* held = new std::shared_ptr<Description>(std::move(d));
    if (!SetWindowSubclass(control, answer, 1, reinterpret_cast<DWORD_PTR>(held))) delete held;
}

}  // namespace

void describeControl(HWND control, AccessibleText text) {
    auto d = std::make_shared<Description>();
    d->text = std::move(text);
    attach(control, std::move(d));
}

void describeList(HWND list, AccessibleText text, std::function<void(int row)> choose) {
    auto d = std::make_shared<Description>();
    d->text = std::move(text);
    d->choose = std::move(choose);
    d->list = true;
    attach(list, std::move(d));
}
