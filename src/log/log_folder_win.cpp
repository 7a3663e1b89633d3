#include "session_log.h"

#include <QDir>
#include <QStandardPaths>

namespace tarvex {

QString defaultLogFolder() {
    QString local = qEnvironmentVariable("LOCALAPPDATA");
    if (local.isEmpty()) // GenericDataLocation is %LOCALAPPDATA% on Windows
        local = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir::fromNativeSeparators(local) + QStringLiteral("/Tarvex/logs");
}

// %LOCALAPPDATA% is the user's own: its access list admits only the user, the system
// and administrators, and what is made inside it inherits that.
QString makeLogFolderPrivate(const QString& folder) {
    if (QDir(folder).mkpath(QStringLiteral(".")))
        return {};
    return QStringLiteral("cannot make the folder %1").arg(QDir::toNativeSeparators(folder));
}

bool openNewLogFile(QFile& file) {
    return file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered);
}

} // namespace tarvex
