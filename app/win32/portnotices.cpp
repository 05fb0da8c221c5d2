#include "app/win32/portnotices.h"

#include <dbt.h>

#include <algorithm>
#include <cwctype>
#include <utility>

#include "app/win32/controls.h"
#include "core/win32/widechar.h"

namespace {

// The COM port device interface class: adapters that come and go announce themselves
// under it to a window that asks; the system's own ports are broadcast as DBT_DEVTYP_PORT.
constexpr GUID kComPortInterface = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

// "COM3", "com3" and "\\.\COM3" name one port.
std::wstring portKey(std::wstring name) {
    if (name.starts_with(L"\\\\.\\")) name.erase(0, 4);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
    return name;
}

}  // namespace

Win32PortNotices::~Win32PortNotices() {
    stopWatching();
    cancelCall();
}

void Win32PortNotices::attach(HWND owner, UINT_PTR timerId) {
    owner_ = owner;
    timerId_ = timerId;
}

void Win32PortNotices::watchPort(const std::string& portname, std::function<void()> changed) {
    port_ = portname;
    changed_ = std::move(changed);
    if (!registration_ && owner_) {
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = kComPortInterface;
        // Without it only the broadcast for the system's own ports comes.
        registration_ = RegisterDeviceNotificationW(owner_, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    }
}

void Win32PortNotices::stopWatching() {
    changed_ = nullptr;
    if (registration_) UnregisterDeviceNotification(registration_);
    registration_ = nullptr;
}

void Win32PortNotices::callAfter(std::chrono::milliseconds delay, std::function<void()> due) {
    due_ = std::move(due);
    const auto ms = std::clamp<std::chrono::milliseconds::rep>(delay.count(), USER_TIMER_MINIMUM,
                                                               USER_TIMER_MAXIMUM);
    if (owner_ && !SetTimer(owner_, timerId_, static_cast<UINT>(ms), nullptr)) due_ = nullptr;
}

void Win32PortNotices::cancelCall() {
    due_ = nullptr;
    if (owner_) KillTimer(owner_, timerId_);
}

void Win32PortNotices::timerDue() {
    if (owner_) KillTimer(owner_, timerId_);  // one shot
    if (due_) whenNoHandlerRuns(std::exchange(due_, nullptr));
}

void Win32PortNotices::deviceChanged(WPARAM event, LPARAM data) {
    if (!changed_ || (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE)) return;
    if (concernsPort(reinterpret_cast<const void*>(data))) whenNoHandlerRuns(changed_);
}

// A port broadcast for another name is no concern; an interface notice names a device
// path, not a port, so any COM port's coming or going is worth a look.
bool Win32PortNotices::concernsPort(const void* broadcast) const {
    const auto* header = static_cast<const DEV_BROADCAST_HDR*>(broadcast);
    if (!header) return false;
    if (header->dbch_devicetype == DBT_DEVTYP_PORT)
        return portKey(static_cast<const DEV_BROADCAST_PORT_W*>(broadcast)->dbcp_name) ==
               portKey(kivo::widen(port_));
    if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE)
        return IsEqualGUID(
            static_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(broadcast)->dbcc_classguid,
            kComPortInterface);
    return false;
}
