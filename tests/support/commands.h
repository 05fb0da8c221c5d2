// The receiver's commands as the tests expect them on the line.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace testenv {

// CR LF ended commands, joined: cmds({"H101", "J4000"}) == "H101\r\nJ4000\r\n".
inline std::string cmds(std::initializer_list<std::string_view> commands) {
    std::string out;
    for (std::string_view c : commands) (out += c) += "\r\n";
    return out;
}

// The power button's switch-on while no line is selected, command by command and as bytes.
inline const std::vector<std::string> kSwitchOnCommands{"G300", "H101", "J4000", "J4101"};
inline const std::string kSwitchOn = cmds({"G300", "H101", "J4000", "J4101"});

}  // namespace testenv
