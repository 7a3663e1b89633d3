// The list's devices on Windows: COM n is Windows' own COM n.

#include "port_names.h"

#include <QSerialPortInfo>

namespace tarvex {

QString defaultDeviceForPort(int port) {
    return comName(port);
}

// Windows lists its ports from the registry and SetupAPI, without opening them.
void lookUpDevices(QList<PortInfo>& ports) {
    const QList<QSerialPortInfo> available = QSerialPortInfo::availablePorts();
    for (PortInfo& info : ports) {
        for (const QSerialPortInfo& port : available) {
            if (port.portName().compare(info.device, Qt::CaseInsensitive) != 0 &&
                port.systemLocation().compare(info.device, Qt::CaseInsensitive) != 0)
                continue;
            info.present = true;
            info.manufacturer = port.manufacturer();
            info.description = port.description();
            info.serialNumber = port.serialNumber();
        }
    }
}

} // namespace tarvex
