// Opens a device as the main window's Connect would, from a separate process (and,
// for the permission check, as another user), and prints what the operator reads.
// With --hold it keeps the port open until its standard input closes.

#include "platform/qt_serial_control.h"

#include <QCoreApplication>
#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fputs("usage: tarvex-open-probe DEVICE [--hold]\n", stderr);
        return 2;
    }
    qputenv("TARVEX_COM1", args.at(1).toLocal8Bit());
    tarvex::QtSerialControl port;
    try {
        port.setCommPort(1);
        port.setPortOpen(true);
    } catch (const tarvex::SerialError& error) {
        std::printf("error %d %s\n", static_cast<int>(error.kind()), qPrintable(error.text()));
        return 1;
    }
    std::printf("open\n");
    std::fflush(stdout);
    if (args.contains(QStringLiteral("--hold"))) {
        std::string line;
        while (std::getline(std::cin, line)) {
        }
    }
    return 0;
}
