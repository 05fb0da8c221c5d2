// A remote command's answer put in words: the plain form (the values one per line, or a
// status line) or the extended one (the long name and the arguments, one "Key: value" per
// value, the status), its fields on lines or joined by the client's character.
#pragma once

#include <string>
#include <vector>

#include "core/remotecommands.h"

namespace kivo {

// What a command found: its values in order, and its status (values count only with 0).
struct RemoteAnswer {
    std::vector<std::string> values;
    int status = 0;  // the code of its "RPRT" line
};

// The whole answer to `request`, ready to go out in one piece.
std::string formatRemoteAnswer(const RemoteRequest& request, const RemoteAnswer& answer);

}  // namespace kivo
