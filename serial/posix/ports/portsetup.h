// The port set-up commands: --list-ports, --map-port and --unmap-port. They act on the
// ports folder and look at the devices without opening any, before any window exists
// and without touching a running copy. No toolkit here.
#pragma once

#include <ostream>
#include <string>

#include "serial/posix/ports/devices.h"

namespace kivo {

struct PortSetup {
    comm::posix::DeviceRoots roots;  // where /dev and /sys are
    std::string program = "kivo";    // as the printed commands name it
};

// COM1..COM9, what each leads to and whether it would open now (and if not, why), then
// every serial device present, with the command that maps one no COM name leads to.
// Returns the exit status.
int listPorts(const PortSetup& setup, std::ostream& out);

// COMn in the ports folder := a link to DEVICE, by its stable by-id name when it has one.
// Refuses (status 1) a name that is not COM + digits and a DEVICE that is not a serial
// terminal; says what a replaced link led to.
int mapPort(const PortSetup& setup, const std::string& com, const std::string& device,
            std::ostream& out, std::ostream& err);

// Removes the COMn link (status 1 when there is none, or when it is not a link).
int unmapPort(const PortSetup& setup, const std::string& com, std::ostream& out, std::ostream& err);

}  // namespace kivo
