#pragma once
// The command line: whether and how the session log is kept, and the shell's
// commands. Nothing on it changes what the window shows or does.

#include <QStringList>
#include <memory>

class QCommandLineParser;

namespace tarvex {

class SessionLog;

struct SessionOptions {
    bool log = true;
    bool personalData = false; // the number and the text as typed
};

// True when the command line asks only for the help or the version, which need no
// window system: a QCoreApplication answers them, on a terminal without a display.
bool asksOnlyForText(int argc, char** argv);

// Every option a run understands, the shell's among them, and the help's text.
void describeOptions(QCommandLineParser& parser);
// The log options among parsed arguments.
SessionOptions sessionOptionsOf(const QCommandLineParser& parser);

// Reads the application's arguments; --help, --version and a wrong option print
// their text (a message box on Windows) and end the process.
SessionOptions sessionOptionsFromCommandLine();

// The window's platform, style and look, for the log's header; needs a QApplication.
QString windowSurface();

// Versions, system, and what the run shows on (`surface`): what a failure report
// needs first.
QStringList sessionHeader(const SessionOptions& options, const QString& surface);

// The log of this run, or none when it is turned off.
std::shared_ptr<SessionLog> startSessionLog(const SessionOptions& options, const QString& surface);

} // namespace tarvex
