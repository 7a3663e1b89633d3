#include "port_names.h"

#include "serial_error.h"

#include <QtGlobal>

namespace tarvex {

QString comName(int port) {
    return QStringLiteral("COM%1").arg(port);
}

QString deviceForPort(int port) {
    if (port < kFirstPort || port > kLastPort) {
        const QString why = port == 0 ? QStringLiteral("no port is selected in the list")
                                      : QStringLiteral("the list only has COM1 to COM40");
        throw SerialError(SerialError::Kind::InvalidPort, comName(port),
                          QStringLiteral("invalid port number; %1.").arg(why));
    }
    const QString override =
        qEnvironmentVariable(qPrintable(QStringLiteral("TARVEX_COM%1").arg(port)));
    if (!override.isEmpty())
        return override;
#ifdef Q_OS_WIN
    return comName(port);
#else
    // Built-in UARTs first, then the USB adapters most modems come on.
    constexpr int kBuiltInPorts = 32;
    if (port <= kBuiltInPorts)
        return QStringLiteral("/dev/ttyS%1").arg(port - 1);
    return QStringLiteral("/dev/ttyUSB%1").arg(port - kBuiltInPorts - 1);
#endif
}

QString describePort(int port) {
    if (port < kFirstPort || port > kLastPort)
        return comName(port);
    return QStringLiteral("%1 (%2)").arg(comName(port), deviceForPort(port));
}

} // namespace tarvex
