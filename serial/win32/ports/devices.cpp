#define WIN32_LEAN_AND_MEAN
#include "serial/win32/ports/devices.h"

#include <windows.h>
// The ports class's GUID is defined here, not taken from a library.
#include <devguid.h>
#include <initguid.h>
#include <setupapi.h>

#include <algorithm>
#include <cwctype>
#include <map>

namespace comm::win32 {

namespace {

std::string utf8(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(std::max(n, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n,
                        nullptr, nullptr);
    return text;
}

// The number of "COM" + digits (any case), 0 for another name.
unsigned comNumber(const std::wstring& name) {
    if (name.size() < 4 || _wcsnicmp(name.c_str(), L"COM", 3) != 0) return 0;
    unsigned n = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (!std::iswdigit(name[i]) || n > 100000) return 0;
        n = n * 10 + static_cast<unsigned>(name[i] - L'0');
    }
    return n;
}

void addDeviceNames(std::map<unsigned, ComPort>& ports) {
    std::wstring names(65536, L'\0');
    const DWORD n = QueryDosDeviceW(nullptr, names.data(), static_cast<DWORD>(names.size()));
    for (std::size_t at = 0; at < n && names[at];) {
        const std::wstring name(names.c_str() + at);
        if (unsigned number = comNumber(name)) ports[number].name = "COM" + std::to_string(number);
        at += name.size() + 1;
    }
}

void addSerialMap(std::map<unsigned, ComPort>& ports) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return;
    for (DWORD i = 0;; ++i) {
        wchar_t value[256], data[64];
        DWORD valueSize = 256, dataSize = sizeof data, type = 0;
        if (RegEnumValueW(key, i, value, &valueSize, nullptr, &type, reinterpret_cast<BYTE*>(data),
                          &dataSize) != ERROR_SUCCESS)
            break;
        if (type != REG_SZ) continue;
        data[std::min<std::size_t>(dataSize / sizeof(wchar_t), 63)] = L'\0';
        if (unsigned number = comNumber(data)) ports[number].name = "COM" + std::to_string(number);
    }
    RegCloseKey(key);
}

// The device list's calls, from a library loaded only for the list: a start of the
// program does not load it.
struct SetupApi {
    HMODULE library = LoadLibraryW(L"setupapi.dll");
    template <class F>
    F get(const char* name) const {
        return library ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)))
                       : nullptr;
    }
    decltype(&SetupDiGetClassDevsW) getClassDevs =
        get<decltype(&SetupDiGetClassDevsW)>("SetupDiGetClassDevsW");
    decltype(&SetupDiEnumDeviceInfo) enumDeviceInfo =
        get<decltype(&SetupDiEnumDeviceInfo)>("SetupDiEnumDeviceInfo");
    decltype(&SetupDiOpenDevRegKey) openDevRegKey =
        get<decltype(&SetupDiOpenDevRegKey)>("SetupDiOpenDevRegKey");
    decltype(&SetupDiGetDeviceRegistryPropertyW) getProperty =
        get<decltype(&SetupDiGetDeviceRegistryPropertyW)>("SetupDiGetDeviceRegistryPropertyW");
    decltype(&SetupDiDestroyDeviceInfoList) destroyList =
        get<decltype(&SetupDiDestroyDeviceInfoList)>("SetupDiDestroyDeviceInfoList");
    ~SetupApi() {
        if (library) FreeLibrary(library);
    }
    bool ok() const {
        return getClassDevs && enumDeviceInfo && openDevRegKey && getProperty && destroyList;
    }
};

void addDeviceList(std::map<unsigned, ComPort>& ports) {
    const SetupApi api;
    if (!api.ok()) return;
    HDEVINFO devices = api.getClassDevs(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; api.enumDeviceInfo(devices, i, &device); ++i) {
        HKEY key = api.openDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) continue;
        wchar_t port[64] = {};
        DWORD size = sizeof port - sizeof(wchar_t), type = 0;
        const bool named =
            RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(port),
                             &size) == ERROR_SUCCESS &&
            type == REG_SZ;
        RegCloseKey(key);
        const unsigned number = named ? comNumber(port) : 0;
        if (!number) continue;
        wchar_t friendly[256] = {};
        api.getProperty(devices, &device, SPDRP_FRIENDLYNAME, nullptr,
                        reinterpret_cast<BYTE*>(friendly), sizeof friendly - sizeof(wchar_t),
                        nullptr);
        ComPort& entry = ports[number];
        entry.name = "COM" + std::to_string(number);
        entry.friendlyName = utf8(friendly);
    }
    api.destroyList(devices);
}

}  // namespace

std::vector<ComPort> presentComPorts() {
    std::map<unsigned, ComPort> ports;
    addDeviceNames(ports);
    addSerialMap(ports);
    addDeviceList(ports);
    std::vector<ComPort> list;
    for (auto& [number, port] : ports) list.push_back(std::move(port));
    return list;
}

}  // namespace comm::win32
