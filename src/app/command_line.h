#pragma once
// The command line, read once before any application object exists: the window with
// its options, one of the shell's commands, the help or the version, or a refusal.

#include "session_options.h"

#include <QString>
#include <QStringList>
#include <variant>

class QCommandLineParser;

namespace tarvex {

struct WindowRequest {
    SessionOptions log;
    int baud = 9600; // --baud: the line speed Connect sets
    // -platform or QT_QPA_PLATFORM chose where the window goes: Qt decides, and no
    // display is looked for beforehand.
    bool platformChosen = false;
};

struct ShellRequest {
    enum class Command { Check, Send, Status } command = Command::Check;
    // How --status tells its report: to a person, or to a monitoring system.
    enum class Format { Text, Json, Nagios, Prometheus } format = Format::Text;
    QString portArgument; // PORT as given
    qint16 port = 0;      // the entry it names, or that stands for `device`
    QString device;       // the device PORT named where no entry reaches it; else empty
    QString number;
    QString text;
    int tries = 1;
    int baud = 9600; // --baud
    SessionOptions log;
    // --status: the signal below which a monitoring system is warned and alarmed, the
    // whole run's limit, and the file the report goes to instead of standard output.
    int warningDbm = -90;
    int criticalDbm = -100;
    int timeoutSeconds = 30;
    QString output;

    QString commandName() const;
};

// --scan: which ports answer AT, the ones named or those where modems are found.
struct ScanRequest {
    // A port named on the command line: the device, and the entry that reaches it.
    struct Port {
        QString argument; // as given
        QString device;
        int entry = 0; // 0: no entry reaches it
    };
    QList<Port> ports; // none: the system's own choice
    bool all = false;  // --all: every serial device, not only modems' kinds
    bool json = false; // --format json
};

struct TextRequest {
    enum class Kind { Help, Version } kind = Kind::Help;
};

// A command line that cannot run: nothing is opened and nothing sent.
struct Refusal {
    QString why;
    bool shell = false;  // a shell command was asked for: exit 64 rather than Qt's 1
    bool nagios = false; // --format nagios: the refusal is a plugin's UNKNOWN, exit 3
};

using Request = std::variant<WindowRequest, ShellRequest, ScanRequest, TextRequest, Refusal>;

// `arguments` as QCoreApplication::arguments() gives them (the program first). Qt's own
// window options (-platform, -style, ...) are the window's and set aside; after "--"
// nothing is an option.
Request parseCommandLine(const QStringList& arguments);

// Every option, and the help's text.
void describeOptions(QCommandLineParser& parser);

} // namespace tarvex
