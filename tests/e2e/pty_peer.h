#pragma once
// The far end of a real pseudo-terminal: records every byte as it arrives and
// answers from a script, on a thread of its own.

#include "pty.h"

#include <QByteArray>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace tarvex::testing {

class PtyPeer {
public:
    // Called with each complete line the peer received (up to and without its CR);
    // returns what to write back.
    using Responder = std::function<QByteArray(const QByteArray& line)>;

    PtyPeer() = default;
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    QString devicePath() const { return QString::fromStdString(pty_.slavePath()); }
    void setResponder(Responder responder);
    // Bytes that end a line besides CR; Ctrl-Z ends the SMS body.
    void write(const QByteArray& bytes);

    QByteArray received() const;
    // Waits, without running any event loop, until `count` bytes have arrived.
    bool waitForReceived(qsizetype count, std::chrono::milliseconds timeout) const;

private:
    void take(std::string_view bytes);

    Pty pty_;
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    QByteArray received_;
    QByteArray line_;
    Responder responder_;
    // Last: stopped and joined before anything it uses goes.
    PtyReader reader_{pty_, [this](std::string_view bytes, PtyClock::time_point) { take(bytes); }};
};

} // namespace tarvex::testing
