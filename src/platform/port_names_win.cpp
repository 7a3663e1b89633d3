// The list's devices on Windows: COM n is Windows' own COM n.

#include "port_names.h"

#include <QRegularExpression>
#include <QSerialPortInfo>
#include <algorithm>

namespace tarvex {

QString defaultDeviceForPort(int port) {
    return comName(port);
}

namespace {

// "COM47" and "\\.\COM47" are one port.
bool samePort(const QSerialPortInfo& port, const QString& device) {
    return port.portName().compare(device, Qt::CaseInsensitive) == 0 ||
           port.systemLocation().compare(device, Qt::CaseInsensitive) == 0;
}

void readDetails(const QSerialPortInfo& port, PortInfo& info) {
    info.present = true;
    info.manufacturer = port.manufacturer();
    info.description = port.description();
    info.serialNumber = port.serialNumber();
    if (port.hasVendorIdentifier() && port.hasProductIdentifier())
        info.vidPid = QStringLiteral("%1:%2")
                          .arg(port.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                          .arg(port.productIdentifier(), 4, 16, QLatin1Char('0'));
}

} // namespace

// Windows lists its ports from the registry and SetupAPI, without opening them.
void lookUpDevices(QList<PortInfo>& ports) {
    const QList<QSerialPortInfo> available = QSerialPortInfo::availablePorts();
    for (PortInfo& info : ports) {
        for (const QSerialPortInfo& port : available) {
            if (samePort(port, info.device))
                readDetails(port, info);
        }
    }
}

QList<PortInfo> devicesBeyond(const QList<PortInfo>& entries) {
    QList<PortInfo> beyond;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
        const bool reached = std::any_of(entries.begin(), entries.end(), [&](const PortInfo& e) {
            return samePort(port, e.device);
        });
        if (reached)
            continue;
        PortInfo info;
        info.device = port.portName();
        readDetails(port, info);
        beyond.append(info);
    }
    // COM9 before COM10.
    std::sort(beyond.begin(), beyond.end(), [](const PortInfo& a, const PortInfo& b) {
        return a.device.size() != b.device.size() ? a.device.size() < b.device.size()
                                                  : a.device < b.device;
    });
    return beyond;
}

bool namesADevice(const QString& argument) {
    static const QRegularExpression comPort(QStringLiteral(R"re(^(\\\\\.\\)?COM[1-9][0-9]*$)re"),
                                            QRegularExpression::CaseInsensitiveOption);
    return comPort.match(argument).hasMatch();
}

QString notASerialDevice(const QString&) {
    return {};
}

// A COM name is all a command line can give here (namesADevice).
QString notATerminal(const QString&) {
    return {};
}

QList<PortInfo> serialDevicesPresent() {
    return devicesBeyond({});
}

BeyondTheList beyondTheListWording() {
    return {QStringLiteral("COM40"),
            QStringLiteral(", or give it a number up to 40 in Device Manager (Ports, "
                           "Properties, Port Settings, Advanced, COM Port Number)")};
}

// A COM port that another program holds still shows in the registry: Windows has no
// such case to name.
QString adapterTakenAway() {
    return {};
}

} // namespace tarvex
