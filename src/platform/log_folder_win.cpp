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

} // namespace tarvex
