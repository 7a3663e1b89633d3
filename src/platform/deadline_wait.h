#pragma once
// The platform's wait for a point on the steady clock: one implementation per
// platform (deadline_wait_unix.cpp, deadline_wait_win.cpp), chosen by CMake.

#include <chrono>

namespace tarvex {

// Returns once `deadline` has passed, however often the wait is interrupted.
void waitUntil(std::chrono::steady_clock::time_point deadline);

} // namespace tarvex
