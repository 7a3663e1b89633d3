#pragma once
// Every pause and time-out of the modem dialogue.

#include <chrono>

namespace tarvex {

using namespace std::chrono_literals;

// After "A" and after "T" of the attention command.
constexpr auto kAttentionPause = 100ms;
// After the echo-off command, before the operator is told.
constexpr auto kEchoOffPause = 100ms;
// How long the modem has to answer the attention command.
constexpr auto kReplyTimeout = 2000ms;

// After AT+CMGF=1, and twice after AT+CMGS: the modem's time to give its prompt.
constexpr auto kSmsCommandPause = 1000ms;
// Modules take up to 60-120 s to report the network's verdict on a message.
constexpr auto kSmsOutcomeTimeout = 120s;

// The readiness queries: each has this long for its final result once its line is
// out; +COPS? more, since some modems ask the network before they answer it.
constexpr auto kQueryTimeout = 2000ms;
constexpr auto kOperatorQueryTimeout = 5000ms;
// Right after power-up a SIM answers "SIM busy" for some seconds: asked again after
// each pause, for this long in all.
constexpr auto kSimBusyRetryPause = 1000ms;
constexpr auto kSimBusyWait = 10s;

} // namespace tarvex
