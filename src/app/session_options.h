#pragma once
// Whether and how the session log is kept, and the log's header.

#include <QStringList>
#include <memory>

namespace tarvex {

class SessionLog;

struct SessionOptions {
    bool log = true;
    bool personalData = false; // the number and the text as typed
};

// Versions, system, and what the run shows on (`surface`): what a failure report
// needs first.
QStringList sessionHeader(const SessionOptions& options, const QString& surface);

// The log of this run, or none when it is turned off.
std::shared_ptr<SessionLog> startSessionLog(const SessionOptions& options, const QString& surface);

} // namespace tarvex
