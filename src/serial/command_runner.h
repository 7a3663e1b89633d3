#pragma once
// The line-based command runner: one AT command at a time, paced like every other
// write, its answer gathered line by line until a final result code, each command
// with a time-out of its own. Lines that come unasked meanwhile are set aside.

#include "command_answer.h"
#include "platform/modFunctions.h"
#include "platform/serial_control.h"
#include "platform/timer.h"

#include <QObject>
#include <chrono>
#include <functional>

namespace tarvex {

class CommandRunner final : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(const CommandAnswer&)>;

    // `timer` is the runner's alone; the received characters come through feed().
    CommandRunner(SerialControl& line, Pause& pause, Timer& timer, QObject* parent = nullptr);

    // Sends "AT" + `command` + CR LF and calls `done` once with its answer, or with a
    // TimedOut one when no final result came within `timeout` of the line end. May
    // throw from the write, as the serial control and the pause do.
    void run(const QString& command, std::chrono::milliseconds timeout, Done done);
    // As run(), for a command that has gone out already by other means.
    void await(const QString& command, std::chrono::milliseconds timeout, Done done);
    bool active() const { return static_cast<bool>(done_); }
    // Drops the command in progress without calling its `done`.
    void cancel();

    // Received characters, as the receive path reads them.
    void feed(const QString& characters);

    // The lines set aside as unsolicited, over every command so far.
    const QStringList& unsolicited() const { return unsolicited_; }

private:
    void takeLine(const QString& line);
    void finish(CommandAnswer::Final final, const QString& finalLine);

    SerialControl& line_;
    Pause& pause_;
    Timer& timer_;
    QString command_;
    QString partial_;
    CommandAnswer answer_;
    Done done_;
    QStringList unsolicited_;
    bool skipNext_ = false; // a new message's or a status report's own second line
    quint64 runs_ = 0;      // commands asked so far, to tell one from the next
};

} // namespace tarvex
