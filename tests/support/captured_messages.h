// Captures the serial component's message-box texts for one test.
#pragma once

#include <string>
#include <vector>

#include "serial/rs232c.h"

struct CapturedMessages {
    std::vector<std::string> texts;
    CapturedMessages() {
        setRs232cMessageBox([this](const std::string& text) { texts.push_back(text); });
    }
    ~CapturedMessages() { setRs232cMessageBox(nullptr); }
};
