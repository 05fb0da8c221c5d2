// A receiver's adapter pulled out and plugged in again, as far as Wine shows it: COM3's far
// end is the test's TCP connection, so dropping it hangs the port up, and a new port comes
// under the same name at once. Wine sends no device-change notice for such a port: the
// test sends the window the one Windows broadcasts.
#include "tests/app/win32/formtest.h"
// After the system headers.
#include <commctrl.h>
#include <dbt.h>

#include <chrono>
#include <thread>
#include <vector>

#include "app/win32/portnotices.h"
#include "core/win32/widechar.h"
#include "tests/support/win32/unpluggable.h"

using namespace std::chrono_literals;

namespace {

const std::string kLost = "受信機との回線が切れました。再接続を待っています";

// The system's notice that `port` came or went, as broadcast to top-level windows.
void portNotice(HWND window, WPARAM event, const std::string& port) {
    const std::wstring name = kivo::widen(port);
    std::vector<unsigned char> data(sizeof(DEV_BROADCAST_PORT_W) + name.size() * sizeof(wchar_t));
    auto* broadcast = reinterpret_cast<DEV_BROADCAST_PORT_W*>(data.data());
    broadcast->dbcp_size = static_cast<DWORD>(data.size());
    broadcast->dbcp_devicetype = DBT_DEVTYP_PORT;
    std::copy(name.begin(), name.end(), broadcast->dbcp_name);
    broadcast->dbcp_name[name.size()] = L'\0';
    SendMessageW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(broadcast));
}

// The tooltip `owner`'s notice shows over `control`; empty when there is none.
std::string tipText(HWND owner, HWND control) {
    struct Search {
        HWND owner, control;
        std::wstring text;
    } search{owner, control, {}};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM arg) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(arg);
            wchar_t kind[64];
            GetClassNameW(window, kind, 64);
            if (lstrcmpiW(kind, TOOLTIPS_CLASSW) != 0 || GetWindow(window, GW_OWNER) != s.owner)
                return TRUE;
            wchar_t text[512] = L"";
            TTTOOLINFOW tool{};
            tool.cbSize = sizeof tool;
            tool.hwnd = s.owner;
            tool.uId = reinterpret_cast<UINT_PTR>(s.control);
            tool.lpszText = text;
            SendMessageW(window, TTM_GETTEXTW, 512, reinterpret_cast<LPARAM>(&tool));
            s.text = text;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return kivo::narrow(search.text);
}

}  // namespace

// Which of the system's notices make the watch look again: its own port's coming and
// going, under any spelling of the name, and a COM port interface's; nothing else, and
// nothing once the watch has stopped.
TEST(Win32PortNotices, LooksAgainOnlyForItsPortsComingAndGoing) {
    constexpr GUID comPort = {
        0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
    constexpr GUID volume = {
        0x53F5630D, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
    struct Case {
        const char* what;
        WPARAM event;
        const wchar_t* port;  // null: an interface notice
        const GUID* kind;
        bool looks;
    };
    const Case cases[] = {
        {"arrival", DBT_DEVICEARRIVAL, L"COM3", nullptr, true},
        {"removal", DBT_DEVICEREMOVECOMPLETE, L"COM3", nullptr, true},
        {"lower case", DBT_DEVICEARRIVAL, L"com3", nullptr, true},
        {"device path", DBT_DEVICEARRIVAL, L"\\\\.\\COM3", nullptr, true},
        {"another port", DBT_DEVICEARRIVAL, L"COM13", nullptr, false},
        {"a query, not a change", DBT_DEVICEQUERYREMOVE, L"COM3", nullptr, false},
        {"a COM port interface", DBT_DEVICEARRIVAL, nullptr, &comPort, true},
        {"another interface", DBT_DEVICEARRIVAL, nullptr, &volume, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Win32PortNotices notices;
        int looks = 0;
        notices.watchPort("COM3", [&] { ++looks; });
        std::vector<unsigned char> data(512);
        if (c.port) {
            auto* b = reinterpret_cast<DEV_BROADCAST_PORT_W*>(data.data());
            b->dbcp_size = static_cast<DWORD>(data.size());
            b->dbcp_devicetype = DBT_DEVTYP_PORT;
            lstrcpyW(b->dbcp_name, c.port);
        } else {
            auto* b = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(data.data());
            b->dbcc_size = static_cast<DWORD>(data.size());
            b->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
            b->dbcc_classguid = *c.kind;
        }
        const LPARAM notice = reinterpret_cast<LPARAM>(data.data());
        notices.deviceChanged(c.event, notice);
        EXPECT_EQ(looks, c.looks ? 1 : 0);
        notices.stopWatching();
        notices.deviceChanged(c.event, notice);
        EXPECT_EQ(looks, c.looks ? 1 : 0);
    }
}

// The port's removal notice makes the window find the line gone: the chooser and the
// strip say so, "ON" stays, no box, the tick waits, and what the user changes meanwhile
// goes nowhere. Plugged in again, the receiver gets the switch-on sequence, the tune and
// the volume the window shows, and the notice goes.
TEST_F(FormTest, AnUnpluggedPortShowsWithoutABoxAndTheReceiverComesBackAsTheWindowShows) {
    testenv::UnpluggableFarEnd adapter;
    ASSERT_TRUE(adapter.plugIn());
    start();
    TForm1& f = *form1_;
    choosePort(adapter.portName());
    click(f.RadioButton1);
    type(f.Edit1, "954");
    click(f.Button2);
    ASSERT_EQ(text(f.Label1), "ON");
    EXPECT_EQ(adapter.drain().rfind("G300\r\nH101\r\nJ4000\r\nJ4101\r\n", 0), 0u);
    const std::string stripTip = tipText(form2_->handle(), form2_->Button2);

    adapter.unplug();
    // No message is let through from here until the port is back: the window's own try
    // after the loss would find the new port Wine puts under the name at once.
    for (int i = 0; i < 100 && !f.control().lineLost(); ++i) {
        portNotice(f.handle(), DBT_DEVICEREMOVECOMPLETE, adapter.portName());
        if (!f.control().lineLost()) std::this_thread::sleep_for(50ms);
    }
    ASSERT_TRUE(f.control().lineLost());
    EXPECT_EQ(text(f.Label1), "ON");
    EXPECT_EQ(f.powerNotice(), kLost);
    EXPECT_EQ(tipText(f.handle(), f.ComboBox1), kLost);
    EXPECT_EQ(tipText(form2_->handle(), form2_->Button2), kLost);
    EXPECT_FALSE(f.timerEnabled());
    EXPECT_FALSE(f.rs232c1.isOpen());
    scrollTo(f.ScrollBar1, 100);
    EXPECT_EQ(text(f.Label2), "100");

    ASSERT_TRUE(adapter.plugIn());
    portNotice(f.handle(), DBT_DEVICEARRIVAL, adapter.portName());
    ASSERT_TRUE(runMessagesUntil([&] { return !f.control().lineLost(); }, 3s));
    EXPECT_EQ(adapter.drain(), "G300\r\nH101\r\nJ4000\r\nJ4101\r\nK00000954000020100\r\nJ4064\r\n");
    EXPECT_EQ(f.powerNotice(), "");
    EXPECT_EQ(tipText(f.handle(), f.ComboBox1), "");
    EXPECT_EQ(tipText(form2_->handle(), form2_->Button2), stripTip);
    EXPECT_TRUE(f.timerEnabled());
    EXPECT_TRUE(boxes_.empty());

    click(f.Button2);
    EXPECT_EQ(adapter.drain(), "H100\r\n");
}
