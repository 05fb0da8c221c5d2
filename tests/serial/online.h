// A component on a serial line whose far end the test plays.
#pragma once

#include "serial/rs232c.h"
#include "tests/support/serialline.h"

struct OnLine {
    testenv::SerialLine line;
    Trs232c c;
    OnLine() {
        c.portname = line.name();
        c.rxtimeout = 1000;
        c.txtimeout = 1000;
    }
};
