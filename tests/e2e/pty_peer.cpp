#include "pty_peer.h"

namespace tarvex::testing {

void PtyPeer::setResponder(Responder responder) {
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

void PtyPeer::write(const QByteArray& bytes) {
    reader_.write(std::string_view(bytes.constData(), size_t(bytes.size())));
}

QByteArray PtyPeer::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

bool PtyPeer::waitForReceived(qsizetype count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return received_.size() >= count; });
}

void PtyPeer::take(std::string_view bytes) {
    for (const char byte : bytes) {
        QByteArray answer;
        {
            std::lock_guard lock(mutex_);
            received_.append(byte);
            arrived_.notify_all();
            if (byte == '\r' || byte == 26) {
                if (responder_)
                    answer = responder_(line_ + (byte == 26 ? QByteArray(1, 26) : QByteArray()));
                line_.clear();
            } else if (byte != '\n') {
                line_.append(byte);
            }
        }
        write(answer);
    }
}

} // namespace tarvex::testing
