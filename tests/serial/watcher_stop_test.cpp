// Closing when the watcher's wait begins only after the mask was cleared: some drivers
// (Wine's) keep such a wait pending until the mask is set again. The close must still
// end the watcher.
#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>

#include "serial/rs232c.h"
#include "tests/support/fake_commapi.h"

using namespace comm;

namespace {

thread_local DWORD ownError = 0;

// The watcher's first wait starts right after the owner's stop cleared the mask, and
// then pends until the mask changes again.
class LateWaitApi : public FakeCommApi {
  public:
    BOOL SetCommMask(HANDLE h, DWORD mask) override {
        FakeCommApi::SetCommMask(h, mask);
        std::lock_guard<std::mutex> lock(m_);
        if (mask == 0) cleared_ = true;
        if (pending_) {  // a mask change ends a pending wait, with nothing in it
            *pendingMask_ = 0;
            pending_ = nullptr;
        }
        cv_.notify_all();
        return 1;
    }
    BOOL WaitCommEvent(HANDLE, DWORD* mask, OVERLAPPED* ov) override {
        std::unique_lock<std::mutex> lock(m_);
        entered_ = true;
        cv_.notify_all();
        if (!ov || !cv_.wait_for(lock, std::chrono::seconds(10), [&] { return cleared_; })) {
            ownError = ERROR_GEN_FAILURE;
            return 0;
        }
        ++waits;
        pending_ = ov;
        pendingMask_ = mask;
        ownError = ERROR_IO_PENDING;
        return 0;
    }
    BOOL GetOverlappedResult(HANDLE h, OVERLAPPED* ov, DWORD* done, BOOL wait) override {
        std::unique_lock<std::mutex> lock(m_);
        if (ov != pending_ && waits == 0) {
            lock.unlock();
            return FakeCommApi::GetOverlappedResult(h, ov, done, wait);
        }
        cv_.wait_for(lock, std::chrono::seconds(10), [&] { return pending_ == nullptr; });
        ownError = pending_ ? ERROR_IO_INCOMPLETE : ERROR_OPERATION_ABORTED;
        return 0;
    }
    DWORD GetLastError() override { return ownError ? ownError : FakeCommApi::GetLastError(); }

    // The watcher is in its first wait call, past its termination test.
    bool entered() {
        std::unique_lock<std::mutex> lock(m_);
        return cv_.wait_for(lock, std::chrono::seconds(5), [&] { return entered_; });
    }
    // Ends whatever still pends, so that a test that failed can finish.
    void release() { SetCommMask(nullptr, 0); }

    int waits = 0;

  private:
    std::mutex m_;
    std::condition_variable cv_;
    bool entered_ = false;
    bool cleared_ = false;
    OVERLAPPED* pending_ = nullptr;
    DWORD* pendingMask_ = nullptr;
};

}  // namespace

TEST(WatcherStop, AWaitBegunAfterTheMaskWasClearedIsEndedToo) {
    LateWaitApi api;
    Trs232c c(api);
    int heard = 0;
    c.OnRXCHAR = [&](Trs232c&) { ++heard; };
    ASSERT_TRUE(c.open());
    ASSERT_TRUE(api.entered());
    auto closing = std::async(std::launch::async, [&] { return c.close(); });
    const bool ended = closing.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!ended) api.release();
    EXPECT_TRUE(ended) << "close waited for a watcher that never ended";
    EXPECT_TRUE(closing.get());
    EXPECT_EQ(api.waits, 1);
    EXPECT_EQ(heard, 0);
    EXPECT_TRUE(api.liveHandles().empty());  // the watcher's own event is closed too
}
