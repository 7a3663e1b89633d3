#pragma once
// A pseudo-terminal for whatever plays the device on it (the virtual modem, and
// PtyPeer for the end-to-end suites and the benchmarks), and the one loop that
// serves it.
//
// What a hang-up means: the master reports POLLHUP only once no descriptor of the
// client end is open. Pty holds one itself, so a client closing and reopening the
// device never hangs the master up; only Pty::close() (the cable pulled) does, and
// then nothing more will arrive.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

namespace tarvex {

using PtyClock = std::chrono::steady_clock;

// An open file descriptor, closed with its owner.
class Fd {
public:
    explicit Fd(int fd = -1)
        : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept
        : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept {
        reset(other.release());
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1);

private:
    int fd_;
};

// The device end of a pseudo-terminal, raw and non-blocking.
class Pty {
public:
    Pty(); // throws std::system_error
    int master() const { return master_.get(); }
    const std::string& slavePath() const { return slavePath_; }

    // Writes all of `bytes` to the client, waiting for room in the terminal's buffer.
    // Gives up, returning false, when the pty fails or `stopFd` becomes readable, so
    // a client that no longer reads never holds up a stop.
    bool write(std::string_view bytes, int stopFd = -1) const;

    // Pulls the cable: clients see a hang-up and the device node goes away.
    void close();

private:
    Fd master_;
    Fd slave_;
    std::string slavePath_;
};

// What serves a pty, called on the loop's thread.
struct PtyHandlers {
    // Each chunk read, with the time it was read. Returns false to end the loop.
    std::function<bool(std::string_view bytes, PtyClock::time_point at)> received;
    // Before each wait: does what is due; returns how long until it is due again
    // (none: only an arrival wakes the loop), or false in `keepGoing` to end it.
    struct Wait {
        std::optional<PtyClock::duration> timeout;
        bool wantsToWrite = false; // wake when the terminal has room
        bool keepGoing = true;
    };
    std::function<Wait()> beforeWait = [] { return Wait{}; };
    // The terminal has room for more.
    std::function<void()> writable = [] {};
};

enum class PtyLoopEnd { Stopped, HungUp, Finished };

// Serves `pty` until `stopFd` is readable, the handlers end it, or it hangs up.
PtyLoopEnd servePty(const Pty& pty, int stopFd, const PtyHandlers& handlers);

// servePty() on a thread of its own, until the reader is destroyed.
class PtyReader {
public:
    using Received = std::function<void(std::string_view bytes, PtyClock::time_point at)>;

    PtyReader(const Pty& pty, Received received); // throws std::system_error
    ~PtyReader();
    PtyReader(const PtyReader&) = delete;
    PtyReader& operator=(const PtyReader&) = delete;

    // Pty::write() that gives up once the reader is being stopped.
    bool write(std::string_view bytes) const;

private:
    const Pty& pty_;
    Fd stopRead_;
    Fd stopWrite_;
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
