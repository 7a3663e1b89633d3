#include "command_line.h"

#include "log/session_log.h"
#include "modem/sms_input.h"
#include "platform/port_names.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <functional>

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
// link: /dev/serial0), else none (0) and the device itself; or why PORT is none.
// `notSerial` says why a device is not one of the ports PORT may name.
std::variant<ScanRequest::Port, Refusal>
namedPort(const QString& argument, const std::function<QString(const QString&)>& notSerial) {
    static const QRegularExpression entry(QStringLiteral("^COM([0-9]+)$"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = entry.match(argument);
    const int number = match.hasMatch() ? match.captured(1).toInt() : 0;
    if (number >= kFirstPort && number <= kLastPort)
        return ScanRequest::Port{argument, deviceForPort(number), number};
    if (!namesADevice(argument))
        return Refusal{QStringLiteral("%1: no such port: give COM%2 to COM%3, or the device itself")
                           .arg(argument)
                           .arg(kFirstPort)
                           .arg(kLastPort),
                       true};
    if (const QString why = notSerial(argument); !why.isEmpty())
        return Refusal{QStringLiteral("%1 is not a serial port (it is %2); nothing was opened")
                           .arg(argument, why),
                       true};
    const QString device = QFileInfo(argument).canonicalFilePath();
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        const QString entryDevice = deviceForPort(port);
        if (entryDevice == argument ||
            (!device.isEmpty() && QFileInfo(entryDevice).canonicalFilePath() == device))
            return ScanRequest::Port{argument, argument, port};
    }
    return ScanRequest::Port{argument, argument, 0};
}

// PORT's entry, else COM1 standing for the device itself.
std::variant<ShellRequest, Refusal> withPort(ShellRequest request) {
    const auto named = namedPort(request.portArgument, notASerialDevice);
    if (const auto* refusal = std::get_if<Refusal>(&named))
        return *refusal;
    const auto& port = std::get<ScanRequest::Port>(named);
    request.port = qint16(port.entry > 0 ? port.entry : kFirstPort);
    if (port.entry == 0)
        request.device = port.device;
    return request;
}

// --scan's request: its ports, each a terminal, and its few options.
std::variant<ScanRequest, Refusal> scanRequest(const QCommandLineParser& parser) {
    const auto refuse = [](const QString& why) { return Refusal{why, true}; };
    if (parser.isSet(QStringLiteral("baud")))
        return refuse(QStringLiteral("--baud does not go with --scan, which tries 9600, then "
                                     "115200, 57600, 38400 and 19200 itself"));
    for (const char* option :
         {"check", "send", "status", "tries", "warning", "critical", "timeout", "output"})
        if (parser.isSet(QLatin1String(option)))
            return refuse(
                QStringLiteral("--%1 does not go with --scan").arg(QLatin1String(option)));
    ScanRequest request;
    const QString format = parser.value(QStringLiteral("format"));
    if (format != QLatin1String("text") && format != QLatin1String("json"))
        return refuse(
            QStringLiteral("--format is text or json with --scan, not \"%1\"").arg(format));
    request.json = format == QLatin1String("json");
    request.all = parser.isSet(QStringLiteral("all"));
    for (const QString& argument : parser.positionalArguments()) {
        const auto named = namedPort(argument, notATerminal);
        if (const auto* refusal = std::get_if<Refusal>(&named))
            return *refusal;
        request.ports.append(std::get<ScanRequest::Port>(named));
    }
    if (request.all && !request.ports.isEmpty())
        return refuse(QStringLiteral("--all goes with a scan that names no ports"));
    return request;
}

// The line speeds --baud takes: the common ones of modems' UARTs and USB adapters.
const QList<int> kLineSpeeds{1200,  2400,   4800,   9600,   19200, 38400,
                             57600, 115200, 230400, 460800, 921600};

// --baud's value, or why it cannot be one.
std::variant<int, QString> lineSpeed(const QCommandLineParser& parser) {
    const QString given = parser.value(QStringLiteral("baud"));
    bool isNumber = false;
    const int baud = given.toInt(&isNumber);
    if (isNumber && kLineSpeeds.contains(baud))
        return baud;
    QStringList speeds;
    for (const int speed : kLineSpeeds)
        speeds << QString::number(speed);
    return QStringLiteral("--baud takes a line speed of %1, not \"%2\"")
        .arg(speeds.join(QStringLiteral(", ")), given);
}

// A number of dBm from -150 to 0, as --warning and --critical take it.
std::optional<int> dbmValue(const QString& text) {
    bool isNumber = false;
    const int value = text.toInt(&isNumber);
    if (!isNumber || value < -150 || value > 0)
        return std::nullopt;
    return value;
}

// --status's own options, in `request`; empty when they are right.
QString statusOptions(const QCommandLineParser& parser, ShellRequest& request) {
    static const QStringList formats{"text", "json", "nagios", "prometheus"};
    const QString format = parser.value(QStringLiteral("format"));
    if (!formats.contains(format))
        return QStringLiteral("--format is text, json, nagios or prometheus, not \"%1\"")
            .arg(format);
    request.format = ShellRequest::Format(formats.indexOf(format));
    const auto warning = dbmValue(parser.value(QStringLiteral("warning")));
    const auto critical = dbmValue(parser.value(QStringLiteral("critical")));
    if (!warning || !critical)
        return QStringLiteral("--warning and --critical take dBm from -150 to 0, not \"%1\"")
            .arg(!warning ? parser.value(QStringLiteral("warning"))
                          : parser.value(QStringLiteral("critical")));
    if (*warning < *critical)
        return QStringLiteral("--warning (%1 dBm) is below --critical (%2 dBm): a signal is "
                              "warned about before it is critical")
            .arg(*warning)
            .arg(*critical);
    request.warningDbm = *warning;
    request.criticalDbm = *critical;
    bool isNumber = false;
    request.timeoutSeconds = parser.value(QStringLiteral("timeout")).toInt(&isNumber);
    if (!isNumber || request.timeoutSeconds < 1 || request.timeoutSeconds > 3600)
        return QStringLiteral("--timeout takes seconds from 1 to 3600, not \"%1\"")
            .arg(parser.value(QStringLiteral("timeout")));
    request.output = parser.value(QStringLiteral("output"));
    return {};
}

std::variant<ShellRequest, Refusal> shellRequest(const QCommandLineParser& parser,
                                                 SessionOptions log) {
    const bool check = parser.isSet(QStringLiteral("check"));
    const bool send = parser.isSet(QStringLiteral("send"));
    const bool status = parser.isSet(QStringLiteral("status"));
    const bool nagios = parser.value(QStringLiteral("format")) == QLatin1String("nagios");
    const auto refuse = [nagios](const QString& why) { return Refusal{why, true, nagios}; };
    if (int(check) + int(send) + int(status) > 1)
        return refuse(QStringLiteral("--check, --send and --status are runs of their own: give "
                                     "one of them"));
    ShellRequest request;
    const auto baud = lineSpeed(parser);
    if (const auto* why = std::get_if<QString>(&baud))
        return refuse(*why);
    request.baud = std::get<int>(baud);
    request.command = check  ? ShellRequest::Command::Check
                      : send ? ShellRequest::Command::Send
                             : ShellRequest::Command::Status;
    request.portArgument = parser.value(request.commandName());
    request.log = log;
    const QStringList rest = parser.positionalArguments();
    if (!status) {
        for (const char* option : {"format", "warning", "critical", "timeout", "output"})
            if (parser.isSet(QLatin1String(option)))
                return refuse(QStringLiteral("--%1 goes with --status").arg(QLatin1String(option)));
    }
    if (status) {
        if (!rest.isEmpty())
            return refuse(
                QStringLiteral("--status takes only PORT, not \"%1\"").arg(rest.join(' ')));
        if (parser.isSet(QStringLiteral("tries")))
            return refuse(QStringLiteral("--tries goes with --check; --status asks once"));
        if (const QString why = statusOptions(parser, request); !why.isEmpty())
            return refuse(why);
    } else if (check) {
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
    auto withItsPort = withPort(std::move(request));
    if (auto* refusal = std::get_if<Refusal>(&withItsPort))
        refusal->nagios = nagios;
    return withItsPort;
}

// Whether an option of the shell's is among `arguments`, before any "--": it decides
// how a wrong command line is refused.
bool asksForTheShell(const QStringList& arguments) {
    for (const QString& argument : arguments) {
        if (argument == kEndOfOptions)
            return false;
        for (const QLatin1String command : {QLatin1String("--check"), QLatin1String("--send"),
                                            QLatin1String("--status"), QLatin1String("--scan")})
            if (argument == command || argument.startsWith(command + QLatin1Char('=')))
                return true;
    }
    return false;
}

} // namespace

QString ShellRequest::commandName() const {
    switch (command) {
    case Command::Check:
        return QStringLiteral("check");
    case Command::Send:
        return QStringLiteral("send");
    case Command::Status:
        break;
    }
    return QStringLiteral("status");
}

void describeOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        QStringLiteral(
            "Checks a GSM modem on a serial port and sends a test SMS through it.\n\n"
            "From a shell, with no display needed:\n"
            "  tarvex --check PORT [--tries N]\n"
            "  tarvex --send PORT NUMBER \"TEXT\"\n"
            "  tarvex --status PORT [--format text|json|nagios|prometheus]\n"
            "  tarvex --scan [PORT...] [--all] [--format text|json]\n"
            "PORT is COM1 to COM40 or a device (%1). Exit status:\n"
            "  0    done: GSM Modem OK, SMS Send, ready to send SMS, a modem found\n"
            "  1    the modem said no or nothing, or an SMS would not go\n"
            "  2    the port could not be opened, or failed, or --output\n"
            "  64   a wrong command line or input: nothing sent\n"
            "  130  interrupted\n"
            "--format nagios exits as a monitoring plugin: 0 OK, 1 WARNING, 2 CRITICAL,\n"
            "3 UNKNOWN (the port failed, or a wrong command line).\n\n"
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
        {QStringLiteral("status"),
         QStringLiteral("Tell whether an SMS can go from the modem on PORT: SIM, network, "
                        "signal and SMS centre, asked without changing anything."),
         QStringLiteral("PORT")},
        {QStringLiteral("scan"),
         QStringLiteral("Find which port a modem answers AT on, and at which speed: the ports "
                        "named, or the USB serial ports, CDC-ACM modems and the Raspberry Pi's "
                        "serial0. Each probe sends ESC, AT and a carriage return, nothing more.")},
        {QStringLiteral("all"),
         QStringLiteral("With --scan: every serial device, not only modems' kinds. Opening a port "
                        "restarts an Arduino and some other boards.")},
        {QStringLiteral("format"),
         QStringLiteral("With --status: text (default), json, nagios or prometheus; with --scan: "
                        "text or json."),
         QStringLiteral("FORMAT"), QStringLiteral("text")},
        {QStringLiteral("warning"),
         QStringLiteral("With --status: a signal below DBM is a WARNING (default -90)."),
         QStringLiteral("DBM"), QStringLiteral("-90")},
        {QStringLiteral("critical"),
         QStringLiteral("With --status: a signal below DBM is CRITICAL (default -100)."),
         QStringLiteral("DBM"), QStringLiteral("-100")},
        {QStringLiteral("timeout"),
         QStringLiteral("With --status: the whole run's limit in seconds (default 30)."),
         QStringLiteral("SECONDS"), QStringLiteral("30")},
        {QStringLiteral("output"),
         QStringLiteral("With --status: write the report to FILE, whole or not at all."),
         QStringLiteral("FILE")},
        {QStringLiteral("tries"),
         QStringLiteral("With --check: how many times to send AT, 2 s each (default 1)."),
         QStringLiteral("N"), QStringLiteral("1")},
        {QStringLiteral("baud"),
         QStringLiteral("The line speed, for the window's Connect and for --check, --send and "
                        "--status (default 9600): a modem HAT's UART may run at 115200."),
         QStringLiteral("N"), QStringLiteral("9600")},
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
    if (!parser.parse(ours)) {
        // Which format the caller reads is not parsed yet: it is looked for as given.
        const qsizetype format = ours.indexOf(QStringLiteral("--format"));
        const bool nagios = ours.contains(QStringLiteral("--format=nagios")) ||
                            (format > 0 && ours.value(format + 1) == QLatin1String("nagios"));
        return Refusal{parser.errorText(), shell, shell && nagios};
    }
    // The help and the version answer whatever else is given, as Qt's own do.
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")))
        return TextRequest{TextRequest::Kind::Help};
    if (parser.isSet(QStringLiteral("version")))
        return TextRequest{TextRequest::Kind::Version};
    const SessionOptions log{!parser.isSet(QStringLiteral("no-log")),
                             parser.isSet(QStringLiteral("log-personal-info"))};
    if (shell && parser.isSet(QStringLiteral("scan"))) {
        auto request = scanRequest(parser);
        if (auto* refusal = std::get_if<Refusal>(&request))
            return *refusal;
        return std::get<ScanRequest>(request);
    }
    if (parser.isSet(QStringLiteral("all")))
        return Refusal{QStringLiteral("--all goes with --scan"), shell};
    if (shell) {
        auto request = shellRequest(parser, log);
        if (auto* refusal = std::get_if<Refusal>(&request))
            return *refusal;
        return std::get<ShellRequest>(request);
    }
    const auto baud = lineSpeed(parser);
    if (const auto* why = std::get_if<QString>(&baud))
        return Refusal{*why};
    return WindowRequest{log, std::get<int>(baud), platformChosen};
}

} // namespace tarvex
