// How command lines change the simulated receiver, and how it reports its state.
#include "sim/receiver_state.h"

#include <gtest/gtest.h>

using sim::applyCommand;
using sim::Band;
using sim::ReceiverState;

TEST(ReceiverState, CommandSetChangesState) {
    ReceiverState s;
    EXPECT_EQ(sim::summary(s), "OFF  --  vol --");

    EXPECT_TRUE(applyCommand(s, "G300").understood);
    EXPECT_TRUE(s.opened);
    EXPECT_TRUE(applyCommand(s, "H101").understood);
    EXPECT_TRUE(s.power);
    EXPECT_TRUE(applyCommand(s, "J4000").understood);
    EXPECT_EQ(s.volume, 0);
    EXPECT_TRUE(applyCommand(s, "J4101").understood);
    EXPECT_EQ(s.periodicCount, 1u);
    EXPECT_EQ(s.volume, 0) << "the periodic command is not a volume";

    auto r = applyCommand(s, "K00080700000060400");
    EXPECT_TRUE(r.understood);
    EXPECT_EQ(r.meaning, "tune FM 80.700 MHz");
    EXPECT_EQ(s.band, Band::FM);
    EXPECT_EQ(s.frequencyKhz, 80700);
    EXPECT_TRUE(applyCommand(s, "J40FF").understood);
    EXPECT_EQ(s.volume, 255);
    EXPECT_TRUE(applyCommand(s, "J4078").understood);
    EXPECT_EQ(sim::summary(s), "ON  FM  80.700 MHz  vol 120");

    // Eight digits and a negative value are still tune commands.
    EXPECT_TRUE(applyCommand(s, "K012345678000020100").understood);
    EXPECT_EQ(s.band, Band::AM);
    EXPECT_EQ(s.frequencyKhz, 12345678);
    EXPECT_TRUE(applyCommand(s, "K0-0000005000060400").understood);
    EXPECT_EQ(s.frequencyKhz, -5);
    EXPECT_EQ(sim::summary(s), "ON  FM  -0.005 MHz  vol 120");
    EXPECT_TRUE(applyCommand(s, "K00000954000020100").understood);
    EXPECT_EQ(sim::summary(s), "ON  AM  954 kHz  vol 120");

    EXPECT_TRUE(applyCommand(s, "H100").understood);
    EXPECT_FALSE(s.power);
    EXPECT_FALSE(s.opened);
    EXPECT_EQ(sim::summary(s), "OFF  AM  954 kHz  vol 120") << "the receiver keeps its tuning";
}

TEST(ReceiverState, MalformedCommandsAreRefusedAndChangeNothing) {
    ReceiverState s;
    applyCommand(s, "H101");
    applyCommand(s, "J4050");
    applyCommand(s, "K00000954000020100");
    const ReceiverState before = s;
    for (const char* line : {
             "",                                 // empty
             "XYZ",                              // unknown
             "h101",                             // commands are case-sensitive
             "H101 ",                            // trailing blank
             "J40ff",                            // lower-case hex
             "J400",                             // one digit
             "J40123",                           // three digits
             "J40G0",                            // not hex
             "K00000954000020101",               // unknown band suffix
             "K0954000020100",                   // fewer than seven digits
             "K0000095a000020100",               // not a number
             "K0000020100",                      // suffix only
             "K099999999999999999999000020100",  // does not fit
         }) {
        auto r = applyCommand(s, line);
        EXPECT_FALSE(r.understood) << line;
        EXPECT_EQ(r.meaning.rfind("not understood", 0), 0u) << line;
        EXPECT_EQ(s, before) << line;
    }
}
