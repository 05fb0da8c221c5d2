#include "core/channels.h"

#include <gtest/gtest.h>

#include "core/errors.h"

using namespace kivo;
using Items = std::vector<std::string>;

TEST(Split, BlanksAndCommasSeparate) {
    EXPECT_EQ(Split("Radio1,AM,594,80,COM1"), (Items{"Radio1", "AM", "594", "80", "COM1"}));
    EXPECT_EQ(Split("My Radio,AM"), (Items{"My", "Radio", "AM"}));
    EXPECT_EQ(Split("a , b"), (Items{"a", "b"}));
    EXPECT_EQ(Split("a\tb\x01"
                    "c"),
              (Items{"a", "b", "c"}));
    EXPECT_EQ(Split("a,,b"), (Items{"a", "", "b"}));
    EXPECT_EQ(Split(",a"), (Items{"", "a"}));
    EXPECT_EQ(Split("a,"), (Items{"a", ""}));
    EXPECT_EQ(Split("a,  "), (Items{"a"}));
    EXPECT_EQ(Split(""), Items{});
    EXPECT_EQ(Split("   "), Items{});
}

TEST(Split, QuotesGroupAndDoubledQuotesStandForOne) {
    EXPECT_EQ(Split("\"My Radio, 2\",AM"), (Items{"My Radio, 2", "AM"}));
    EXPECT_EQ(Split("\"say \"\"hi\"\"\",FM"), (Items{"say \"hi\"", "FM"}));
    EXPECT_EQ(Split("\"\",x"), (Items{"", "x"}));
    EXPECT_EQ(Split("\"ab\"cd"), (Items{"ab", "cd"}));
    // An unclosed quote takes the rest less its last byte and ends the split.
    EXPECT_EQ(Split("\"abc"), (Items{"ab"}));
    EXPECT_EQ(Split("x,\"abc,d"), (Items{"x", "abc,"}));
    EXPECT_EQ(Split("\""), (Items{""}));
}

TEST(Split, JapaneseNamesSplitLikeAscii) {
    // "ラジオ" and "日本" in CP932: no byte of them is a blank, comma or quote.
    std::string name = "\x83\x89\x83\x57\x83\x49\x93\xfa\x96\x7b";
    EXPECT_EQ(Split(name + ",AM,954,80,COM1"), (Items{name, "AM", "954", "80", "COM1"}));
}

TEST(Split, ReadingAMissingFieldRaisesTheListIndexError) {
    Items fields = Split("Name,AM");
    EXPECT_EQ(fieldAt(fields, 1), "AM");
    try {
        fieldAt(fields, 2);
        FAIL() << "no error";
    } catch (const ListIndexError& e) {
        EXPECT_EQ(e.index(), 2);
        EXPECT_STREQ(e.what(), "リストのインデックスが範囲を超えています (2)");
        EXPECT_EQ(errorDialogText(e.what()), e.what());  // ends in ")": no "."
    }
}

TEST(ParseInteger, DecimalAndHexForms) {
    EXPECT_EQ(parseInteger("80"), 80);
    EXPECT_EQ(parseInteger("  -80"), -80);
    EXPECT_EQ(parseInteger("+7"), 7);
    EXPECT_EQ(parseInteger("$50"), 80);
    EXPECT_EQ(parseInteger("x50"), 80);
    EXPECT_EQ(parseInteger("X5a"), 90);
    EXPECT_EQ(parseInteger("0x50"), 80);
    EXPECT_EQ(parseInteger("0XfF"), 255);
    EXPECT_EQ(parseInteger("2147483647"), 2147483647);
    EXPECT_EQ(parseInteger("-2147483648"), INT32_MIN);
    EXPECT_EQ(parseInteger("$FFFFFFFF"), -1);
    EXPECT_EQ(parseInteger("$80000000"), INT32_MIN);
    EXPECT_EQ(parseInteger("$000000010"), 16);
}

TEST(ParseInteger, RejectsTheRest) {
    for (const char* bad :
         {"", " ", "x", "$", "0x", "8 0", "80 ", "1.5", "\t80", "+", "-", "2147483648",
          "-2147483649", "$100000000", "-$10", "+0x10", "12a", "0x1g", "99999999999999999999"})
        EXPECT_FALSE(parseInteger(bad)) << '"' << bad << '"';
}

TEST(ChannelLine, BuiltAsAddWritesIt) {
    EXPECT_EQ(buildChannelLine(" My Radio, 2 ", true, "954", 80, "COM1"),
              "My_Radio__2,AM,954,80,COM1");
    EXPECT_EQ(buildChannelLine("   ", false, "80.7", 0, ""), ",FM,80.7,0,");
    // A tab inside the name stays and will split the line when read back.
    EXPECT_EQ(buildChannelLine("a\tb", false, "1", 255, "COM2"), "a\tb,FM,1,255,COM2");
    EXPECT_EQ(lineName("Radio1,AM,594"), "Radio1");
    EXPECT_EQ(lineName("no comma"), "");
    EXPECT_EQ(lineName(",AM"), "");
}

class ChannelListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        list.setLines({"a,AM,1,1,COM1", "b,AM,2,2,COM1", "c,FM,3,3,COM2"});
        list.changed = [this](const ChannelList::Change&) { ++changes; };
    }
    Items lines() const { return list.lines(); }
    ChannelList list;
    int changes = 0;
};

TEST_F(ChannelListTest, MovesKeepTheSelectionWithTheLine) {
    list.moveUp();  // nothing selected
    list.setSelectedIndex(0);
    list.moveUp();
    EXPECT_EQ(list.selectedIndex(), 0);
    list.moveDown();
    EXPECT_EQ(lines()[1], "a,AM,1,1,COM1");
    EXPECT_EQ(list.selectedIndex(), 1);
    list.moveDown();
    list.moveDown();  // already last
    EXPECT_EQ(list.selectedIndex(), 2);
    EXPECT_EQ(lines(), (Items{"b,AM,2,2,COM1", "c,FM,3,3,COM2", "a,AM,1,1,COM1"}));
    list.moveUp();
    EXPECT_EQ(list.selectedIndex(), 1);
    EXPECT_EQ(lines()[1], "a,AM,1,1,COM1");
    EXPECT_GT(changes, 0);
}

TEST_F(ChannelListTest, DeleteClearsTheSelection) {
    list.deleteSelected();
    EXPECT_EQ(list.count(), 3);
    list.setSelectedIndex(1);
    list.deleteSelected();
    EXPECT_EQ(lines(), (Items{"a,AM,1,1,COM1", "c,FM,3,3,COM2"}));
    EXPECT_EQ(list.selectedIndex(), -1);
    list.setSelectedIndex(5);  // out of range: nothing to delete
    list.deleteSelected();
    EXPECT_EQ(list.count(), 2);
    EXPECT_THROW(list.line(2), ListIndexError);
}

TEST(ChannelListFind, ByNameAndForTheCommandLine) {
    ChannelList list;
    list.setLines({"Radio10,AM,594,80,COM1", "Radio1,AM,954,60,COM12", "Radio1,FM,1,1,COM2",
                   "NoPort,AM,1,1,", "Short,AM,1,1,COM", "Mid,AM,1,1,COM3,extra"});
    EXPECT_EQ(list.findByName("Radio1"), 1);
    EXPECT_EQ(list.findByName("radio1"), -1);
    EXPECT_EQ(list.findByName("Radio"), -1);

    auto found = list.findStartupChannel(" \tRadio1 ");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->index, 1);
    EXPECT_EQ(found->port, "COM12");  // the whole name, not four characters
    EXPECT_EQ(list.findStartupChannel("NoPort")->port, "");
    EXPECT_EQ(list.findStartupChannel("Short")->port, "COM");
    EXPECT_EQ(list.findStartupChannel("Mid")->port, "COM3");
    EXPECT_FALSE(list.findStartupChannel("Missing"));
    ChannelNames names = list.names();
    Items listed;
    for (int i = 0; i < names.count(); ++i) listed.emplace_back(names[i]);
    EXPECT_EQ(listed, (Items{"Radio10", "Radio1", "Radio1", "NoPort", "Short", "Mid"}));
}

TEST(Errors, DialogTextAndMessages) {
    FileOpenError open("/x/KIVO.ini");
    EXPECT_EQ(errorDialogText(open.what()), "ファイル /x/KIVO.ini は開けません.");
    FileCreateError create("/x/KIVO.ini");
    EXPECT_EQ(errorDialogText(create.what()), "ファイル /x/KIVO.ini を作成できません.");
    EXPECT_EQ(errorDialogText("abc"), "abc.");
    EXPECT_EQ(errorDialogText("abc."), "abc.");
    EXPECT_EQ(errorDialogText("abc-"), "abc-");
    EXPECT_EQ(errorDialogText(""), "");
}

// The window's list follows the lines through the change notices alone, so a mirror
// kept only from them must match the list after every change, and each notice must
// come while the list is still as it was.
TEST(ChannelListChanges, AMirrorKeptFromTheNoticesFollowsEveryChange) {
    ChannelList list;
    Items mirror;
    int mirrorSelected = -1;
    bool told = false;
    list.changing = [&](const ChannelList::Change&) {
        EXPECT_EQ(list.count(), static_cast<int>(mirror.size())) << "told after the change";
        told = true;
    };
    list.changed = [&](const ChannelList::Change& c) {
        ASSERT_TRUE(told);
        told = false;
        switch (c.kind) {
            case ChannelList::Change::Reset:
                mirror = list.lines();
                break;
            case ChannelList::Change::Inserted:
                mirror.insert(mirror.begin() + c.row, std::string(list.line(c.row)));
                break;
            case ChannelList::Change::Removed:
                mirror.erase(mirror.begin() + c.row);
                break;
            case ChannelList::Change::Moved:
                std::swap(mirror[static_cast<std::size_t>(c.row)],
                          mirror[static_cast<std::size_t>(c.to)]);
                break;
            case ChannelList::Change::Selected:
                break;
        }
        mirrorSelected = list.selectedIndex();
    };

    list.setLines({"a,AM,1,1,COM1", "b,FM,2,2,COM2"});
    // Long lines, so that deleted ones soon outweigh the rest and the store is packed.
    unsigned seed = 7;
    for (int step = 0; step < 4000; ++step) {
        seed = seed * 1103515245u + 12345u;
        const int n = list.count();
        switch ((seed >> 16) % 6) {
            case 0:
            case 1:
                list.append(std::to_string(step) + std::string(90, 'x') + ",AM,954,80,COM1");
                break;
            case 2:
                list.setSelectedIndex(n ? static_cast<int>((seed >> 8) % n) : -1);
                list.deleteSelected();
                break;
            case 3:
                list.setSelectedIndex(n ? static_cast<int>((seed >> 8) % n) : -1);
                list.moveUp();
                break;
            case 4:
                list.setSelectedIndex(n ? static_cast<int>((seed >> 8) % n) : -1);
                list.moveDown();
                break;
            case 5:
                if (step % 500 == 0) list.setLines(list.lines());
                break;
        }
        ASSERT_EQ(mirror, list.lines()) << "after step " << step;
        ASSERT_EQ(mirrorSelected, list.selectedIndex());
    }
    EXPECT_GT(list.count(), 100);
}
