#include "pty_peer.h"

namespace tarvex {

namespace {

constexpr char kCtrlZ = 26;

} // namespace

void PtyPeer::setOnByte(OnByte onByte) {
    std::lock_guard lock(mutex_);
    onByte_ = std::move(onByte);
}

void PtyPeer::setResponder(Responder responder) {
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

void PtyPeer::setRecording(bool on) {
    std::lock_guard lock(mutex_);
    recording_ = on;
}

void PtyPeer::write(std::string_view bytes) {
    reader_.write(bytes);
}

std::vector<PtyPeer::Arrival> PtyPeer::arrivals() const {
    std::lock_guard lock(mutex_);
    return arrivals_;
}

std::string PtyPeer::received() const {
    std::lock_guard lock(mutex_);
    std::string bytes;
    bytes.reserve(arrivals_.size());
    for (const Arrival& a : arrivals_)
        bytes.push_back(a.byte);
    return bytes;
}

std::size_t PtyPeer::count() const {
    std::lock_guard lock(mutex_);
    return arrivals_.size();
}

void PtyPeer::clear() {
    std::lock_guard lock(mutex_);
    arrivals_.clear();
}

bool PtyPeer::waitForCount(std::size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return arrivals_.size() >= n; });
}

void PtyPeer::take(std::string_view bytes, PtyClock::time_point at) {
    // The whole chunk is recorded before anyone answers, so a waiter sees it at once.
    OnByte onByte;
    Responder responder;
    {
        std::lock_guard lock(mutex_);
        if (recording_) {
            for (const char byte : bytes)
                arrivals_.push_back({byte, at});
            arrived_.notify_all();
        }
        onByte = onByte_;
        responder = responder_;
    }
    for (const char byte : bytes) {
        // Lines are only gathered for a responder: a flood nobody answers would
        // otherwise pile up in one endless line.
        if (responder) {
            if (byte == '\r' || byte == kCtrlZ) {
                if (byte == kCtrlZ)
                    line_.push_back(byte);
                write(responder(line_));
                line_.clear();
            } else if (byte != '\n') {
                line_.push_back(byte);
            }
        }
        if (onByte)
            onByte(byte, at);
    }
}

} // namespace tarvex
