#include "core/receiver.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

#include "tests/support/testenv.h"

using namespace kivo;

TEST(FrequencyParse, AcceptsThePlainForms) {
    EXPECT_EQ(parseFrequency("954"), 954.0L);
    EXPECT_EQ(parseFrequency(" 80.5"), 80.5L);
    EXPECT_EQ(parseFrequency("+1."), 1.0L);
    EXPECT_EQ(parseFrequency(".5"), 0.5L);
    EXPECT_EQ(parseFrequency("-2.5e1"), -25.0L);
    EXPECT_EQ(parseFrequency("1E+2"), 100.0L);
    // An empty mantissa is zero, with or without an exponent.
    EXPECT_EQ(parseFrequency("."), 0.0L);
    EXPECT_EQ(parseFrequency("E5"), 0.0L);
    EXPECT_EQ(parseFrequency(".E5"), 0.0L);
    EXPECT_EQ(parseFrequency("e-3"), 0.0L);
}

TEST(FrequencyParse, RejectsEverythingElse) {
    for (const char* bad : {"", " ", "+", "-", "abc", "80,7", "80.7 ", "\t80", "1e", "1e+", "0x10",
                            "inf", "nan", "1..2", "--1", "1 2", "８０"})
        EXPECT_FALSE(parseFrequency(bad)) << '"' << bad << '"';
}

TEST(FrequencyParse, IgnoresTheLocale) {
    // The toolkit adopts the user's locale; one with a decimal comma must change nothing.
    testenv::DecimalCommaLocale comma;
    if (!comma.available()) GTEST_SKIP() << "cannot build a de_DE locale here";
    ASSERT_TRUE(comma.active());
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    EXPECT_EQ(parseFrequency("80.7"), 80.7L);
    EXPECT_EQ(tuneCommand("80.7", false), "K00080700000060400");
    EXPECT_EQ(tuneCommand("954.5", true), "K00000955000020100");
    EXPECT_FALSE(parseFrequency("80,7"));
}

TEST(FrequencyFormat, RoundsHalvesAwayAndPadsToSeven) {
    EXPECT_EQ(formatFrequency(0.4L), "0000000");
    EXPECT_EQ(formatFrequency(0.5L), "0000001");
    EXPECT_EQ(formatFrequency(2.5L), "0000003");
    EXPECT_EQ(formatFrequency(-5.0L), "-0000005");
    EXPECT_EQ(formatFrequency(-2.5L), "-0000003");
    EXPECT_EQ(formatFrequency(-0.4L), "0000000");
    EXPECT_EQ(formatFrequency(9999999.5L), "10000000");
    EXPECT_EQ(formatFrequency(12345678.0L), "12345678");
}

TEST(TuneCommand, BuildsBothBands) {
    EXPECT_EQ(tuneCommand("954", true), "K00000954000020100");
    EXPECT_EQ(tuneCommand("954.5", true), "K00000955000020100");
    EXPECT_EQ(tuneCommand("12345678", true), "K012345678000020100");
    EXPECT_EQ(tuneCommand("80.7", false), "K00080700000060400");
    EXPECT_EQ(tuneCommand("100", false), "K00100000000060400");
    EXPECT_EQ(tuneCommand(".", true), "K00000000000020100");
    // Products that binary fractions miss by a hair still round on their decimal digits.
    EXPECT_EQ(tuneCommand("0.0005", false), "K00000001000060400");
    EXPECT_EQ(tuneCommand("76.0005", false), "K00076001000060400");
    EXPECT_EQ(tuneCommand("80.7 ", false), std::nullopt);
    EXPECT_EQ(tuneCommand("1e99999", false), std::nullopt);
}

// Beyond the floating-point range the value's size decides, not the exponent's sign:
// what is too small tunes 0 kHz, what is too large sends nothing.
TEST(TuneCommand, TellsUnderflowFromOverflowByTheValue) {
    const std::string zeros(4931, '0');
    const std::string k0 = "K00000000000020100";
    struct Case {
        std::string text;
        std::optional<std::string> command;
    } cases[] = {
        {"." + zeros + "1", k0},                   // 1e-4932 kHz
        {"0." + zeros + zeros + "5e4000", k0},     // tiny, though the exponent is positive
        {"-1e-99999999999999999999", k0},          // far below, saturating exponent
        {"1" + zeros + "00000e-3", std::nullopt},  // huge, though the exponent is negative
        {"1e4933", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tuneCommand(c.text, true), c.command)
            << c.text.substr(0, 12) << "... (" << c.text.size() << " bytes)";
}

TEST(VolumeCommand, TwoUpperCaseHexDigits) {
    EXPECT_EQ(volumeCommand(0), "J4000");
    EXPECT_EQ(volumeCommand(10), "J400A");
    EXPECT_EQ(volumeCommand(120), "J4078");
    EXPECT_EQ(volumeCommand(255), "J40FF");
}
