#pragma once
// The modem's end of a real pseudo-terminal, for the end-to-end suites and the
// benchmarks: a reader thread records every byte with the moment it could be read,
// and may answer at once from that thread, as a modem would, without waiting for
// the user-interface thread. Plain C++, no Qt, like the pty it serves.

#include "pty.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

class PtyPeer {
public:
    struct Arrival {
        char byte;
        PtyClock::time_point at;
    };

    // Runs on the reader thread for each byte, after it has been recorded: for
    // whoever needs the byte's time or must write in steps of its own.
    using OnByte = std::function<void(char byte, PtyClock::time_point at)>;
    // Runs on the reader thread with each complete line: up to and without its CR,
    // or up to and with the Ctrl-Z that ends an SMS body. Returns what to write back.
    using Responder = std::function<std::string(const std::string& line)>;

    PtyPeer() = default;
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    // What the client opens.
    const std::string& devicePath() const { return pty_.slavePath(); }
    void setOnByte(OnByte onByte);
    void setResponder(Responder responder);
    // Set false for floods nobody answers: nothing is recorded then.
    void setRecording(bool on);
    // Blocks until every byte is in the terminal's buffer; callable from any thread.
    // Gives up once the peer is being destroyed, so a client that no longer reads
    // never holds up a stop.
    void write(std::string_view bytes);

    std::vector<Arrival> arrivals() const;
    // The recorded bytes alone.
    std::string received() const;
    std::size_t count() const;
    void clear();
    // Waits, without running any event loop, until `n` bytes have been recorded.
    bool waitForCount(std::size_t n, std::chrono::milliseconds timeout) const;

private:
    void take(std::string_view bytes, PtyClock::time_point at);

    Pty pty_;
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::vector<Arrival> arrivals_;
    OnByte onByte_;
    Responder responder_;
    bool recording_ = true;
    // The line so far; only the reader thread touches it.
    std::string line_;
    // Last: stopped and joined before anything it uses goes.
    PtyReader reader_{pty_,
                      [this](std::string_view bytes, PtyClock::time_point at) { take(bytes, at); }};
};

} // namespace tarvex
