#pragma once
// The blocking pause of the user-interface thread. No event is handled while it
// runs: the modem dialogue relies on that for its timing on the wire.

#include <chrono>

namespace tarvex {

class Pause {
public:
    virtual ~Pause() = default;
    virtual void Sleep(std::chrono::milliseconds duration) = 0;
};

class SystemPause final : public Pause {
public:
    void Sleep(std::chrono::milliseconds duration) override;
};

} // namespace tarvex
