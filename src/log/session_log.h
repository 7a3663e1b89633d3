#pragma once
// The session log: the whole serial dialogue of one run, with times, in a file of its
// own in the user's state folder. It never stands between the operator and the modem:
// whatever goes wrong with the file is said once on stderr and the log stops.

#include "dialogue_record.h"

#include <QFile>
#include <QString>
#include <QStringList>
#include <chrono>

namespace tarvex {

// $XDG_STATE_HOME/tarvex (~/.local/state/tarvex) on Linux, %LOCALAPPDATA%\Tarvex\logs
// on Windows. One implementation per platform (log_folder_unix.cpp, log_folder_win.cpp).
QString defaultLogFolder();
// Makes the folder, and on Linux makes it its user's alone (0700); refuses one that
// belongs to someone else. Empty when the folder can be used, else why not.
QString makeLogFolderPrivate(const QString& folder);
// Creates the file, only if nothing (a link included) has its name; 0600 on Linux.
bool openNewLogFile(QFile& file);

class SessionLog {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr qint64 kMaxFileBytes = 1024 * 1024;
    static constexpr int kKeptFiles = 10;

    struct Options {
        QString folder = defaultLogFolder();
        bool personalData = false; // the number and the text as typed
        QStringList header;        // written first, one "# " line each
        Clock::time_point start = Clock::now();
    };

    explicit SessionLog(Options options);
    ~SessionLog();
    SessionLog(const SessionLog&) = delete;
    SessionLog& operator=(const SessionLog&) = delete;

    // Empty when no file could be made.
    QString filePath() const;

    // The time since the start, as the lines carry it.
    LogTime now() const;

    // Characters timed before the device was handed them: none reached it earlier.
    void sent(const QString& characters, LogTime handedAt);
    void received(const QString& characters);
    void note(const QString& text);
    void beginSms(const QString& number, const QString& text);
    void endSms();
    // Writes what is still open, and how much the size cap left out; the process may
    // end right after this.
    void finish();

private:
    void open(const Options& options);
    void write(const QString& line);
    void stop(const QString& why);

    Clock::time_point start_;
    QFile file_;
    DialogueRecord record_;
    qint64 written_ = 0;
    qint64 leftOut_ = 0;
    bool stopped_ = false;
};

} // namespace tarvex
