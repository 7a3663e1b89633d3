#include "deadline_wait.h"

#include <windows.h>
// after windows.h, which it needs
#include <timeapi.h>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace tarvex {
namespace {

// A plain Sleep(25) lasts about 31 ms on the default 15.6 ms tick. A
// high-resolution waitable timer (Windows 10 1803 and later) wakes on time without
// changing the whole system's tick; where that flag is refused the tick is raised
// to 1 ms for the life of the process instead.
class WaitTimer {
public:
    WaitTimer() {
        handle_ = ::CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                           TIMER_ALL_ACCESS);
        if (handle_ == nullptr) {
            raisedTick_ = ::timeBeginPeriod(1) == TIMERR_NOERROR;
            handle_ = ::CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
        }
    }
    ~WaitTimer() {
        if (handle_ != nullptr)
            ::CloseHandle(handle_);
        if (raisedTick_)
            ::timeEndPeriod(1);
    }
    WaitTimer(const WaitTimer&) = delete;
    WaitTimer& operator=(const WaitTimer&) = delete;

    void wait(std::chrono::nanoseconds span) const {
        // Due times in 100 ns units, negative for "from now", rounded up so the
        // timer never fires before the deadline on its own account.
        const LONGLONG ticks = (span.count() + 99) / 100;
        LARGE_INTEGER due{};
        due.QuadPart = -ticks;
        if (handle_ != nullptr && ::SetWaitableTimer(handle_, &due, 0, nullptr, nullptr, FALSE) &&
            ::WaitForSingleObject(handle_, INFINITE) == WAIT_OBJECT_0)
            return;
        ::Sleep(static_cast<DWORD>((span.count() + 999999) / 1000000));
    }

private:
    HANDLE handle_ = nullptr;
    bool raisedTick_ = false;
};

} // namespace

void waitUntil(std::chrono::steady_clock::time_point deadline) {
    // The timer counts from now on the system's own interrupt clock; the deadline
    // is on the steady clock, so each pass waits for what is left of it. Waking a
    // little early then costs one more short wait, never a shorter pause.
    static const WaitTimer timer;
    for (auto left = deadline - std::chrono::steady_clock::now(); left.count() > 0;
         left = deadline - std::chrono::steady_clock::now())
        timer.wait(left);
}

} // namespace tarvex
