// The parser of the terminal's in-band error marks, fed whole and split at every point.
#include <gtest/gtest.h>

#include <string>

#include "serial/posix/posix_input.h"

using comm::posix::MarkedInput;

namespace {

struct Parsed {
    std::string data;
    std::string errored;  // the bytes delivered as received in error
    bool breaks = false;
    bool errors = false;
};

Parsed parse(const std::string& raw, std::size_t split) {
    MarkedInput in;
    Parsed out;
    auto deliver = [&](std::uint8_t c, bool bad) {
        out.data.push_back(static_cast<char>(c));
        if (bad) out.errored.push_back(static_cast<char>(c));
    };
    const auto* p = reinterpret_cast<const std::uint8_t*>(raw.data());
    for (auto seen :
         {in.feed(p, split, deliver), in.feed(p + split, raw.size() - split, deliver)}) {
        out.breaks |= seen.breaks;
        out.errors |= seen.errors;
    }
    return out;
}

}  // namespace

TEST(MarkedInput, MarksAreTakenOutWhereverAReadEnds) {
    // "a", a real 0xFF, a break, "b" received in error, "c".
    const std::string raw(
        "a\xff\xff\xff\x00\x00\xff\x00"
        "bc",
        10);
    for (std::size_t split = 0; split <= raw.size(); ++split) {
        Parsed p = parse(raw, split);
        EXPECT_EQ(p.data, std::string("a\xff"
                                      "bc"))
            << split;
        EXPECT_EQ(p.errored, "b") << split;
        EXPECT_TRUE(p.breaks) << split;
        EXPECT_TRUE(p.errors) << split;
    }
    // Plain input, NULs included, passes unchanged and reports nothing.
    const std::string plain("x\0y\x01", 4);
    Parsed p = parse(plain, 2);
    EXPECT_EQ(p.data, plain);
    EXPECT_FALSE(p.breaks || p.errors);
    // An erroneous 0x00 byte is indistinguishable from a break: the terminal says break.
    EXPECT_TRUE(parse(std::string("\xff\x00\x00", 3), 1).breaks);
}
