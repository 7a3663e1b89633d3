#pragma once
// What most stages measure on: Tarvex's main window on a pseudo-terminal, and the
// modem side that answers it there.

#include "bench.h"
#include "recording_message_boxes.h"
#include "ui/frmResult.h"

#include <QPushButton>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tarvex::bench {

// What every SMS of the bench sends, from the window and from the shell alike; the
// body is the longest the window takes.
inline const QString kSmsNumber = QStringLiteral("+15550001234");
inline const QString kSmsBody = QStringLiteral("Tarvex bench: 34 characters, long.");

// The modem side for the window: answers each command line at once from the reader
// thread, and times the window's reaction to the "K" of "OK".
class Modem {
public:
    explicit Modem(PtyPeer& peer);
    ~Modem();
    Modem(const Modem&) = delete;
    Modem& operator=(const Modem&) = delete;

    // Forgets a half line, such as the pacing run's characters: called with the line quiet.
    void reset();

    void clearReactions();
    std::vector<double> reactionsMs() const;

private:
    void onByte(char byte, Clock::time_point at);

    PtyPeer& peer_;
    std::string line_;
    bool awaitingEchoOff_ = false;
    Clock::time_point kWritten_;
    mutable std::mutex mutex_;
    std::vector<double> reactions_;
};

struct Window {
    // With a `logFolder`, a session log writes there, as in the program. Connected
    // unless `connectNow` is false.
    explicit Window(const std::string& device, const QString& logFolder = {},
                    bool connectNow = true);

    // Clicks `button` and runs the loop until the window shows its next box; false
    // if none came within `timeout`.
    bool clickForBox(QPushButton* button, std::chrono::milliseconds timeout);
    // Fills in kSmsNumber and `body` for Send SMS.
    void fillSms(const QString& body);

    RecordingMessageBoxes* boxes = nullptr;
    std::unique_ptr<frmResult> window;
};

} // namespace tarvex::bench
