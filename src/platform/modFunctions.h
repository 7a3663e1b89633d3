#pragma once
// The blocking pause of the user-interface thread. No event is handled while it
// runs: the modem dialogue relies on that for its timing on the wire.

#include <chrono>
#include <optional>

namespace tarvex {

class Pause {
public:
    virtual ~Pause() = default;
    virtual void Sleep(std::chrono::milliseconds duration) = 0;
    // A pause that no interrupt cuts short: what a stop itself still sends is paced too.
    virtual void SleepUninterrupted(std::chrono::milliseconds duration) { Sleep(duration); }
    // Before each write of the dialogue's own: a pause that gives way to an interrupt
    // throws here as well, so that no character goes out once the run is stopped.
    virtual void beforeWrite() {}
};

// When each of a run of pauses ends. Counted from where the previous pause was due
// to end, not from when it returned: the time each write takes would otherwise add
// up over a command. But a pause that returned late starts the next from its return,
// so that a late wake-up never brings the next character closer to this one.
class PauseSchedule {
public:
    using Clock = std::chrono::steady_clock;
    // Work between two pauses shorter than this (a character written) continues the
    // previous pause's schedule instead of starting a new one.
    static constexpr auto kContinuation = std::chrono::milliseconds(5);
    // A return this close after the deadline is on time: the timer's own slack.
    static constexpr auto kOnTime = std::chrono::milliseconds(1);

    // The end of a pause of `duration` asked for at `now`.
    Clock::time_point end(Clock::time_point now, std::chrono::milliseconds duration);
    // The pause that ended at `end()` returned at `at`.
    void returned(Clock::time_point at);

private:
    std::optional<Clock::time_point> due_;
    std::optional<Clock::time_point> returned_;
};

class SystemPause final : public Pause {
public:
    void Sleep(std::chrono::milliseconds duration) override;

private:
    PauseSchedule schedule_; // on the clock the platform wait sleeps on
};

} // namespace tarvex
