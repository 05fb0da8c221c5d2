// What the Windows tests need of the machine besides their lines: whether Wine stands in
// for Windows, the handles held, a message loop that ends.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace winport {

// Wine differs from Windows in a few places; a test that meets one says so and checks
// what Wine does.
bool underWine();

// Handles the process holds now.
int processHandleCount();

// Runs the calling thread's message loop until `done` holds; false when `limit` passed.
bool runMessagesUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(5));

}  // namespace winport
