#include "scan_report.h"

#include "serial/port_opening.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace tarvex {
namespace {

QString speedList(const QList<int>& speeds) {
    QStringList names;
    for (const int speed : speeds)
        names << QString::number(speed);
    if (names.size() < 2)
        return names.value(0);
    return names.mid(0, names.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" or ") +
           names.last();
}

QString usbText(const PortInfo& info) {
    QString product = info.description.isEmpty() ? info.manufacturer : info.description;
    if (product.isEmpty())
        product = info.vidPid;
    if (product.isEmpty())
        return {};
    if (info.usbInterface >= 0)
        product += QStringLiteral(", interface %1").arg(info.usbInterface);
    return product;
}

// The name to give the found port by: its by-id link, which keeps its name when the
// modem comes back under another number; else the device.
QString lastingName(const ScannedPort& port) {
    return port.info.byId.isEmpty() ? port.info.device : port.info.byId;
}

QString cell(const QString& text) {
    return text.isEmpty() ? QStringLiteral("-") : text;
}

} // namespace

bool answered(const ScannedPort& port) {
    return port.skip.isEmpty() && port.probe.failure.isEmpty() &&
           (port.probe.reply == ProbeReply::Ok || port.probe.reply == ProbeReply::Error);
}

QString scanVerdict(const ScannedPort& port) {
    const ProbeResult& probe = port.probe;
    if (!port.skip.isEmpty())
        return QStringLiteral("skipped: ") + port.skip;
    if (!probe.failure.isEmpty())
        return QStringLiteral("not probed: ") + probe.failure;
    const QString speed =
        probe.speed == kLineSpeed ? QString() : QStringLiteral(" at %1 baud").arg(probe.speed);
    switch (probe.reply) {
    case ProbeReply::Ok:
        return QStringLiteral("GSM Modem OK") + speed;
    case ProbeReply::Error:
        return QStringLiteral("GSM Modem OK%1; AT answered %2, so a command may have been "
                              "left unfinished there")
            .arg(speed, probe.received.isEmpty() ? QStringLiteral("ERROR") : probe.received);
    case ProbeReply::Nmea:
        return QStringLiteral("not a modem: it sends NMEA sentences, a GPS port");
    case ProbeReply::Binary:
        return probe.speedsTried.size() > 1
                   ? QStringLiteral("not a modem: unreadable bytes at %1 baud")
                         .arg(speedList(probe.speedsTried))
                   : QStringLiteral("not a modem: it answers in binary, a diagnostics port");
    case ProbeReply::Nul:
        return QStringLiteral("not a modem: it sends a flood of NUL bytes");
    case ProbeReply::Text:
        return QStringLiteral("not a modem: it talks (\"%1\"), but gives no OK to AT")
            .arg(probe.received.left(40));
    case ProbeReply::Nothing:
        break;
    }
    return QStringLiteral("no answer to AT at %1 baud within %2 s")
        .arg(speedList(probe.speedsTried))
        .arg(probe.speedsTried.size() > 1 ? 4 : 2);
}

QString scanText(const QList<ScannedPort>& ports, bool all) {
    if (ports.isEmpty())
        return all ? QStringLiteral("No serial port found.\n")
                   : QStringLiteral("No port of the kinds modems bring was found (USB serial, "
                                    "CDC-ACM modem, serial0); tarvex --scan --all tries every "
                                    "serial device.\n");
    QList<QStringList> rows{{"ENTRY", "DEVICE", "BY-ID", "USB", "VERDICT"}};
    for (const ScannedPort& port : ports)
        rows.append({cell(port.entry), port.info.device, cell(QFileInfo(port.info.byId).fileName()),
                     cell(usbText(port.info)), scanVerdict(port)});
    QList<qsizetype> widths(4, 0);
    for (const QStringList& row : rows)
        for (qsizetype i = 0; i < widths.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    QString text;
    for (const QStringList& row : rows) {
        for (qsizetype i = 0; i < widths.size(); ++i)
            text += row[i].leftJustified(widths[i] + 2);
        text += row.last() + QLatin1Char('\n');
    }
    const auto found = std::find_if(ports.begin(), ports.end(), answered);
    if (found == ports.end())
        return text + QStringLiteral("\nNo modem answered AT.%1\n")
                          .arg(all ? QString()
                                   : QStringLiteral(" tarvex --scan --all tries every serial "
                                                    "device, or name the port: tarvex --scan "
                                                    "PORT."));
    const QString speed = found->probe.speed == kLineSpeed
                              ? QString()
                              : QStringLiteral(" --baud %1").arg(found->probe.speed);
    const QString entry = found->entry.isEmpty() ? QStringLiteral("COM1") : found->entry;
    const QString name = lastingName(*found);
    // The entry's own device needs no setting to reach it.
    const bool entrysOwn =
        deviceForPort(entry.mid(3).toInt()).compare(name, Qt::CaseInsensitive) == 0;
    if (entrysOwn)
        return text +
               QStringLiteral("\nUse it as tarvex --check %1%2, or in the window as "
                              "%3%4.\n")
                   .arg(name, speed, entry,
                        speed.isEmpty() ? QString() : QStringLiteral(" (tarvex%1)").arg(speed));
    return text + QStringLiteral("\nUse it as tarvex --check %1%2, or in the window as "
                                 "%3 (TARVEX_%3=%1 tarvex%2).\n")
                      .arg(name, speed, entry);
}

QString scanJson(const QList<ScannedPort>& ports) {
    QJsonArray array;
    for (const ScannedPort& port : ports) {
        const auto orNull = [](const QString& text) {
            return text.isEmpty() ? QJsonValue() : QJsonValue(text);
        };
        QJsonValue usb;
        if (!port.info.vidPid.isEmpty() || port.info.usbInterface >= 0)
            usb = QJsonObject{{"vid_pid", orNull(port.info.vidPid)},
                              {"manufacturer", orNull(port.info.manufacturer)},
                              {"product", orNull(port.info.description)},
                              {"interface", port.info.usbInterface >= 0
                                                ? QJsonValue(port.info.usbInterface)
                                                : QJsonValue()}};
        array.append(QJsonObject{
            {"device", port.info.device},
            {"entry", orNull(port.entry)},
            {"by_id", orNull(port.info.byId)},
            {"usb", usb},
            {"probed", port.skip.isEmpty() && port.probe.failure.isEmpty()},
            {"modem", answered(port)},
            {"baud", answered(port) ? QJsonValue(port.probe.speed) : QJsonValue()},
            {"verdict", scanVerdict(port)},
        });
    }
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
}

} // namespace tarvex
