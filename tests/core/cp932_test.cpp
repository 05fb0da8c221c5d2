#include "core/cp932.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace kivo;

TEST(Cp932, RoundTripsJapaneseText) {
    const std::string utf8 = "ＮＨＫ第１ラジオ・髙橋①～";
    auto bytes = utf8ToCp932(utf8);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->substr(0, 2), "\x82\x6d");  // Ｎ
    EXPECT_EQ(cp932ToUtf8(*bytes), utf8);
    EXPECT_EQ(cp932ToUtf8("\xb1\xb2"), "ｱｲ");  // half-width katakana
    EXPECT_EQ(cp932ToUtf8("abc,123"), "abc,123");
}

TEST(Cp932, YenSignAndWaveDashAreStored) {
    EXPECT_EQ(utf8ToCp932("¥"), "\x5c");
    EXPECT_EQ(utf8ToCp932("〜"), "\x81\x60");
    EXPECT_EQ(utf8ToCp932("1¥2〜3"),
              "1\x5c"
              "2\x81\x60"
              "3");
}

TEST(Cp932, UnstorableTextIsRefusedWhole) {
    EXPECT_FALSE(utf8ToCp932("ラジオ€"));
    EXPECT_FALSE(utf8ToCp932("café"));
    EXPECT_FALSE(utf8ToCp932("\xff\xfe"));    // not UTF-8
    EXPECT_FALSE(utf8ToCp932("ok\xe3\x83"));  // cut-off sequence
    EXPECT_EQ(utf8ToCp932(""), "");
}

TEST(Cp932, BadBytesBecomeReplacementCharacters) {
    // 0x80, 0xA0 and 0xFD are no characters; a lead byte whose trail is missing or
    // invalid is one bad byte, and what follows still decodes.
    EXPECT_EQ(cp932ToUtf8("a\x80"
                          "b"),
              "a\uFFFD"
              "b");
    EXPECT_EQ(cp932ToUtf8("\xa0\xfd"), "\uFFFD\uFFFD");
    EXPECT_EQ(cp932ToUtf8("x\x82"), "x\uFFFD");
    EXPECT_EQ(cp932ToUtf8("\x82 ,\x82\x6d"), "\uFFFD ,Ｎ");
}

// The converters are kept between calls: a failed conversion must leave nothing for the
// next one, and threads must not share one.
TEST(Cp932, KeptConvertersStartEveryConversionAfresh) {
    EXPECT_FALSE(utf8ToCp932("\xe3\x83"));  // stops inside a character
    EXPECT_EQ(utf8ToCp932("\xe3\x83\xa9"), "\x83\x89");
    EXPECT_EQ(cp932ToUtf8("\x83"), "\uFFFD");  // a lead byte with nothing after it
    EXPECT_EQ(cp932ToUtf8("\x83\x89"), "ラ");

    const std::string text = "ＮＨＫ第１ラジオ";
    const std::string bytes = utf8ToCp932(text).value();
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i)
                if (cp932ToUtf8(bytes) != text || utf8ToCp932(text) != bytes) ++wrong;
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(wrong, 0);
}
