// A component on the first port pair of the test run, with the far end at hand.
#pragma once

#include "serial/rs232c.h"
#include "tests/support/win32/winport.h"

struct PairedComponent {
    winport::PortPair names = winport::portPair(0);
    winport::FarEnd far{names.farName};
    Trs232c c;
    PairedComponent() {
        c.portname = names.nearName;
        c.rxtimeout = 1000;
        c.txtimeout = 1000;
    }
};
