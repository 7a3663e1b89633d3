// "Connect": the line settings in order, and what a refused open leaves behind.

#include "fake_world.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace tarvex;
using namespace tarvex::testing;

namespace {

QStringList settingsFor(int port) {
    return {QStringLiteral("CommPort=%1").arg(port),
            QStringLiteral("Handshaking=0"),
            QStringLiteral("RThreshold=1"),
            QStringLiteral("RTSEnable=true"),
            QStringLiteral("Settings=9600,n,8,1"),
            QStringLiteral("SThreshold=0"),
            QStringLiteral("InputLen=1"),
            QStringLiteral("PortOpen=true")};
}

} // namespace

class TestPortOpening : public QObject {
    Q_OBJECT

private slots:
    void init() {
        world_ = std::make_unique<FakeWorld>();
        world_->window->show();
    }
    void cleanup() { world_.reset(); }

    void writesSettingsInOrder_data() {
        QTest::addColumn<int>("index");
        QTest::newRow("COM1") << 0;
        QTest::newRow("COM3") << 2;
        QTest::newRow("COM40") << 39;
    }

    void writesSettingsInOrder() {
        QFETCH(int, index);
        w().Combo1->setCurrentIndex(index);
        w().connect->click();
        QCOMPARE(world_->serial->configuration, settingsFor(index + 1));
        QVERIFY(w().flags().PortConnected);
        QVERIFY(w().connect->isHidden());
        QVERIFY(w().Combo1->isEnabled() && w().Combo1->isVisible());
        QVERIFY(world_->serial->written.isEmpty()); // nothing is said to the modem yet
        QVERIFY(world_->boxes->shown.isEmpty());
    }

    void laterChoiceChangesNothing() {
        world_->connectPort();
        w().Combo1->setCurrentIndex(5);
        QVERIFY(world_->serial->configuration.isEmpty());
        QCOMPARE(world_->serial->CommPort(), qint16(1));
    }

    void typedPortIsPortZero() {
        w().Combo1->lineEdit()->selectAll();
        QTest::keyClicks(w().Combo1->lineEdit(), QStringLiteral("COM5"));
        w().connect->click();
        QCOMPARE(world_->serial->configuration.value(0), QStringLiteral("CommPort=0"));
    }

    // A refused setting abandons the rest of the click: what came before stays
    // written, nothing after it runs, the operator is told, and the program goes on.
    void refusedStepAbandonsTheRest_data() {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<int>("writtenBefore");
        QTest::newRow("port number") << "CommPort" << 0;
        QTest::newRow("line settings") << "Settings" << 4;
        QTest::newRow("open") << "PortOpen" << 7;
    }

    void refusedStepAbandonsTheRest() {
        QFETCH(QString, failing);
        QFETCH(int, writtenBefore);
        const SerialError busy(SerialError::Kind::Busy, QStringLiteral("COM1 (/dev/ttyS0)"),
                               QStringLiteral("the port is busy: another program is holding it."));
        world_->serial->failOn = {failing, busy};
        w().connect->click();

        QCOMPARE(world_->serial->configuration, settingsFor(1).mid(0, writtenBefore));
        QVERIFY(!w().flags().PortConnected);
        QVERIFY(w().connect->isVisible());
        QCOMPARE(world_->boxes->shown.size(), 1);
        QCOMPARE(world_->boxes->shown[0].kind, Shown::Report);
        QCOMPARE(world_->boxes->shown[0].text, busy.text());
        QCOMPARE(world_->processEnds, 0);

        // The operator picks another port and tries again.
        world_->serial->failOn.reset();
        world_->serial->configuration.clear();
        w().Combo1->setCurrentIndex(1);
        w().connect->click();
        QCOMPARE(world_->serial->configuration, settingsFor(2));
        QVERIFY(w().flags().PortConnected);
        QVERIFY(w().connect->isHidden());
        QCOMPARE(world_->boxes->shown.size(), 1);
    }

    // A missing device: the report says which entries have a device right now, and
    // which devices no entry reaches. Wine opens a COM port it has not mapped with
    // "Invalid function", an I/O error: the system's list decides that it is missing.
    void missingDeviceNamesThePresentOnes_data() {
        QTest::addColumn<QList<PortInfo>>("plugged");
        QTest::addColumn<QList<PortInfo>>("beyond");
        QTest::addColumn<SerialError::Kind>("kind");
        QTest::addColumn<QString>("present"); // empty: no report of what is present
        const BeyondTheList w = beyondTheListWording();
        const auto also = [&w](const QString& devices) {
            return "\nAlso present, beyond " + w.where + ": " + devices +
                   ". Start Tarvex with TARVEX_COM2=/dev/ttyUSB16" + w.advice + ".";
        };
        const PortInfo far = presentPort(0, "/dev/ttyUSB16", "Quectel", "Quectel EC25", {}, 2);
        QList<PortInfo> many{far};
        for (int n = 0; n < kMostDevicesNamedBeyond + 2; ++n)
            many.append(presentPort(0, QStringLiteral("/dev/rfcomm%1").arg(n)));
        const auto missing = SerialError::Kind::NoSuchDevice;
        const PortInfo modem = presentPort(21, "/dev/ttyACM0", "Telit", "LE910", "0123", 0);
        const PortInfo uart = presentPort(1, "/dev/ttyS0");
        const PortInfo atPort = presentPort(7, "/dev/ttyUSB2", "Quectel", "Quectel EC25", {}, 2);
        const QString none = QStringLiteral("No serial device is present on COM1 to COM40.");
        QTest::newRow("none") << QList<PortInfo>{} << QList<PortInfo>{} << missing << none;
        QTest::newRow("a USB modem") << QList<PortInfo>{modem} << QList<PortInfo>{} << missing
                                     << "Present: COM21 (/dev/ttyACM0, Telit LE910, interface 0)";
        QTest::newRow("three, in list order")
            << QList<PortInfo>{modem, uart, atPort} << QList<PortInfo>{} << missing
            << "Present: COM1 (/dev/ttyS0), COM7 (/dev/ttyUSB2, Quectel EC25, interface 2), "
               "COM21 (/dev/ttyACM0, Telit LE910, interface 0)";
        QTest::newRow("only beyond the list")
            << QList<PortInfo>{} << QList<PortInfo>{far} << missing
            << none + also("/dev/ttyUSB16 (Quectel EC25, interface 2)");
        QTest::newRow("beyond the list, the rest counted")
            << QList<PortInfo>{uart} << many << missing
            << "Present: COM1 (/dev/ttyS0)" +
                   also("/dev/ttyUSB16 (Quectel EC25, interface 2), /dev/rfcomm0, /dev/rfcomm1, "
                        "/dev/rfcomm2, /dev/rfcomm3, /dev/rfcomm4, /dev/rfcomm5, /dev/rfcomm6 "
                        "and 3 more");
        QTest::newRow("I/O error on an entry the system does not list")
            << QList<PortInfo>{} << QList<PortInfo>{far} << SerialError::Kind::Io
            << none + also("/dev/ttyUSB16 (Quectel EC25, interface 2)");
        QTest::newRow("I/O error on a device that is there")
            << QList<PortInfo>{presentPort(2, "/dev/ttyS1")} << QList<PortInfo>{far}
            << SerialError::Kind::Io << QString();
    }

    void missingDeviceNamesThePresentOnes() {
        QFETCH(QList<PortInfo>, plugged);
        QFETCH(QList<PortInfo>, beyond);
        QFETCH(SerialError::Kind, kind);
        QFETCH(QString, present);
        for (const PortInfo& info : plugged)
            world_->ports->plug(info);
        world_->ports->beyond = beyond;
        world_->serial->failOn = {QStringLiteral("PortOpen"),
                                  SerialError(kind, QStringLiteral("COM2 (/dev/ttyS1)"),
                                              QStringLiteral("No such file or directory"))};
        w().Combo1->setCurrentIndex(1);
        w().connect->click();
        QCOMPARE(world_->boxes->texts(),
                 QStringList{present.isEmpty()
                                 ? QStringLiteral("COM2 (/dev/ttyS1): No such file or directory")
                                 : "COM2 (/dev/ttyS1): No such file or directory.\n" + present});
        QVERIFY(w().connect->isVisible());
    }

    // A program that takes adapters away (brltty) gets its line after the list.
    void adapterTakenAwayEndsTheReport() {
        world_->ports->takenAway = QStringLiteral("brltty (pid 901) has taken 1a86:7523.");
        world_->serial->failOn = {QStringLiteral("PortOpen"),
                                  SerialError(SerialError::Kind::NoSuchDevice,
                                              QStringLiteral("COM5 (/dev/ttyUSB0)"),
                                              QStringLiteral("No such file or directory"))};
        w().Combo1->setCurrentIndex(4);
        w().connect->click();
        QCOMPARE(
            world_->boxes->texts(),
            QStringList{"COM5 (/dev/ttyUSB0): No such file or directory.\nNo serial device "
                        "is present on COM1 to COM40.\nbrltty (pid 901) has taken 1a86:7523."});
    }

    // A console on the port gets one box after the port is open, and nothing else
    // does: a modem daemon's probing is for the tooltip and the log.
    void othersOnTheLine_data() {
        QTest::addColumn<QString>("console");
        QTest::addColumn<bool>("modemManager");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("nobody") << QString() << false << QStringList{};
        QTest::newRow("ModemManager probing") << QString() << true << QStringList{};
        QTest::newRow("a login prompt")
            << "a login prompt (agetty, pid 812)" << true
            << QStringList{"COM1 (/dev/ttyS0) is also a console, with a login prompt (agetty, "
                           "pid 812): the modem's answers may go there instead of to Tarvex, "
                           "and what is written there goes to the modem.\nTurn the console "
                           "off: the fix."};
    }
    void othersOnTheLine() {
        QFETCH(QString, console);
        QFETCH(bool, modemManager);
        QFETCH(QStringList, boxes);
        PortInfo info = presentPort(1, QStringLiteral("/dev/ttyS0"));
        info.console = console;
        info.consoleFix = QStringLiteral("the fix");
        info.modemManagerProbes = modemManager;
        world_->ports->plug(info);
        w().connect->click();
        QCOMPARE(world_->boxes->texts(), boxes);
        QVERIFY(w().flags().PortConnected);
        QVERIFY(world_->serial->configuration.contains(QStringLiteral("PortOpen=true")));
    }

private:
    frmResult& w() { return *world_->window; }
    std::unique_ptr<FakeWorld> world_;
};

QTEST_MAIN(TestPortOpening)
#include "tst_port_opening.moc"
