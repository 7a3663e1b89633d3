// Finding the AT port: which ports a scan takes and leaves alone, what an answer to the
// probe says, and the probe itself on the virtual clock.

#include "fake_dialogue_world.h"
#include "modem/port_scan.h"

#include <QTest>

Q_DECLARE_METATYPE(tarvex::PortInfo)
Q_DECLARE_METATYPE(tarvex::ProbeReply)

using namespace tarvex;
using namespace tarvex::testing;
using namespace std::chrono_literals;

namespace {

PortInfo usbPort(const QString& device, const QString& vidPid, int interface, const QString& driver,
                 const QString& interfaceClass = {}) {
    PortInfo info = presentPort(0, device, {}, {}, {}, interface);
    info.vidPid = vidPid;
    info.driver = driver;
    info.interfaceClass = interfaceClass;
    return info;
}

PortInfo uart(const QString& device, const QStringList& links = {}) {
    PortInfo info = presentPort(0, device);
    info.driver = QStringLiteral("serial8250");
    info.links = links;
    return info;
}

// What a port sends back at each speed.
using Answers = QHash<int, QByteArray>;

const QList<int> kEverySpeed{9600, 115200, 57600, 38400, 19200};

} // namespace

class tst_port_scan : public QObject {
    Q_OBJECT

private slots:
    // What came back, as the probe reads it: only a whole line OK or ERROR makes a
    // modem, however much "OK" the rest of the text holds.
    void reply_data() {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<ProbeReply>("reply");
        QTest::newRow("OK") << QByteArray("\r\nOK\r\n") << ProbeReply::Ok;
        QTest::newRow("echo, then OK") << QByteArray("\x1b"
                                                     "AT\r\r\nOK\r\n")
                                       << ProbeReply::Ok;
        QTest::newRow("a greeting first") << QByteArray("\r\nRDY\r\n\r\nOK\r\n") << ProbeReply::Ok;
        QTest::newRow("OK not ended yet") << QByteArray("\r\nOK") << ProbeReply::Text;
        QTest::newRow("ERROR") << QByteArray("\r\nERROR\r\n") << ProbeReply::Error;
        QTest::newRow("CME ERROR") << QByteArray("\r\n+CME ERROR: 10\r\n") << ProbeReply::Error;
        QTest::newRow("OK in a word") << QByteArray("\r\nNOK\r\nOKAY\r\n") << ProbeReply::Text;
        QTest::newRow("NMEA saying OK")
            << QByteArray("$GPTXT,01,01,02,ANTSTATUS=OK*3B\r\n") << ProbeReply::Nmea;
        QTest::newRow("NMEA fix") << QByteArray("$GNGGA,092750.000,5321.6802,N,00630.3372,W,1,8,"
                                                "1.03,61.7,M,55.2,M,,*76\r\n")
                                  << ProbeReply::Nmea;
        QTest::newRow("NMEA cut short") << QByteArray("$GPTXT,01,01,02,ANTS") << ProbeReply::Text;
        QTest::newRow("NUL flood") << QByteArray(64, '\0') << ProbeReply::Nul;
        QTest::newRow("a few NULs") << QByteArray("\0\0\r\nRDY\r\n", 9) << ProbeReply::Text;
        QTest::newRow("DIAG frame")
            << QByteArray("\x13\x1b\x41\x54\x0d\x8e\xd2\x7e", 8) << ProbeReply::Binary;
        QTest::newRow("DIAG frame, its CRC in ASCII")
            << QByteArray("\x13\x1b\x41\x54\x0d\x6a\x29\x7e", 8) << ProbeReply::Binary;
        QTest::newRow("UART at another speed")
            << QByteArray("\xf8\x80\x00\xfe\xe0\xf8", 6) << ProbeReply::Binary;
        QTest::newRow("one stray byte") << QByteArray("\xff") << ProbeReply::Nothing;
        QTest::newRow("NULs at power-up") << QByteArray(3, '\0') << ProbeReply::Nothing;
        QTest::newRow("nothing") << QByteArray() << ProbeReply::Nothing;
    }
    void reply() {
        QFETCH(QByteArray, received);
        QFETCH(ProbeReply, reply);
        QCOMPARE(readProbeReply(received), reply);
    }

    // Which ports a scan probes, at which speeds, and why it leaves the others alone.
    void plan_data() {
        QTest::addColumn<PortInfo>("info");
        QTest::addColumn<QString>("holder");
        QTest::addColumn<QString>("skip"); // part of the reason; empty: probed
        QTest::addColumn<QList<int>>("speeds");
        const QString ttyUsb = QStringLiteral("/dev/ttyUSB%1");
        QTest::newRow("Quectel DIAG")
            << usbPort(ttyUsb.arg(0), "2c7c:0125", 0, "option1") << QString()
            << "diagnostics (DIAG) port of a Quectel modem (USB interface 0)" << QList<int>{};
        QTest::newRow("Quectel NMEA")
            << usbPort(ttyUsb.arg(1), "2c7c:0296", 1, "option1") << QString()
            << "GPS (NMEA) port of a Quectel" << QList<int>{};
        QTest::newRow("Quectel AT") << usbPort(ttyUsb.arg(2), "2c7c:0125", 2, "option1")
                                    << QString() << QString() << QList<int>{9600};
        QTest::newRow("SIM7600 audio") << usbPort(ttyUsb.arg(4), "1e0e:9001", 4, "option1")
                                       << QString() << "audio port of a SIMCom" << QList<int>{};
        QTest::newRow("SIM7600 second AT") << usbPort(ttyUsb.arg(3), "1e0e:9001", 3, "option1")
                                           << QString() << QString() << QList<int>{9600};
        QTest::newRow("Sierra DIAG")
            << usbPort(ttyUsb.arg(0), "1199:9071", 0, "qcserial") << QString()
            << "DIAG) port of a Sierra Wireless" << QList<int>{};
        QTest::newRow("Sierra AT") << usbPort(ttyUsb.arg(2), "1199:9071", 3, "qcserial")
                                   << QString() << QString() << QList<int>{9600};
        PortInfo windowsDiag = presentPort(0, "COM7", "Quectel", "Quectel USB DM Port");
        windowsDiag.vidPid = QStringLiteral("2c7c:0125");
        QTest::newRow("Quectel DIAG on Windows")
            << windowsDiag << QString() << "diagnostics (DIAG) port of a Quectel modem"
            << QList<int>{};
        PortInfo windowsAt = windowsDiag;
        windowsAt.description = QStringLiteral("Quectel USB AT Port");
        QTest::newRow("Quectel AT on Windows")
            << windowsAt << QString() << QString() << QList<int>{9600};
        QTest::newRow("a Quectel of another layout")
            << usbPort(ttyUsb.arg(0), "2c7c:0800", 0, "option1") << QString() << QString()
            << QList<int>{9600};
        QTest::newRow("unknown modem on option")
            << usbPort(ttyUsb.arg(0), "1234:5678", 0, "option1") << QString() << QString()
            << QList<int>{9600};
        QTest::newRow("CDC-ACM modem")
            << usbPort("/dev/ttyACM0", "1bc7:1201", 0, "cdc_acm", "02/02/01") << QString()
            << QString() << QList<int>{9600};
        QTest::newRow("FTDI adapter: a UART behind it")
            << usbPort(ttyUsb.arg(0), "0403:6001", 0, "ftdi_sio") << QString() << QString()
            << kEverySpeed;
        QTest::newRow("CH340 adapter") << usbPort(ttyUsb.arg(0), "1a86:7523", 0, "ch341-uart")
                                       << QString() << QString() << kEverySpeed;
        QTest::newRow("built-in UART")
            << uart("/dev/ttyS1") << QString() << QString() << kEverySpeed;
        QTest::newRow("a device nothing is known of")
            << presentPort(0, "/dev/pts/4") << QString() << QString() << kEverySpeed;
        QTest::newRow("QDL flashing mode")
            << usbPort(ttyUsb.arg(0), "05c6:9008", 0, "qcserial") << QString()
            << "flashing mode (QDL, 05c6:9008)" << QList<int>{};
        PortInfo bluetooth;
        bluetooth.device = QStringLiteral("/dev/rfcomm0");
        QTest::newRow("rfcomm") << bluetooth << QString() << "a Bluetooth link (rfcomm)"
                                << QList<int>{};
        QTest::newRow("Bluetooth on Windows")
            << presentPort(0, "COM4", "Microsoft", "Standard Serial over Bluetooth link")
            << QString() << "a Bluetooth link (Standard Serial over Bluetooth link)"
            << QList<int>{};
        QTest::newRow("held") << usbPort(ttyUsb.arg(2), "2c7c:0125", 2, "option1")
                              << "minicom (pid 4242)"
                              << "held by minicom (pid 4242)" << QList<int>{};
        PortInfo console = uart("/dev/ttyS0");
        console.console = QStringLiteral("a login prompt (agetty, pid 812)");
        QTest::newRow("console") << console << QString()
                                 << "a console: a login prompt (agetty, pid 812)" << QList<int>{};
    }
    void plan() {
        QFETCH(PortInfo, info);
        QFETCH(QString, holder);
        QFETCH(QString, skip);
        QFETCH(QList<int>, speeds);
        const ProbePlan plan = planProbe(info, holder);
        if (skip.isEmpty())
            QVERIFY2(plan.skip.isEmpty(), qPrintable(plan.skip));
        else
            QVERIFY2(plan.skip.contains(skip), qPrintable(plan.skip));
        QCOMPARE(plan.speeds, speeds);
    }

    // The default set: where modems are found, not every serial device.
    void defaultSet_data() {
        QTest::addColumn<PortInfo>("info");
        QTest::addColumn<bool>("taken");
        QTest::newRow("USB serial") << usbPort("/dev/ttyUSB3", "0403:6001", 0, "ftdi_sio") << true;
        QTest::newRow("CDC-ACM modem")
            << usbPort("/dev/ttyACM0", "1bc7:1201", 0, "cdc_acm", "02/02/01") << true;
        QTest::newRow("Arduino on CDC-ACM")
            << usbPort("/dev/ttyACM0", "2341:0043", 0, "cdc_acm", "02/02/01") << false;
        QTest::newRow("CDC-ACM, class unknown")
            << usbPort("/dev/ttyACM1", "1bc7:1201", 0, "cdc_acm") << false;
        QTest::newRow("built-in UART") << uart("/dev/ttyS0") << false;
        QTest::newRow("the GPIO UART") << uart("/dev/ttyAMA0", {"/dev/serial0"}) << true;
        QTest::newRow("serial0 itself") << uart("/dev/serial0") << true;
        QTest::newRow("Pi 5 debug UART") << uart("/dev/ttyAMA10") << false;
        QTest::newRow("Windows COM port") << presentPort(0, "COM3") << true;
    }
    void defaultSet() {
        QFETCH(PortInfo, info);
        QFETCH(bool, taken);
        QCOMPARE(inDefaultScan(info), taken);
    }

    // The probe on one port: what it writes, at which speeds, and when it lets go.
    // `answers` maps a speed to what the port sends back there.
    void probe_data() {
        QTest::addColumn<QList<int>>("speeds");
        QTest::addColumn<Answers>("answers");
        QTest::addColumn<ProbeReply>("reply");
        QTest::addColumn<QList<int>>("tried");
        QTest::addColumn<qint64>("closedBy"); // virtual ms
        QTest::addColumn<QString>("shown");   // the line the report shows
        QTest::newRow("modem at 9600") << QList<int>{9600} << Answers{{9600, "AT\r\r\nOK\r\n"}}
                                       << ProbeReply::Ok << QList<int>{9600} << qint64(0) << "OK";
        QTest::newRow("ERROR after the echo")
            << QList<int>{9600} << Answers{{9600, "AT\r\r\nERROR\r\n"}} << ProbeReply::Error
            << QList<int>{9600} << qint64(0) << "ERROR";
        QTest::newRow("HAT at 115200")
            << kEverySpeed << Answers{{115200, "\r\nOK\r\n"}} << ProbeReply::Ok
            << QList<int>{9600, 115200} << qint64(2000) << "OK";
        QTest::newRow("garbage at 9600, OK at 57600")
            << kEverySpeed
            << Answers{{9600, QByteArray("\xf8\x80\x00\xfe\xe0", 5)},
                       {115200, QByteArray("\xff\x80\x81\x82\x83", 5)},
                       {57600, "\r\nOK\r\n"}}
            << ProbeReply::Ok << QList<int>{9600, 115200, 57600} << qint64(0) << "OK";
        QTest::newRow("silent UART") << kEverySpeed << Answers{} << ProbeReply::Nothing
                                     << kEverySpeed << qint64(4000) << QString();
        QTest::newRow("silent USB port") << QList<int>{9600} << Answers{} << ProbeReply::Nothing
                                         << QList<int>{9600} << qint64(2000) << QString();
        QTest::newRow("only its echo")
            << QList<int>{9600}
            << Answers{{9600, "\x1b"
                              "AT\r"}}
            << ProbeReply::Text << QList<int>{9600} << qint64(2000) << "AT";
        QTest::newRow("GPS on a UART")
            << kEverySpeed << Answers{{9600, "$GPTXT,01,01,02,ANTSTATUS=OK*3B\r\n"}}
            << ProbeReply::Nmea << QList<int>{9600} << qint64(0)
            << "$GPTXT,01,01,02,ANTSTATUS=OK*3B";
        QTest::newRow("text, no OK")
            << kEverySpeed << Answers{{9600, "hello\r\n"}} << ProbeReply::Text << QList<int>{9600}
            << qint64(2000) << "hello";
        QTest::newRow("DIAG, one speed")
            << QList<int>{9600} << Answers{{9600, QByteArray("\x13\x1b\x8e\xd2\x7e", 5)}}
            << ProbeReply::Binary << QList<int>{9600} << qint64(0) << QString();
    }
    void probe() {
        QFETCH(QList<int>, speeds);
        QFETCH(Answers, answers);
        QFETCH(ProbeReply, reply);
        QFETCH(QList<int>, tried);
        QFETCH(qint64, closedBy);
        QFETCH(QString, shown);
        VirtualClock clock;
        auto line = std::make_unique<FakeSerialControl>(clock);
        FakeSerialControl& fake = *line;
        PortProbe probe(std::move(line), std::make_unique<FakeTimer>(clock), 7, speeds);
        int finished = 0;
        connect(&probe, &PortProbe::finished, [&] { ++finished; });
        // The port answers whenever the probe has been written at a speed.
        qsizetype answeredWrites = 0;
        const auto answer = [&] {
            while (answeredWrites < fake.written.size() && fake.PortOpen()) {
                ++answeredWrites;
                const QString settings = fake.configuration.filter("Settings=").last();
                const int speed = settings.mid(9).section(',', 0, 0).toInt();
                fake.receive(QString::fromLatin1(answers.value(speed)));
            }
        };
        probe.start();
        answer();
        for (int step = 0; step < 40 && !probe.done(); ++step) {
            clock.run(100ms);
            answer();
        }
        QVERIFY(probe.done());
        QCOMPARE(finished, 1);
        QCOMPARE(probe.result().reply, reply);
        QCOMPARE(probe.result().speedsTried, tried);
        QCOMPARE(probe.result().speed, tried.last());
        QCOMPARE(probe.result().received, shown);
        QVERIFY(!fake.PortOpen());
        QVERIFY2(clock.now() <= closedBy, qPrintable(QString::number(clock.now())));
        // ESC, AT and CR at each speed tried, and nothing else; one open for all.
        QCOMPARE(fake.wire(), QString(QLatin1String(kProbeBytes)).repeated(tried.size()));
        QCOMPARE(fake.configuration.filter("PortOpen=true").size(), 1);
        QCOMPARE(fake.configuration.first(), QStringLiteral("CommPort=7"));
    }

    // A device pulled out while it is asked: said so, and not opened again at the
    // next speed (which would raise DTR on whatever comes back there).
    void deviceLost() {
        VirtualClock clock;
        auto line = std::make_unique<FakeSerialControl>(clock);
        FakeSerialControl& fake = *line;
        PortProbe probe(std::move(line), std::make_unique<FakeTimer>(clock), 1, kEverySpeed);
        probe.start();
        fake.setPortOpen(false); // as the control does before it tells
        fake.notify(CommEventCode::DeviceLost);
        QVERIFY(probe.done());
        QCOMPARE(probe.result().failure, QStringLiteral("the device went away"));
        clock.run(5000ms);
        QCOMPARE(fake.configuration.filter("PortOpen=true").size(), 1);
        QCOMPARE(fake.written.size(), 1);
    }

    // A port that cannot be opened is reported with the cause, without the control's
    // name for it, and nothing is written.
    void openFailure() {
        VirtualClock clock;
        auto line = std::make_unique<FakeSerialControl>(clock);
        FakeSerialControl& fake = *line;
        fake.failOn = {QStringLiteral("PortOpen"),
                       SerialError(SerialError::Kind::Busy, "COM1 (/dev/fake)", "Device busy")};
        PortProbe probe(std::move(line), std::make_unique<FakeTimer>(clock), 1, kEverySpeed);
        probe.start();
        QVERIFY(probe.done());
        QCOMPARE(probe.result().failure, QStringLiteral("Device busy"));
        QVERIFY(fake.written.isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_port_scan)
#include "tst_port_scan.moc"
