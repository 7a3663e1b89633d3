// Which device stands behind each entry of the port list.

#include "platform/port_names.h"
#include "platform/serial_error.h"

#include <QTest>

using namespace tarvex;

class TestPortNames : public QObject {
    Q_OBJECT

private slots:
    void init() {
        for (int port = 0; port <= 41; ++port)
            qunsetenv(qPrintable(QStringLiteral("TARVEX_COM%1").arg(port)));
    }

    void device_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("override");
        QTest::addColumn<QString>("device");
#ifdef Q_OS_WIN
        QTest::newRow("COM1") << 1 << ""
                              << "COM1";
        QTest::newRow("COM40") << 40 << ""
                               << "COM40";
#else
        // The first and last entry of each family.
        QTest::newRow("COM1") << 1 << ""
                              << "/dev/ttyS0";
        QTest::newRow("COM4") << 4 << ""
                              << "/dev/ttyS3";
        QTest::newRow("COM5") << 5 << ""
                              << "/dev/ttyUSB0";
        QTest::newRow("COM20") << 20 << ""
                               << "/dev/ttyUSB15";
        QTest::newRow("COM21") << 21 << ""
                               << "/dev/ttyACM0";
        QTest::newRow("COM36") << 36 << ""
                               << "/dev/ttyACM15";
        QTest::newRow("COM37") << 37 << ""
                               << "/dev/ttyAMA0";
        QTest::newRow("COM40") << 40 << ""
                               << "/dev/ttyAMA3";
#endif
        QTest::newRow("override") << 3 << "/dev/pts/7"
                                  << "/dev/pts/7";
        QTest::newRow("override on the last port") << 40 << "/tmp/modem"
                                                   << "/tmp/modem";
    }

    void device() {
        QFETCH(int, port);
        QFETCH(QString, override);
        QFETCH(QString, device);
        if (!override.isEmpty())
            qputenv(qPrintable(QStringLiteral("TARVEX_COM%1").arg(port)), override.toLocal8Bit());
        QCOMPARE(deviceForPort(port), device);
        // A Windows port is its own device: its name is not said twice.
        const QString name = QStringLiteral("COM%1").arg(port);
        QCOMPARE(portLabel(port, device),
                 device == name ? name : QStringLiteral("%1 (%2)").arg(name, device));
    }

    void overrideIsPerPort() {
        qputenv("TARVEX_COM2", "/dev/pts/9");
        QVERIFY(deviceForPort(1) != QStringLiteral("/dev/pts/9"));
        QVERIFY(deviceForPort(12) != QStringLiteral("/dev/pts/9"));
    }

    void invalidPortIsNamed_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("explains");
        QTest::newRow("no entry selected") << 0 << "COM0: invalid port number; no port is selected";
        QTest::newRow("past the list") << 41 << "COM41: invalid port number";
        QTest::newRow("negative") << -5 << "COM-5: invalid port number";
    }

    void invalidPortIsNamed() {
        QFETCH(int, port);
        QFETCH(QString, explains);
        // Even a variable for it does not make a port outside the list valid.
        qputenv(qPrintable(QStringLiteral("TARVEX_COM%1").arg(port)), "/dev/null");
        try {
            deviceForPort(port);
            QFAIL("an invalid port was accepted");
        } catch (const SerialError& e) {
            QCOMPARE(e.kind(), SerialError::Kind::InvalidPort);
            QVERIFY2(e.text().startsWith(explains), qPrintable(e.text()));
        }
    }
};

QTEST_GUILESS_MAIN(TestPortNames)
#include "tst_port_names.moc"
