#pragma once
// A pseudo-terminal pair, raw, for whatever plays the device on it: the virtual
// modem, the end-to-end suites' peer and the benchmarks' link.

#include <string>

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
    const std::string& slavePath() const { return slavePath_; }

    // Pulls the cable: clients see a hangup and the device node goes away.
    void close();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

// A pipe that wakes a thread waiting in poll() on the pty, so that it can stop.
class StopPipe {
public:
    StopPipe(); // throws std::system_error
    ~StopPipe();
    StopPipe(const StopPipe&) = delete;
    StopPipe& operator=(const StopPipe&) = delete;

    // Readable once stop() has been called.
    int fd() const { return fds_[0]; }
    void stop();

private:
    int fds_[2] = {-1, -1};
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
