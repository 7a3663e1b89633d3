#include "pty.h"

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

} // namespace

Pty::Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) {
        fail("posix_openpt");
    }
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        const int saved = errno;
        ::close(master_);
        errno = saved;
        fail("grantpt/unlockpt");
    }
    const char* name = ptsname(master_);
    if (name == nullptr) {
        fail("ptsname");
    }
    slavePath_ = name;
    slave_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
    if (slave_ < 0) {
        fail("open pty slave");
    }
    // Raw from the start: the line discipline must neither echo nor cook what the
    // client sends; echo is the device's job (a modem switches it with ATE).
    termios tio{};
    if (tcgetattr(slave_, &tio) != 0) {
        fail("tcgetattr");
    }
    cfmakeraw(&tio);
    if (tcsetattr(slave_, TCSANOW, &tio) != 0) {
        fail("tcsetattr");
    }
    const int flags = fcntl(master_, F_GETFL);
    if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) {
        fail("fcntl O_NONBLOCK");
    }
}

void Pty::write(std::string_view bytes) const {
    while (!bytes.empty()) {
        const ssize_t n = ::write(master_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EAGAIN) {
            pollfd room{master_, POLLOUT, 0};
            ::poll(&room, 1, -1);
        } else if (n < 0 && errno != EINTR) {
            return;
        }
    }
}

Pty::~Pty() {
    close();
}

void Pty::close() {
    if (slave_ >= 0) {
        ::close(slave_);
        slave_ = -1;
    }
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

PtyThread::PtyThread(std::function<void(int stopFd)> body) {
    if (::pipe(stop_) != 0) {
        fail("pipe");
    }
    thread_ = std::thread([this, body = std::move(body)] { body(stop_[0]); });
}

PtyThread::~PtyThread() {
    const char stop = 'q';
    (void)!::write(stop_[1], &stop, 1);
    thread_.join();
    ::close(stop_[0]);
    ::close(stop_[1]);
}

Link::Link(std::string path, const std::string& target)
    : path_(std::move(path))
    , target_(target) {
    // A link left behind by a killed run would otherwise block every later start.
    struct stat st = {};
    if (lstat(path_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        ::unlink(path_.c_str());
    }
    if (::symlink(target_.c_str(), path_.c_str()) != 0) {
        fail("symlink");
    }
}

Link::~Link() {
    std::array<char, 4096> current{};
    const auto n = readlink(path_.c_str(), current.data(), current.size() - 1);
    if (n >= 0 && std::string(current.data(), static_cast<std::size_t>(n)) == target_) {
        ::unlink(path_.c_str());
    }
}

} // namespace tarvex
