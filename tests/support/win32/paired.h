// A component on the first line of the test run, with the far end at hand.
#pragma once

#include "serial/rs232c.h"
#include "tests/support/serialline.h"

struct PairedComponent {
    testenv::SerialLine far;
    Trs232c c;
    PairedComponent() {
        c.portname = far.name();
        c.rxtimeout = 1000;
        c.txtimeout = 1000;
    }
};
