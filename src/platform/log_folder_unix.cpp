#include "session_log.h"

#include <QDir>

namespace tarvex {

// Worked out here rather than by QStandardPaths, which knows the state folder only
// from Qt 6.7 on.
QString defaultLogFolder() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state)) // relative: invalid, says XDG
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/tarvex");
}

} // namespace tarvex
