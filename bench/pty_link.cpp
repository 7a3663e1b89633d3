#include "pty_link.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <poll.h>
#include <unistd.h>

namespace tarvex::bench {

void PtyLink::setOnByte(OnByte onByte) {
    std::lock_guard lock(mutex_);
    onByte_ = std::move(onByte);
}

void PtyLink::setRecording(bool on) {
    std::lock_guard lock(mutex_);
    recording_ = on;
}

void PtyLink::write(std::string_view bytes) {
    pty_.write(bytes);
}

std::vector<Arrival> PtyLink::arrivals() const {
    std::lock_guard lock(mutex_);
    return arrivals_;
}

std::size_t PtyLink::count() const {
    std::lock_guard lock(mutex_);
    return arrivals_.size();
}

void PtyLink::clear() {
    std::lock_guard lock(mutex_);
    arrivals_.clear();
}

bool PtyLink::waitForCount(std::size_t n, std::chrono::milliseconds timeout) const {
    const auto deadline = Clock::now() + timeout;
    while (count() < n) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void PtyLink::run(int stopFd) {
    pollfd fds[2] = {{pty_.master(), POLLIN, 0}, {stopFd, POLLIN, 0}};
    char buffer[4096];
    for (;;) {
        if (::poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents)
            return;
        const ssize_t n = ::read(pty_.master(), buffer, sizeof buffer);
        const auto at = Clock::now();
        if (n <= 0)
            continue;
        OnByte onByte;
        {
            std::lock_guard lock(mutex_);
            if (recording_) {
                for (ssize_t i = 0; i < n; ++i)
                    arrivals_.push_back({buffer[i], at});
            }
            onByte = onByte_;
        }
        if (onByte) {
            for (ssize_t i = 0; i < n; ++i)
                onByte(buffer[i], at);
        }
    }
}

double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const double rank = std::ceil(p / 100.0 * static_cast<double>(values.size()));
    const auto index = static_cast<std::size_t>(std::max(rank, 1.0)) - 1;
    return values[std::min(index, values.size() - 1)];
}

double milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

} // namespace tarvex::bench
