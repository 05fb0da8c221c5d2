#include "serial/win32/ports/portsetup.h"

#include "serial/commapi.h"
#include "serial/win32/ports/devices.h"

namespace kivo {

using Kind = comm::OpenFailure::Kind;

std::string portVerdict(const comm::OpenFailure& why) {
    switch (why.kind) {
        case Kind::None:
            return "opens now";
        case Kind::Missing:
            return "no such port";
        case Kind::InUse:
            return "in use by another program";
        case Kind::Denied:
            return "access denied";
        case Kind::NotTerminal:
            return "not a serial port";
        default:
            return "cannot open" + (why.detail.empty() ? std::string() : ": " + why.detail);
    }
}

std::string listPorts(int& status) {
    comm::CommApi& api = comm::platformCommApi();
    std::string out = "COM ports:\n";
    const auto ports = comm::win32::presentComPorts();
    if (ports.empty()) out += "  none found\n";
    for (const auto& port : ports) {
        comm::HANDLE h =
            api.CreateFileA(port.name.c_str(), comm::GENERIC_READ | comm::GENERIC_WRITE, 0, nullptr,
                            comm::OPEN_EXISTING, comm::FILE_FLAG_OVERLAPPED, nullptr);
        comm::OpenFailure why = api.lastOpenFailure();
        if (h != INVALID_HANDLE_VALUE) {
            // A name that opens but takes no line settings is no serial port.
            comm::DCB dcb;
            if (!api.GetCommState(h, &dcb)) why.kind = Kind::NotTerminal;
            api.CloseHandle(h);
        }
        out += "  " + port.name;
        if (!port.friendlyName.empty()) out += "  " + port.friendlyName;
        out += "  " + portVerdict(why) + "\n";
    }
    status = 0;
    return out;
}

}  // namespace kivo
