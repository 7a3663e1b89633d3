#include "command_line.h"

#include "log/session_log.h"
#include "modem/sms_input.h"
#include "platform/port_names.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace tarvex {
namespace {

const QString kEndOfOptions = QStringLiteral("--");

// Qt's own options, which QApplication takes from the command line for the window.
// Each is written with one dash or two, its value after it or after "=".
const QStringList kQtOptionsWithValue{
    "platform",        "platformpluginpath", "platformtheme", "plugin",
    "qwindowgeometry", "qwindowicon",        "qwindowtitle",  "session",
    "style",           "stylesheet",         "display",       "geometry"};
const QStringList kQtFlags{"reverse", "widgetcount", "nograb", "dograb", "sync"};

// The name of Qt's option that `argument` is, or empty; `inlineValue` says whether it
// carries its value ("-style=fusion").
QString qtOption(const QString& argument, bool& inlineValue) {
    static const QRegularExpression form(QStringLiteral("^--?([a-z]+)(=.*)?$"));
    const QRegularExpressionMatch match = form.match(argument);
    if (!match.hasMatch())
        return {};
    const QString name = match.captured(1);
    inlineValue = match.hasCaptured(2);
    if (kQtOptionsWithValue.contains(name) || (kQtFlags.contains(name) && !inlineValue))
        return name;
    return {};
}

// `arguments` without Qt's window options; `platformChosen` says whether -platform was
// among them.
QStringList withoutQtOptions(const QStringList& arguments, bool& platformChosen) {
    QStringList kept;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == kEndOfOptions) {
            kept += arguments.mid(i);
            break;
        }
        bool inlineValue = false;
        const QString name = i == 0 ? QString() : qtOption(argument, inlineValue);
        if (name.isEmpty()) {
            kept << argument;
            continue;
        }
        if (name == QLatin1String("platform"))
            platformChosen = true;
        if (kQtOptionsWithValue.contains(name) && !inlineValue)
            ++i; // its value
    }
    return kept;
}

// The entry PORT names ("COM3"), else the entry whose device it is (also through a
// link: /dev/serial0), else COM1 standing for the device itself.
std::variant<ShellRequest, Refusal> withPort(ShellRequest request) {
    static const QRegularExpression entry(QStringLiteral("^COM([0-9]+)$"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QString& argument = request.portArgument;
    const QRegularExpressionMatch match = entry.match(argument);
    const int number = match.hasMatch() ? match.captured(1).toInt() : 0;
    if (number >= kFirstPort && number <= kLastPort) {
        request.port = qint16(number);
        return request;
    }
    if (!namesADevice(argument))
        return Refusal{QStringLiteral("%1: no such port: give COM%2 to COM%3, or the device itself")
                           .arg(argument)
                           .arg(kFirstPort)
                           .arg(kLastPort),
                       true};
    if (const QString why = notASerialDevice(argument); !why.isEmpty())
        return Refusal{QStringLiteral("%1 is not a serial port (it is %2); nothing was opened")
                           .arg(argument, why),
                       true};
    const QString device = QFileInfo(argument).canonicalFilePath();
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        const QString entryDevice = deviceForPort(port);
        if (entryDevice == argument ||
            (!device.isEmpty() && QFileInfo(entryDevice).canonicalFilePath() == device)) {
            request.port = qint16(port);
            return request;
        }
    }
    request.port = qint16(kFirstPort);
    request.device = argument;
    return request;
}

std::variant<ShellRequest, Refusal> shellRequest(const QCommandLineParser& parser,
                                                 SessionOptions log) {
    const bool check = parser.isSet(QStringLiteral("check"));
    const bool send = parser.isSet(QStringLiteral("send"));
    if (check && send)
        return Refusal{QStringLiteral("--check and --send are two runs: give one of them"), true};
    ShellRequest request;
    request.command = check ? ShellRequest::Command::Check : ShellRequest::Command::Send;
    request.portArgument = parser.value(request.commandName());
    request.log = log;
    const QStringList rest = parser.positionalArguments();
    const auto refuse = [](const QString& why) { return Refusal{why, true}; };
    if (check) {
        if (!rest.isEmpty())
            return refuse(
                QStringLiteral("--check takes only PORT, not \"%1\"").arg(rest.join(' ')));
        bool isNumber = false;
        request.tries = parser.value(QStringLiteral("tries")).toInt(&isNumber);
        if (!isNumber || request.tries < 1 || request.tries > 99)
            return refuse(QStringLiteral("--tries takes a number from 1 to 99, not \"%1\"")
                              .arg(parser.value(QStringLiteral("tries"))));
    } else {
        if (parser.isSet(QStringLiteral("tries")))
            return refuse(QStringLiteral("--tries goes with --check; --send sends once"));
        if (rest.size() < 2)
            return refuse(rest.isEmpty() ? QStringLiteral("--send needs NUMBER and TEXT after PORT")
                                         : QStringLiteral("--send needs TEXT after NUMBER"));
        if (rest.size() > 2)
            return refuse(QStringLiteral("TEXT is one argument: put it in quotes, as in "
                                         "tarvex --send %1 %2 \"%3\"")
                              .arg(request.portArgument, rest[0], rest.mid(1).join(' ')));
        request.number = rest[0];
        request.text = rest[1];
        if (const auto problem = smsInputProblem(request.number, request.text))
            return refuse(*problem);
    }
    return withPort(std::move(request));
}

// Whether an option of the shell's is among `arguments`, before any "--": it decides
// how a wrong command line is refused.
bool asksForTheShell(const QStringList& arguments) {
    for (const QString& argument : arguments) {
        if (argument == kEndOfOptions)
            return false;
        for (const QLatin1String command : {QLatin1String("--check"), QLatin1String("--send")})
            if (argument == command || argument.startsWith(command + QLatin1Char('=')))
                return true;
    }
    return false;
}

} // namespace

QString ShellRequest::commandName() const {
    return command == Command::Check ? QStringLiteral("check") : QStringLiteral("send");
}

void describeOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        QStringLiteral("Checks a GSM modem on a serial port and sends a test SMS through it.\n\n"
                       "From a shell, with no display needed:\n"
                       "  tarvex --check PORT [--tries N]\n"
                       "  tarvex --send PORT NUMBER \"TEXT\"\n"
                       "PORT is COM1 to COM40 or a device (%1). Exit status:\n"
                       "  0    done: GSM Modem OK, SMS Send\n"
                       "  1    the modem said no or nothing\n"
                       "  2    the port could not be opened, or failed\n"
                       "  64   a wrong command line or input: nothing sent\n"
                       "  130  interrupted\n\n"
                       "Each run keeps a log of the serial dialogue in %2 (the 10 newest runs).")
            .arg(namesADevice(QStringLiteral("COM47")) ? QStringLiteral("COM47")
                                                       : QStringLiteral("/dev/ttyUSB2"),
                 QDir::toNativeSeparators(defaultLogFolder())));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("check"), QStringLiteral("Test the modem on PORT: AT, and OK within 2 s."),
         QStringLiteral("PORT")},
        {QStringLiteral("send"),
         QStringLiteral("Send TEXT (34 characters at most, in quotes) to NUMBER through the "
                        "modem on PORT."),
         QStringLiteral("PORT")},
        {QStringLiteral("tries"),
         QStringLiteral("With --check: how many times to send AT, 2 s each (default 1)."),
         QStringLiteral("N"), QStringLiteral("1")},
        {QStringLiteral("no-log"), QStringLiteral("Keep no log of this run.")},
        {QStringLiteral("log-personal-info"),
         QStringLiteral("Log the mobile number and the SMS text as typed; by default the log "
                        "shows only the number's country code and last two digits, and the "
                        "text's length.")},
    });
}

Request parseCommandLine(const QStringList& arguments) {
    bool platformChosen = qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
    const QStringList ours = withoutQtOptions(arguments, platformChosen);
    QCommandLineParser parser;
    describeOptions(parser);
    const bool shell = asksForTheShell(ours);
    if (!parser.parse(ours))
        return Refusal{parser.errorText(), shell};
    // The help and the version answer whatever else is given, as Qt's own do.
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")))
        return TextRequest{TextRequest::Kind::Help};
    if (parser.isSet(QStringLiteral("version")))
        return TextRequest{TextRequest::Kind::Version};
    const SessionOptions log{!parser.isSet(QStringLiteral("no-log")),
                             parser.isSet(QStringLiteral("log-personal-info"))};
    if (shell) {
        auto request = shellRequest(parser, log);
        if (auto* refusal = std::get_if<Refusal>(&request))
            return *refusal;
        return std::get<ShellRequest>(request);
    }
    return WindowRequest{log, platformChosen};
}

} // namespace tarvex
