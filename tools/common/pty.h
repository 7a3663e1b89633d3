#pragma once
// A pseudo-terminal pair, raw, for whatever plays the device on it: the virtual
// modem, the end-to-end suites' peer and the benchmarks' link.

#include <functional>
#include <string>
#include <string_view>
#include <thread>

namespace tarvex {

// The device end of a pseudo-terminal, non-blocking. Keeps a descriptor of the
// client end open itself, so a client closing and reopening the device does not
// hang up the master (which would make poll() report POLLHUP without pause).
class Pty {
public:
    Pty(); // throws std::system_error
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    int master() const { return master_; }
    // Writes all of `bytes` to the client, waiting for room in the terminal's
    // buffer; stops early only if the pty fails.
    void write(std::string_view bytes) const;
    const std::string& slavePath() const { return slavePath_; }

    // Pulls the cable: clients see a hangup and the device node goes away.
    void close();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

// A thread that serves a pty until it is destroyed. `body` waits in poll() on the
// pty and on `stopFd`, and returns once `stopFd` is readable: destroying the thread
// makes it so, and joins.
class PtyThread {
public:
    explicit PtyThread(std::function<void(int stopFd)> body); // throws std::system_error
    ~PtyThread();
    PtyThread(const PtyThread&) = delete;
    PtyThread& operator=(const PtyThread&) = delete;

private:
    int stop_[2] = {-1, -1};
    std::thread thread_;
};

// A symlink to the device under a stable name, removed again on destruction
// if it still points where we made it point.
class Link {
public:
    Link(std::string path, const std::string& target); // throws std::system_error
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

private:
    std::string path_;
    std::string target_;
};

} // namespace tarvex
