// One running copy per program title: the running copy is found by its main window,
// class "TForm1" with the title as its caption (compared without regard to case), and is
// sent WM_CLOSE. Its closing sequence runs then (receiver off, port released); a later
// start waits until that copy's process has ended.
#pragma once

#include <chrono>
#include <string>

enum class Claim {
    Alone,        // no other copy ran: this is the running copy
    TookOver,     // another copy ran and has ended: this is the running copy now
    StillRunning  // the other copy did not end within the bound: this must not run
};

// Closes the running copy of `title` (UTF-8), if any, and waits for it to end, at most
// `bound`. The default outlasts a closing on a held line.
Claim closeRunningCopy(const std::string& title,
                       std::chrono::milliseconds bound = std::chrono::minutes(3));
