#include "port_names.h"

#include "serial_error.h"

#include <QStringList>
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
    return defaultDeviceForPort(port);
}

QString portLabel(int port, const QString& device) {
    const QString name = comName(port);
    return device.isEmpty() || device == name ? name : QStringLiteral("%1 (%2)").arg(name, device);
}

namespace {

// "Telit LE910": the maker once, even when the product string repeats it.
QString productName(const PortInfo& info) {
    if (info.manufacturer.isEmpty() ||
        info.description.startsWith(info.manufacturer, Qt::CaseInsensitive))
        return info.description;
    if (info.description.isEmpty())
        return info.manufacturer;
    return info.manufacturer + QLatin1Char(' ') + info.description;
}

} // namespace

QString portDetails(const PortInfo& info) {
    QStringList lines{info.device + (info.present ? QStringLiteral(": device present")
                                                  : QStringLiteral(": no device present"))};
    const auto add = [&lines](const QString& label, const QString& value) {
        if (!value.isEmpty())
            lines.append(label + QStringLiteral(": ") + value);
    };
    add(QStringLiteral("Manufacturer"), info.manufacturer);
    add(QStringLiteral("Product"), info.description);
    add(QStringLiteral("Serial number"), info.serialNumber);
    if (info.usbInterface >= 0)
        add(QStringLiteral("USB interface"), QString::number(info.usbInterface));
    add(QStringLiteral("Linked as"), info.links.join(QStringLiteral(", ")));
    if (!info.console.isEmpty())
        add(QStringLiteral("Also a console"), info.console);
    if (info.modemManagerProbes)
        add(QStringLiteral("ModemManager"),
            QStringLiteral("probes this modem; stop it while testing "
                           "(sudo systemctl stop ModemManager)"));
    return lines.join(QLatin1Char('\n'));
}

QString modemManagerAdvice(const QString& vidPid) {
    const QStringList ids = vidPid.split(QLatin1Char(':'));
    const QString match =
        ids.size() == 2 ? QStringLiteral("ATTRS{idVendor}==\"%1\", ATTRS{idProduct}==\"%2\", ")
                              .arg(ids[0], ids[1])
                        : QString();
    return QStringLiteral(
               "ModemManager probes this modem after each plug-in and may keep it open: stop it "
               "while you test (sudo systemctl stop ModemManager), or keep it off this modem for "
               "good with this line in /etc/udev/rules.d/99-tarvex-modem.rules, then plug the "
               "modem in again:\n%1ENV{ID_MM_DEVICE_IGNORE}=\"1\"")
        .arg(match);
}

QString consoleWarning(const PortInfo& info) {
    return QStringLiteral("%1 is also a console, with %2: the modem's answers may go there "
                          "instead of to Tarvex, and what is written there goes to the modem.\n"
                          "Turn the console off: %3.")
        .arg(portLabel(info.port, info.device), info.console, info.consoleFix);
}

QString portSummary(const PortInfo& info) {
    QStringList parts{info.device};
    if (const QString product = productName(info); !product.isEmpty())
        parts.append(product);
    if (info.usbInterface >= 0)
        parts.append(QStringLiteral("interface %1").arg(info.usbInterface));
    return QStringLiteral("%1 (%2)").arg(comName(info.port), parts.join(QStringLiteral(", ")));
}

QString presentPorts(const QList<PortInfo>& ports, const QList<PortInfo>& beyond, int triedPort) {
    QStringList present;
    for (const PortInfo& info : ports) {
        if (info.present)
            present.append(portSummary(info));
    }
    QString report = present.isEmpty()
                         ? QStringLiteral("No serial device is present on COM1 to COM40.")
                         : QStringLiteral("Present: ") + present.join(QStringLiteral(", "));
    if (beyond.isEmpty())
        return report;

    QStringList named;
    for (const PortInfo& info : beyond.mid(0, kMostDevicesNamedBeyond)) {
        QStringList known;
        if (const QString product = productName(info); !product.isEmpty())
            known.append(product);
        if (info.usbInterface >= 0)
            known.append(QStringLiteral("interface %1").arg(info.usbInterface));
        named.append(known.isEmpty() ? info.device
                                     : QStringLiteral("%1 (%2)").arg(
                                           info.device, known.join(QStringLiteral(", "))));
    }
    QString list = named.join(QStringLiteral(", "));
    if (beyond.size() > kMostDevicesNamedBeyond)
        list += QStringLiteral(" and %1 more").arg(beyond.size() - kMostDevicesNamedBeyond);
    const BeyondTheList wording = beyondTheListWording();
    const int port = triedPort >= kFirstPort && triedPort <= kLastPort ? triedPort : kFirstPort;
    return report +
           QStringLiteral("\nAlso present, beyond %1: %2. Start Tarvex with "
                          "TARVEX_COM%3=%4%5.")
               .arg(wording.where, list, QString::number(port), beyond[0].device, wording.advice);
}

QList<PortInfo> SystemPortDirectory::ports() const {
    QList<PortInfo> ports;
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        PortInfo info;
        info.port = port;
        info.device = devices_(port);
        ports.append(info);
    }
    lookUpDevices(ports);
    return ports;
}

QList<PortInfo> SystemPortDirectory::beyondTheList(const QList<PortInfo>& entries) const {
    return devicesBeyond(entries);
}

QString SystemPortDirectory::adapterTakenAway() const {
    return tarvex::adapterTakenAway();
}

} // namespace tarvex
