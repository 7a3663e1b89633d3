#include "session_options.h"

#include "platform/colour_scheme.h"
#include "platform/port_names.h"
#include "platform/session_log.h"
#include "ui/window_look.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QStyle>
#include <QSysInfo>

namespace tarvex {
namespace {

QString lookName() {
    const QPalette scheme = QApplication::palette();
    if (!lookFor(scheme, colour_scheme::systemHighContrast()).graphicalFaces)
        return QStringLiteral("high contrast");
    return scheme.color(QPalette::Window).lightness() < 128 ? QStringLiteral("dark")
                                                            : QStringLiteral("light");
}

} // namespace

bool asksOnlyForText(int argc, char** argv) {
    static const QStringList textOnly{"-h", "--help", "-?", "--help-all", "-v", "--version"};
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument == QLatin1String("--")) // what follows is a number or a text
            return false;
        if (textOnly.contains(argument))
            return true;
    }
    return false;
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

SessionOptions sessionOptionsOf(const QCommandLineParser& parser) {
    return {!parser.isSet(QStringLiteral("no-log")),
            parser.isSet(QStringLiteral("log-personal-info"))};
}

SessionOptions sessionOptionsFromCommandLine() {
    QCommandLineParser parser;
    describeOptions(parser);
    parser.process(QCoreApplication::arguments());
    return sessionOptionsOf(parser);
}

QString windowSurface() {
    return QStringLiteral("Qt platform: %1, style: %2, look: %3")
        .arg(QGuiApplication::platformName(), QApplication::style()->name(), lookName());
}

QStringList sessionHeader(const SessionOptions& options, const QString& surface) {
    return {
        QStringLiteral("Tarvex %1 session log, started %2")
            .arg(QCoreApplication::applicationVersion(),
                 QDateTime::currentDateTime().toString(Qt::ISODateWithMs)),
        QStringLiteral("Qt %1 (built with %2)")
            .arg(QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR)),
        QStringLiteral("system: %1, kernel %2 %3")
            .arg(QSysInfo::prettyProductName(), QSysInfo::kernelType(), QSysInfo::kernelVersion()),
        surface,
        options.personalData
            ? QStringLiteral("personal data: the number and the text as typed "
                             "(--log-personal-info)")
            : QStringLiteral("personal data: masked; start Tarvex with --log-personal-info to "
                             "log the number and the text as typed"),
        QStringLiteral("times: milliseconds since the start; --> sent (first and last "
                       "character), <-- received (as read), --- what happened"),
    };
}

std::shared_ptr<SessionLog> startSessionLog(const SessionOptions& options, const QString& surface) {
    if (!options.log)
        return nullptr;
    SessionLog::Options settings;
    settings.personalData = options.personalData;
    settings.header = sessionHeader(options, surface);
    return std::make_shared<SessionLog>(settings);
}

} // namespace tarvex
