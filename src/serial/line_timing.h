#pragma once

#include <chrono>

namespace tarvex {

using namespace std::chrono_literals;

// After every character sent, the last one included: the only flow control on a
// line without handshaking, and what keeps slow modems from dropping characters.
constexpr auto kCharacterPause = 25ms;

} // namespace tarvex
