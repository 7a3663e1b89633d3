#include "pty_link.h"

#include <algorithm>
#include <cmath>

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
    reader_.write(bytes);
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
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return arrivals_.size() >= n; });
}

void PtyLink::take(std::string_view bytes, Clock::time_point at) {
    OnByte onByte;
    {
        std::lock_guard lock(mutex_);
        if (recording_) {
            for (const char byte : bytes)
                arrivals_.push_back({byte, at});
            arrived_.notify_all();
        }
        onByte = onByte_;
    }
    if (onByte) {
        for (const char byte : bytes)
            onByte(byte, at);
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
