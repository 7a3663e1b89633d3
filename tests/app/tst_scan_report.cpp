// What --scan prints: a verdict a technician can act on for each port, "GSM Modem OK"
// on the modem's line alone, how to reach it for good, and the same for a script.

#include "app/scan_report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace tarvex;

namespace {

ScannedPort port(const QString& device, ProbeReply reply, QList<int> tried) {
    ScannedPort scanned;
    scanned.info.device = device;
    scanned.info.present = true;
    scanned.probe.reply = reply;
    scanned.probe.speedsTried = tried;
    scanned.probe.speed = tried.value(tried.size() - 1);
    return scanned;
}

// A SIM7600's four ports as a scan finds them: the AT port at 9600, or at `speed`.
QList<ScannedPort> usbModem(int speed = 9600) {
    QList<ScannedPort> ports;
    for (int interface = 0; interface < 4; ++interface) {
        ScannedPort p =
            port(QStringLiteral("/dev/ttyUSB%1").arg(interface), ProbeReply::Nothing, {9600});
        p.info.vidPid = QStringLiteral("1e0e:9001");
        p.info.description = QStringLiteral("SimTech SIM7600");
        p.info.usbInterface = interface;
        p.info.byId =
            QStringLiteral("/dev/serial/by-id/usb-SimTech_SIM7600-if0%1-port0").arg(interface);
        p.entry = QStringLiteral("COM%1").arg(5 + interface);
        ports.append(p);
    }
    ports[0].skip = QStringLiteral("the diagnostics (DIAG) port of a SIMCom modem");
    ports[1].probe.reply = ProbeReply::Nmea;
    ports[2].probe = port({}, ProbeReply::Ok, {9600, speed}).probe;
    if (speed == 9600)
        ports[2].probe.speedsTried = {9600};
    return ports;
}

} // namespace

class TestScanReport : public QObject {
    Q_OBJECT

private slots:
    void verdict_data() {
        QTest::addColumn<int>("reply");
        QTest::addColumn<QList<int>>("tried");
        QTest::addColumn<QString>("said");
        const QList<int> all{9600, 115200, 57600, 38400, 19200};
        QTest::newRow("OK") << int(ProbeReply::Ok) << QList<int>{9600} << "GSM Modem OK";
        QTest::newRow("OK at 115200")
            << int(ProbeReply::Ok) << QList<int>{9600, 115200} << "GSM Modem OK at 115200 baud";
        QTest::newRow("ERROR") << int(ProbeReply::Error) << QList<int>{9600}
                               << "GSM Modem OK; AT answered ERROR, so a command may have been "
                                  "left unfinished there";
        QTest::newRow("GPS") << int(ProbeReply::Nmea) << QList<int>{9600}
                             << "not a modem: it sends NMEA sentences, a GPS port";
        QTest::newRow("DIAG") << int(ProbeReply::Binary) << QList<int>{9600}
                              << "not a modem: it answers in binary, a diagnostics port";
        QTest::newRow("noise at every speed")
            << int(ProbeReply::Binary) << all
            << "not a modem: unreadable bytes at 9600, 115200, 57600, 38400 or 19200 baud";
        QTest::newRow("NUL") << int(ProbeReply::Nul) << QList<int>{9600}
                             << "not a modem: it sends a flood of NUL bytes";
        QTest::newRow("silent USB") << int(ProbeReply::Nothing) << QList<int>{9600}
                                    << "no answer to AT at 9600 baud within 2 s";
        QTest::newRow("silent UART")
            << int(ProbeReply::Nothing) << all
            << "no answer to AT at 9600, 115200, 57600, 38400 or 19200 baud within 4 s";
    }
    void verdict() {
        QFETCH(int, reply);
        QFETCH(QList<int>, tried);
        QFETCH(QString, said);
        const ScannedPort scanned = port(QStringLiteral("/dev/ttyS1"), ProbeReply(reply), tried);
        QCOMPARE(scanVerdict(scanned), said);
        QCOMPARE(answered(scanned), said.startsWith(QLatin1String("GSM Modem OK")));
    }

    // Skipped, or not opened: said so, never "GSM Modem OK", whatever the probe held.
    void notProbed() {
        ScannedPort held = port(QStringLiteral("/dev/ttyUSB2"), ProbeReply::Ok, {9600});
        held.skip = QStringLiteral("held by minicom (pid 4242): not a byte sent");
        QCOMPARE(scanVerdict(held), "skipped: " + held.skip);
        QVERIFY(!answered(held));
        ScannedPort failed = port(QStringLiteral("/dev/ttyUSB3"), ProbeReply::Ok, {9600});
        failed.probe.failure = QStringLiteral("Permission denied");
        QCOMPARE(scanVerdict(failed), QStringLiteral("not probed: Permission denied"));
        QVERIFY(!answered(failed));
    }

    // The table: one line per port, "GSM Modem OK" on the AT port's alone, then the
    // by-id name to use it by, with the speed where it is not 9600.
    void table_data() {
        QTest::addColumn<int>("speed");
        QTest::addColumn<QString>("use");
        QTest::newRow("9600") << 9600
                              << "Use it as tarvex --check "
                                 "/dev/serial/by-id/usb-SimTech_SIM7600-if02-port0, or in the "
                                 "window as COM7 (TARVEX_COM7=/dev/serial/by-id/"
                                 "usb-SimTech_SIM7600-if02-port0 tarvex).";
        QTest::newRow("115200") << 115200
                                << "Use it as tarvex --check "
                                   "/dev/serial/by-id/usb-SimTech_SIM7600-if02-port0 --baud "
                                   "115200, or in the window as COM7 (TARVEX_COM7=/dev/serial/"
                                   "by-id/usb-SimTech_SIM7600-if02-port0 tarvex --baud 115200).";
    }
    void table() {
        QFETCH(int, speed);
        QFETCH(QString, use);
        const QStringList lines = scanText(usbModem(speed), false).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 6); // heading, four ports, how to use it
        QVERIFY(lines[0].startsWith(QLatin1String("ENTRY  DEVICE")));
        QCOMPARE(lines.filter(QStringLiteral("GSM Modem OK")).size(), 1);
        QVERIFY2(lines[3].contains(QLatin1String("COM7   /dev/ttyUSB2  "
                                                 "usb-SimTech_SIM7600-if02-port0  "
                                                 "SimTech SIM7600, interface 2  GSM Modem OK")),
                 qPrintable(lines[3]));
        QCOMPARE(lines.last(), use);
        // The columns line up: each verdict starts where the heading's does.
        const qsizetype column = lines[0].indexOf(QLatin1String("VERDICT"));
        for (qsizetype i = 1; i <= 4; ++i)
            QVERIFY2(lines[i].mid(column - 2, 2) == QLatin1String("  ") && lines[i][column] != ' ',
                     qPrintable(lines[i]));
    }

    // A modem on its entry's own device, without a by-id name: the entry reaches it
    // as it is, and no setting is given.
    void entrysOwnDevice() {
        QList<ScannedPort> ports{port(deviceForPort(7), ProbeReply::Ok, {9600, 115200})};
        ports[0].entry = QStringLiteral("COM7");
        QVERIFY2(
            scanText(ports, false)
                .endsWith(QStringLiteral("\nUse it as tarvex --check %1 --baud 115200, or in the "
                                         "window as COM7 (tarvex --baud 115200).\n")
                              .arg(deviceForPort(7))),
            qPrintable(scanText(ports, false)));
    }

    void nothingFound() {
        QList<ScannedPort> ports = usbModem();
        ports[2].probe.reply = ProbeReply::Nothing;
        QVERIFY(scanText(ports, false)
                    .endsWith(QLatin1String(
                        "No modem answered AT. tarvex --scan --all tries every serial device, "
                        "or name the port: tarvex --scan PORT.\n")));
        QVERIFY(scanText(ports, true).endsWith(QLatin1String("\nNo modem answered AT.\n")));
        QVERIFY(scanText({}, false).startsWith(QLatin1String("No port of the kinds modems bring")));
    }

    // JSON: one object per port with the fields a script reads, null where unknown.
    void json() {
        QList<ScannedPort> ports = usbModem(115200);
        ports.append(port(QStringLiteral("/dev/ttyS1"), ProbeReply::Nothing, {9600}));
        const QJsonArray array = QJsonDocument::fromJson(scanJson(ports).toUtf8()).array();
        QCOMPARE(array.size(), 5);
        const QJsonObject modem = array[2].toObject();
        QCOMPARE(modem["device"].toString(), QStringLiteral("/dev/ttyUSB2"));
        QCOMPARE(modem["modem"].toBool(), true);
        QCOMPARE(modem["baud"].toInt(), 115200);
        QCOMPARE(modem["entry"].toString(), QStringLiteral("COM7"));
        QVERIFY(modem["by_id"].toString().endsWith(QLatin1String("-if02-port0")));
        QCOMPARE(modem["usb"].toObject()["vid_pid"].toString(), QStringLiteral("1e0e:9001"));
        QCOMPARE(modem["usb"].toObject()["interface"].toInt(), 2);
        QCOMPARE(modem["verdict"].toString(), QStringLiteral("GSM Modem OK at 115200 baud"));
        const QJsonObject diag = array[0].toObject();
        QCOMPARE(diag["modem"].toBool(), false);
        QCOMPARE(diag["probed"].toBool(), false);
        QVERIFY(diag["baud"].isNull());
        const QJsonObject uart = array[4].toObject();
        QVERIFY(uart["usb"].isNull());
        QVERIFY(uart["by_id"].isNull());
        QVERIFY(uart["entry"].isNull());
        QCOMPARE(uart["probed"].toBool(), true);
    }
};

QTEST_GUILESS_MAIN(TestScanReport)
#include "tst_scan_report.moc"
