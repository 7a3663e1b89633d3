#include "deadline_wait.h"

#include <cerrno>
#include <ctime>

namespace tarvex {

void waitUntil(std::chrono::steady_clock::time_point deadline) {
    // steady_clock is CLOCK_MONOTONIC here, so its time points are the kernel's own.
    const auto sinceEpoch =
        std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.time_since_epoch());
    timespec at{};
    at.tv_sec = static_cast<time_t>(sinceEpoch.count() / 1000000000);
    at.tv_nsec = static_cast<long>(sinceEpoch.count() % 1000000000);
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
}

} // namespace tarvex
