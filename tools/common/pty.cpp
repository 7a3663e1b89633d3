#include "pty.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace tarvex {

namespace {

[[noreturn]] void fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

int timeoutMs(std::optional<PtyClock::duration> wait) {
    if (!wait)
        return -1;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*wait).count();
    return static_cast<int>(std::clamp<decltype(ms)>(ms, 0, 60'000));
}

bool readable(int fd) {
    if (fd < 0)
        return false;
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && p.revents != 0;
}

} // namespace

void Fd::reset(int fd) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

Pty::Pty() {
    master_.reset(posix_openpt(O_RDWR | O_NOCTTY));
    if (master_.get() < 0)
        fail("posix_openpt");
    if (grantpt(master_.get()) != 0 || unlockpt(master_.get()) != 0)
        fail("grantpt/unlockpt");
    const char* name = ptsname(master_.get());
    if (name == nullptr)
        fail("ptsname");
    slavePath_ = name;
    slave_.reset(::open(slavePath_.c_str(), O_RDWR | O_NOCTTY));
    if (slave_.get() < 0)
        fail("open pty slave");
    // Raw from the start: the line discipline must neither echo nor cook what the
    // client sends; echo is the device's job (a modem switches it with ATE).
    termios tio{};
    if (tcgetattr(slave_.get(), &tio) != 0)
        fail("tcgetattr");
    cfmakeraw(&tio);
    if (tcsetattr(slave_.get(), TCSANOW, &tio) != 0)
        fail("tcsetattr");
    const int flags = fcntl(master_.get(), F_GETFL);
    if (flags < 0 || fcntl(master_.get(), F_SETFL, flags | O_NONBLOCK) != 0)
        fail("fcntl O_NONBLOCK");
}

bool Pty::write(std::string_view bytes, int stopFd) const {
    while (!bytes.empty()) {
        const ssize_t n = ::write(master_.get(), bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return false;
        pollfd fds[2] = {{master_.get(), POLLOUT, 0}, {stopFd, POLLIN, 0}};
        if (::poll(fds, stopFd >= 0 ? 2 : 1, -1) < 0 && errno != EINTR)
            return false;
        if (fds[1].revents != 0 || (fds[0].revents & (POLLERR | POLLNVAL)) != 0)
            return false;
    }
    return true;
}

void Pty::close() {
    slave_.reset();
    master_.reset();
}

PtyLoopEnd servePty(const Pty& pty, int stopFd, const PtyHandlers& handlers) {
    std::array<char, 4096> buffer{};
    for (;;) {
        const PtyHandlers::Wait wait = handlers.beforeWait();
        if (!wait.keepGoing)
            return PtyLoopEnd::Finished;
        pollfd fds[2] = {
            {pty.master(), static_cast<short>(POLLIN | (wait.wantsToWrite ? POLLOUT : 0)), 0},
            {stopFd, POLLIN, 0},
        };
        if (::poll(fds, 2, timeoutMs(wait.timeout)) < 0) {
            if (errno == EINTR)
                continue;
            fail("poll");
        }
        if (fds[1].revents != 0)
            return PtyLoopEnd::Stopped;
        if ((fds[0].revents & POLLOUT) != 0)
            handlers.writable();
        if ((fds[0].revents & POLLIN) == 0) {
            // See the top of pty.h: never while the client end is held; never spin on it.
            if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
                return PtyLoopEnd::HungUp;
            continue;
        }
        const ssize_t n = ::read(pty.master(), buffer.data(), buffer.size());
        const auto at = PtyClock::now();
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n <= 0)
            return PtyLoopEnd::HungUp;
        if (!handlers.received(std::string_view(buffer.data(), static_cast<std::size_t>(n)), at))
            return PtyLoopEnd::Finished;
    }
}

PtyReader::PtyReader(const Pty& pty, Received received)
    : pty_(pty) {
    int stop[2];
    if (::pipe(stop) != 0)
        fail("pipe");
    stopRead_.reset(stop[0]);
    stopWrite_.reset(stop[1]);
    thread_ = std::thread([this, received = std::move(received)] {
        PtyHandlers handlers;
        handlers.received = [&received](std::string_view bytes, PtyClock::time_point at) {
            received(bytes, at);
            return true;
        };
        // A hang-up ends the reading, not the reader: it waits to be stopped.
        if (servePty(pty_, stopRead_.get(), handlers) == PtyLoopEnd::HungUp) {
            pollfd stopped{stopRead_.get(), POLLIN, 0};
            while (::poll(&stopped, 1, -1) < 0 && errno == EINTR) {
            }
        }
    });
}

PtyReader::~PtyReader() {
    const char stop = 'q';
    (void)!::write(stopWrite_.get(), &stop, 1);
    thread_.join();
}

bool PtyReader::write(std::string_view bytes) const {
    return !readable(stopRead_.get()) && pty_.write(bytes, stopRead_.get());
}

Link::Link(std::string path, const std::string& target)
    : path_(std::move(path))
    , target_(target) {
    // A link left behind by a killed run would otherwise block every later start.
    struct stat st = {};
    if (lstat(path_.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        ::unlink(path_.c_str());
    if (::symlink(target_.c_str(), path_.c_str()) != 0)
        fail("symlink");
}

Link::~Link() {
    std::array<char, 4096> current{};
    const auto n = readlink(path_.c_str(), current.data(), current.size() - 1);
    if (n >= 0 && std::string(current.data(), static_cast<std::size_t>(n)) == target_)
        ::unlink(path_.c_str());
}

} // namespace tarvex
