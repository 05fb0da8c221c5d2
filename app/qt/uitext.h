// The catalogue's messages as the widgets take them.
#pragma once

#include <QString>

#include "core/messages.h"

inline QString uiText(kivo::Msg id, std::initializer_list<kivo::MessageArg> args = {}) {
    return QString::fromStdString(kivo::message(id, args));
}
