#include "session_options.h"

#include "log/session_log.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSysInfo>

namespace tarvex {

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
