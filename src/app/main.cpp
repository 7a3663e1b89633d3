#include "app/frmAbout.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvex"));
    QApplication::setApplicationDisplayName(QStringLiteral("Test Tarvex"));
    // Lets desktops match the windows to tarvex.desktop and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("tarvex"));

    QIcon icon;
    for (const int size : tarvex::kApplicationIconSizes)
        icon.addFile(tarvex::applicationIconPath(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    // The splash hands over to the main window and keeps it for the rest of the run.
    const std::unique_ptr<tarvex::frmAbout> splash = tarvex::frmAbout::system();
    splash->show();
    return QApplication::exec();
}
