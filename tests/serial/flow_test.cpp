#include <gtest/gtest.h>

#include "serial/rs232c.h"

// flow is a view of bits 0..14 of flowflag, both ways.
TEST(Flow, ViewOfTheFlagWord) {
    Trs232c c;
    EXPECT_EQ(c.flowflag, 1);
    EXPECT_EQ(c.flow(), rsflowset{dfBinary});

    c.setflow({dfOutX, dfInX});
    EXPECT_EQ(c.flowflag, 768);

    c.flowflag = 98305;  // bits 0, 15 and 16: the spare bits are not shown
    EXPECT_EQ(c.flow(), rsflowset{dfBinary});

    c.flowflag = -1;
    c.setflow(c.flow());  // spare bits cleared by the setter
    EXPECT_EQ(c.flowflag, 0x7FFF);
    EXPECT_TRUE(c.flow().contains(dfAbortOnError));

    c.setflow({});
    EXPECT_EQ(c.flowflag, 0);
}
