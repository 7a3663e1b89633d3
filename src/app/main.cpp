#include "ui/frmResult.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvex"));
    QApplication::setApplicationDisplayName(QStringLiteral("Test Tarvex"));

    tarvex::frmResult window(tarvex::WindowPlatform::system());
    window.show();
    return QApplication::exec();
}
