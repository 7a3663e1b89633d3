#include "pty_peer.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace tarvex::testing {

void PtyPeer::setResponder(Responder responder) {
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

void PtyPeer::write(const QByteArray& bytes) {
    pty_.write(std::string_view(bytes.constData(), size_t(bytes.size())));
}

QByteArray PtyPeer::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

bool PtyPeer::waitForReceived(qsizetype count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return received_.size() >= count; });
}

void PtyPeer::run(int stopFd) {
    pollfd fds[2] = {{pty_.master(), POLLIN, 0}, {stopFd, POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0 && errno == EINTR)
            continue;
        if (fds[1].revents)
            return;
        // Bytes written just before the port closed are still read after the hang-up.
        char byte = 0;
        if ((fds[0].revents & POLLIN) == 0 || ::read(pty_.master(), &byte, 1) != 1) {
            if (fds[0].revents & POLLHUP) {
                // Closed at the other end and drained: wait for it to open again.
                ::poll(&fds[1], 1, 10);
                if (fds[1].revents)
                    return;
            }
            continue;
        }
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
