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
};

class SystemPause final : public Pause {
public:
    void Sleep(std::chrono::milliseconds duration) override;

private:
    // The clock the platform wait sleeps on (CLOCK_MONOTONIC on Linux).
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> lastEnd_;
};

} // namespace tarvex
