#include "application.h"

#include <QCoreApplication>

namespace tarvex {

void setUpApplication() {
    // No display name: Qt appends it to every window title ("Tarvex - GUI — Test
    // Tarvex"). Message boxes carry "Test Tarvex" as a caption of their own instead.
    QCoreApplication::setApplicationName(QStringLiteral("Tarvex"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARVEX_VERSION));
}

} // namespace tarvex
