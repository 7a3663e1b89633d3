#include "application.h"

#include <QGuiApplication>

namespace tarvex {

void setUpApplication() {
    // No display name: Qt appends it to every window title ("Tarvex - GUI — Test
    // Tarvex"). Message boxes carry "Test Tarvex" as a caption of their own instead.
    QGuiApplication::setApplicationName(QStringLiteral("Tarvex"));
    QGuiApplication::setApplicationVersion(QStringLiteral(TARVEX_VERSION));
    // Lets desktops match the windows to io.github.tarvex.Tarvex.desktop and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.tarvex.Tarvex"));
}

} // namespace tarvex
