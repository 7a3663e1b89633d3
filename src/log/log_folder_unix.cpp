#include "session_log.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvex {

// Worked out here rather than by QStandardPaths, which knows the state folder only
// from Qt 6.7 on.
QString defaultLogFolder() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state)) // relative: invalid, says XDG
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/tarvex");
}

// A log can hold a modem's serial number and, when asked for, the number and the text
// typed: the folder is 0700 whatever the umask, as an SSH client keeps its own.
QString makeLogFolderPrivate(const QString& folder) {
    const QString shown = QDir::toNativeSeparators(folder);
    const QString parent = QFileInfo(folder).absolutePath();
    const QByteArray path = QFile::encodeName(folder);
    if (!QDir().mkpath(parent))
        return QStringLiteral("cannot make the folder %1").arg(shown);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return QStringLiteral("cannot make the folder %1: %2")
            .arg(shown, QString::fromLocal8Bit(std::strerror(errno)));
    struct stat st = {};
    if (::stat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return QStringLiteral("cannot make the folder %1: it is not a folder").arg(shown);
    // Narrowing another user's folder would not make it ours: they could widen it again.
    if (st.st_uid != ::geteuid())
        return QStringLiteral("%1 belongs to another user (uid %2), so a log there would not "
                              "be yours alone")
            .arg(shown)
            .arg(st.st_uid);
    if ((st.st_mode & 07777) != 0700 && ::chmod(path.constData(), 0700) != 0)
        return QStringLiteral("cannot make %1 yours alone: %2")
            .arg(shown, QString::fromLocal8Bit(std::strerror(errno)));
    return {};
}

// NewOnly is O_CREAT | O_EXCL, which never follows a link, dangling or not: a link
// planted under the name fails the open instead of sending the log elsewhere.
bool openNewLogFile(QFile& file) {
    return file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered,
                     QFile::ReadOwner | QFile::WriteOwner);
}

} // namespace tarvex
