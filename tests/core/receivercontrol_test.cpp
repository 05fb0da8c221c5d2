// What no window lets a user do, the handlers still meet calmly.
#include "core/receivercontrol.h"

#include <gtest/gtest.h>

#include "tests/core/linewindow.h"

TEST_F(LineWindowTest, HandlersWithNothingToActOnDoNothing) {
    window.list.setLines({"Name,AM,594,80,COM3"});
    window.list.setSelectedIndex(7);  // beyond the list
    control.ListBox1DblClick();
    EXPECT_EQ(window.name, "");
    EXPECT_EQ(window.frequency, "");
    control.Timer1Timer();  // while off: the closed port drops the tick
    EXPECT_EQ(line(), "");
}
