#include "modFunctions.h"

#include "deadline_wait.h"

namespace tarvex {
namespace {

// Work between two pauses shorter than this (a character written) continues the
// previous pause's schedule instead of starting a new one.
constexpr auto kContinuation = std::chrono::milliseconds(5);

} // namespace

void SystemPause::Sleep(std::chrono::milliseconds duration) {
    // Counted from where the previous pause ended, not from now: the time each write
    // takes would otherwise add up over a command, and a late wake-up would shift
    // every character after it.
    const auto now = Clock::now();
    const bool continues = lastEnd_ && now - *lastEnd_ <= kContinuation;
    const auto end = (continues ? *lastEnd_ : now) + duration;
    waitUntil(end);
    lastEnd_ = end;
}

} // namespace tarvex
