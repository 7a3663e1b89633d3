#pragma once
// The command line: whether and how the session log is kept. Nothing on it changes
// what the window shows or does.

#include <QStringList>
#include <memory>

namespace tarvex {

class SessionLog;

struct SessionOptions {
    bool log = true;
    bool personalData = false; // the number and the text as typed
};

// True when the command line asks only for the help or the version, which need no
// window system: a QCoreApplication answers them, on a terminal without a display.
bool asksOnlyForText(int argc, char** argv);

// Reads the application's arguments; --help, --version and a wrong option print
// their text (a message box on Windows) and end the process.
SessionOptions sessionOptionsFromCommandLine();

// Versions, system, platform, style and look: what a failure report needs first.
QStringList sessionHeader(const SessionOptions& options);

// The log of this run, or none when it is turned off.
std::shared_ptr<SessionLog> startSessionLog(const SessionOptions& options);

} // namespace tarvex
