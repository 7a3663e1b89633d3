#pragma once
// The modem's end of a real pseudo-terminal for the benchmarks: a reader thread
// stamps every byte the moment it can be read, and may answer at once from that
// thread, as a modem would, without waiting for the user-interface thread.

#include "pty.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tarvex::bench {

using Clock = std::chrono::steady_clock;

struct Arrival {
    char byte;
    Clock::time_point at;
};

class PtyLink {
public:
    // Runs on the reader thread for each byte, after it has been recorded.
    using OnByte = std::function<void(char byte, Clock::time_point at)>;

    PtyLink() = default;
    PtyLink(const PtyLink&) = delete;
    PtyLink& operator=(const PtyLink&) = delete;

    const std::string& path() const { return pty_.slavePath(); }
    void setOnByte(OnByte onByte);
    // Set false for floods nobody answers: nothing is recorded then.
    void setRecording(bool on);
    // Blocks until every byte is in the terminal's buffer; callable from any thread.
    void write(std::string_view bytes);

    std::vector<Arrival> arrivals() const;
    std::size_t count() const;
    void clear();
    // Waits (without polling the user-interface loop) until `n` bytes have arrived.
    bool waitForCount(std::size_t n, std::chrono::milliseconds timeout) const;

private:
    void take(std::string_view bytes, Clock::time_point at);

    Pty pty_;
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::vector<Arrival> arrivals_;
    OnByte onByte_;
    bool recording_ = true;
    // Last: stopped and joined before anything it uses goes.
    PtyReader reader_{pty_,
                      [this](std::string_view bytes, Clock::time_point at) { take(bytes, at); }};
};

// Nearest-rank percentile of a sample; 0 for an empty one.
double percentile(std::vector<double> values, double p);
inline double median(std::vector<double> values) {
    return percentile(std::move(values), 50);
}

double milliseconds(Clock::duration d);

} // namespace tarvex::bench
