#include "modFunctions.h"

#include "deadline_wait.h"

namespace tarvex {

PauseSchedule::Clock::time_point PauseSchedule::end(Clock::time_point now,
                                                    std::chrono::milliseconds duration) {
    const bool continues = due_ && returned_ && now - *returned_ <= kContinuation;
    Clock::time_point start = now;
    if (continues)
        start = *returned_ - *due_ <= kOnTime ? *due_ : *returned_;
    due_ = start + duration;
    returned_.reset();
    return *due_;
}

void PauseSchedule::returned(Clock::time_point at) {
    returned_ = at;
}

void SystemPause::Sleep(std::chrono::milliseconds duration) {
    waitUntil(schedule_.end(PauseSchedule::Clock::now(), duration));
    schedule_.returned(PauseSchedule::Clock::now());
}

} // namespace tarvex
