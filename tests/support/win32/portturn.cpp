#include "tests/support/win32/portturn.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdexcept>

namespace testenv {

PortTurn::PortTurn() : mutex_(CreateMutexA(nullptr, FALSE, "kivo-test-com-pairs")) {
    const DWORD waited = mutex_ ? WaitForSingleObject(mutex_, 100000) : WAIT_FAILED;
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        if (mutex_) CloseHandle(mutex_);
        throw std::runtime_error("the test run's ports stayed taken");
    }
}

PortTurn::~PortTurn() {
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
}

}  // namespace testenv
