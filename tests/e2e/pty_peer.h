#pragma once
// The far end of a real pseudo-terminal: timestamps every byte as it arrives and
// answers from a script, on a thread of its own so that it sees the real pacing.

#include <QByteArray>
#include <QString>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tarvex::testing {

class PtyPeer {
public:
    using Clock = std::chrono::steady_clock;
    // Called with each complete line the peer received (up to and without its CR);
    // returns what to write back.
    using Responder = std::function<QByteArray(const QByteArray& line)>;

    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    QString devicePath() const { return path_; }
    void setResponder(Responder responder);
    // Bytes that end a line besides CR; Ctrl-Z ends the SMS body.
    void write(const QByteArray& bytes);

    QByteArray received() const;
    std::vector<Clock::time_point> arrivals() const;

private:
    void run();

    int master_ = -1;
    int wake_[2] = {-1, -1};
    QString path_;
    mutable std::mutex mutex_;
    QByteArray received_;
    QByteArray line_;
    std::vector<Clock::time_point> arrivals_;
    Responder responder_;
    std::thread thread_;
};

} // namespace tarvex::testing
