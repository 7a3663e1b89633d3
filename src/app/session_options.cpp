#include "session_options.h"

#include "platform/colour_scheme.h"
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
    for (int i = 1; i < argc; ++i)
        if (textOnly.contains(QString::fromLocal8Bit(argv[i])))
            return true;
    return false;
}

SessionOptions sessionOptionsFromCommandLine() {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Checks a GSM modem on a serial port and sends a test SMS through it.\n\n"
                       "Each run keeps a log of the serial dialogue in %1 (the 10 newest runs).")
            .arg(QDir::toNativeSeparators(defaultLogFolder())));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption noLog(QStringLiteral("no-log"),
                                   QStringLiteral("Keep no log of this run."));
    const QCommandLineOption personal(
        QStringLiteral("log-personal-info"),
        QStringLiteral("Log the mobile number and the SMS text as typed; by default the log "
                       "shows only the number's country code and last two digits, and the "
                       "text's length."));
    parser.addOption(noLog);
    parser.addOption(personal);
    parser.process(QCoreApplication::arguments());
    return {!parser.isSet(noLog), parser.isSet(personal)};
}

QStringList sessionHeader(const SessionOptions& options) {
    return {
        QStringLiteral("Tarvex %1 session log, started %2")
            .arg(QCoreApplication::applicationVersion(),
                 QDateTime::currentDateTime().toString(Qt::ISODateWithMs)),
        QStringLiteral("Qt %1 (built with %2)")
            .arg(QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR)),
        QStringLiteral("system: %1, kernel %2 %3")
            .arg(QSysInfo::prettyProductName(), QSysInfo::kernelType(), QSysInfo::kernelVersion()),
        QStringLiteral("Qt platform: %1, style: %2, look: %3")
            .arg(QGuiApplication::platformName(), QApplication::style()->name(), lookName()),
        options.personalData
            ? QStringLiteral("personal data: the number and the text as typed "
                             "(--log-personal-info)")
            : QStringLiteral("personal data: masked; start Tarvex with --log-personal-info to "
                             "log the number and the text as typed"),
        QStringLiteral("times: milliseconds since the start; --> sent (first and last "
                       "character), <-- received (as read), --- what happened"),
    };
}

std::shared_ptr<SessionLog> startSessionLog(const SessionOptions& options) {
    if (!options.log)
        return nullptr;
    SessionLog::Options settings;
    settings.personalData = options.personalData;
    settings.header = sessionHeader(options);
    return std::make_shared<SessionLog>(settings);
}

} // namespace tarvex
