// The hidden notification window with a plain GetMessage loop: what it is, that posts
// from any thread reach the procedure on the window's thread in the order posted, and
// that everything else goes to the default window procedure.
#include "serial/win32/notifywindow.h"

#define WIN32_LEAN_AND_MEAN
#include <gtest/gtest.h>
#include <windows.h>

#include <thread>
#include <vector>

namespace {

constexpr unsigned kFirst = 0x8000 + 501;  // WM_APP + 501 .. + 510
constexpr unsigned kLast = 0x8000 + 510;

// GetMessage until WM_QUIT; a thread timer ends a loop that would otherwise wait on.
void runLoop() {
    UINT_PTR guard =
        SetTimer(nullptr, 0, 5000, [](HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(1); });
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    KillTimer(nullptr, guard);
}

}  // namespace

TEST(NotifyWindow, IsAHiddenZeroSizeToolWindowWithoutParent) {
    auto window = Win32NotifyWindow::create([](TMessage&) {});
    ASSERT_TRUE(window);
    HWND hwnd = static_cast<HWND>(window->handle());
    ASSERT_TRUE(IsWindow(hwnd));
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_TRUE(GetWindowLongPtrA(hwnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(GetWindowLongPtrA(hwnd, GWL_STYLE) & WS_POPUP);
    EXPECT_EQ(GetAncestor(hwnd, GA_PARENT), GetDesktopWindow());  // top level
    EXPECT_EQ(GetWindow(hwnd, GW_OWNER), nullptr);
    RECT r{};
    GetWindowRect(hwnd, &r);
    EXPECT_EQ(r.right - r.left, 0);
    EXPECT_EQ(r.bottom - r.top, 0);
    EXPECT_EQ(GetWindowThreadProcessId(hwnd, nullptr), GetCurrentThreadId());
    // The default window of a component on this platform is this one.
    auto made = makePlatformNotifyWindow([](TMessage&) {});
    EXPECT_NE(dynamic_cast<Win32NotifyWindow*>(made.get()), nullptr);
    window.reset();
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST(NotifyWindow, PostsFromOtherThreadsArriveInOrderOnTheWindowsThread) {
    std::vector<unsigned> seen;
    std::vector<DWORD> threads;
    const DWORD owner = GetCurrentThreadId();
    constexpr int kRounds = 200;
    auto window = Win32NotifyWindow::create([&](TMessage& m) {
        if (m.Msg < kFirst || m.Msg > kLast) return;
        seen.push_back(m.Msg);
        threads.push_back(GetCurrentThreadId());
        if (seen.size() == kRounds * 10u) PostQuitMessage(0);
    });
    ASSERT_TRUE(window);
    std::thread poster([&] {
        for (int round = 0; round < kRounds; ++round)
            for (unsigned msg = kFirst; msg <= kLast; ++msg) window->post(msg, 0, 0);
    });
    runLoop();
    poster.join();
    ASSERT_EQ(seen.size(), kRounds * 10u);
    for (std::size_t i = 0; i < seen.size(); ++i) ASSERT_EQ(seen[i], kFirst + i % 10) << i;
    for (DWORD t : threads) ASSERT_EQ(t, owner);
}

TEST(NotifyWindow, OtherMessagesGoToTheDefaultProcedureWithTheirOwnValues) {
    // The component's procedure passes every other message on like this.
    Win32NotifyWindow* self = nullptr;
    auto window = Win32NotifyWindow::create([&](TMessage& m) {
        if (m.Msg < kFirst || m.Msg > kLast) m.Result = self->defaultProcedure(m);
    });
    ASSERT_TRUE(window);
    self = window.get();
    HWND hwnd = static_cast<HWND>(window->handle());
    // WM_SETTEXT and WM_GETTEXT are answered by the default procedure from their
    // parameters; their results come back through the message's result.
    EXPECT_TRUE(SendMessageA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("kivo")));
    char text[16] = {};
    EXPECT_EQ(SendMessageA(hwnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text)), 4);
    EXPECT_STREQ(text, "kivo");
    EXPECT_EQ(SendMessageA(hwnd, WM_GETTEXTLENGTH, 0, 0), 4);
}

TEST(NotifyWindow, PumpRunsWhatWasPostedAndQueuedPostsDieWithTheWindow) {
    std::vector<unsigned> seen;
    auto window = Win32NotifyWindow::create([&](TMessage& m) { seen.push_back(m.Msg); });
    ASSERT_TRUE(window);
    window->post(kFirst + 3, 0, 0);
    window->post(kFirst, 0, 0);
    std::size_t elsewhere = 99;
    std::thread([&] { elsewhere = window->pump(); }).join();
    EXPECT_EQ(elsewhere, 0u);  // only the window's thread runs them
    EXPECT_EQ(window->pump(), 2u);
    EXPECT_EQ(seen, (std::vector<unsigned>{kFirst + 3, kFirst}));
    EXPECT_EQ(window->pump(std::chrono::milliseconds(20)), 0u);

    window->post(kFirst, 0, 0);
    window.reset();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    EXPECT_EQ(seen.size(), 2u);
}
