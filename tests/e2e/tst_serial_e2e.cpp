// The real serial control on a real pseudo-terminal, in real time, with a peer
// that answers like a modem.

#include "platform/qt_serial_control.h"
#include "pty_peer.h"
#include "qtry.h"
#include "real_world.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using namespace tarvex;
using namespace tarvex::testing;
using namespace std::chrono;

namespace {

// A modem with its echo on: echoes each line, then answers it.
std::string modem(const std::string& line) {
    const std::string echo = line + '\r';
    if (line.ends_with(char(26)))
        return line + "\r\n+CMGS: 1\r\n\r\nOK\r\n";
    if (line.starts_with("AT+CMGS="))
        return echo + "\r\n> ";
    if (line == "AT" || line == "ATE0" || line == "AT+CMGF=1")
        return echo + "\r\nOK\r\n";
    return echo + "\r\nERROR\r\n";
}

// The peer's device and bytes as the serial control and QCOMPARE take them.
QString device(const PtyPeer& peer) {
    return QString::fromStdString(peer.devicePath());
}
QByteArray received(const PtyPeer& peer) {
    return QByteArray::fromStdString(peer.received());
}

} // namespace

class TestSerialEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { qunsetenv("TARVEX_COM1"); }

    void outputReachesTheDevice() {
        PtyPeer peer;
        qputenv("TARVEX_COM1", device(peer).toLocal8Bit());
        QtSerialControl port;
        port.setCommPort(1);
        port.setRTSEnable(true); // a pseudo-terminal has no RTS line; that is no error
        port.setSettings(QStringLiteral("9600,n,8,1"));
        port.setInputLen(1);
        port.setPortOpen(true);
        QVERIFY(port.PortOpen());
        // Handed to the device before Output returns: a blocking pause after it must
        // not hold it back, so it arrives while no event loop runs.
        port.Output(QStringLiteral("A"));
        QVERIFY(peer.waitForCount(1, 10s));
        QCOMPARE(received(peer), QByteArray("A"));
    }

    // A peer stopped while it answers a side that reads nothing: its write gives up
    // and it stops at once, instead of waiting for room that never comes.
    void stoppedPeerNeverHangs() {
        auto peer = std::make_unique<PtyPeer>();
        peer->setResponder([](const std::string&) { return std::string(1 << 20, 'x'); });
        const int client = ::open(peer->devicePath().c_str(), O_RDWR | O_NOCTTY);
        QVERIFY(client >= 0);
        QCOMPARE(::write(client, "AT\r", 3), 3);
        // The answer has started: far more than the terminal holds, so the write waits.
        pollfd answer{client, POLLIN, 0};
        QCOMPARE(::poll(&answer, 1, 10'000), 1);
        QElapsedTimer stopping;
        stopping.start();
        peer.reset();
        const qint64 ms = stopping.elapsed();
        ::close(client);
        // One that waited for room would never return; the bound leaves an emulator its time.
        QVERIFY2(ms < 5000, qPrintable(QStringLiteral("stopping took %1 ms").arg(ms)));
    }

    void oneCharacterPerNotification() {
        PtyPeer peer;
        qputenv("TARVEX_COM1", device(peer).toLocal8Bit());
        QtSerialControl port;
        port.setCommPort(1);
        port.setRThreshold(1);
        port.setInputLen(1);
        port.setPortOpen(true);
        QStringList reads;
        QObject::connect(&port, &SerialControl::OnComm, &port, [&] {
            if (port.CommEvent() == CommEventCode::Receive)
                reads.append(port.Input());
        });
        peer.write(std::string_view("HELLO\x00\xff", 7));
        QTRY_COMPARE(reads.size(), 7);
        QCOMPARE(reads,
                 (QStringList{"H", "E", "L", "L", "O", QString(QChar(0)), QString(QChar(0xff))}));
    }

    void missingDeviceIsReportedAndRecoverable() {
        RealWorld world(QStringLiteral("/dev/tarvex-no-such-device"));
        world.window->connect->click();
        QCOMPARE(world.boxes->shown.size(), 1);
        // Then what this machine has on the other entries, which the test cannot know.
        const QStringList lines = world.boxes->shown[0].text.split(QLatin1Char('\n'));
        // A third line names the devices beyond the list, if this machine has any.
        QVERIFY(lines.size() == 2 ||
                (lines.size() == 3 &&
                 lines[2].startsWith(QStringLiteral("Also present, beyond the list: "))));
        QCOMPARE(lines[0],
                 QStringLiteral("COM1 (/dev/tarvex-no-such-device): No such file or directory."));
        QVERIFY2(lines[1].startsWith(QStringLiteral("Present: COM")) ||
                     lines[1] == QStringLiteral("No serial device is present on COM1 to COM40."),
                 qPrintable(lines[1]));
        QVERIFY(!world.window->flags().PortConnected);
        QVERIFY(!world.window->connect->isHidden());

        PtyPeer peer;
        qputenv("TARVEX_COM1", device(peer).toLocal8Bit());
        world.window->connect->click();
        QVERIFY(world.window->flags().PortConnected);
    }

    void modemAnswers() {
        PtyPeer peer;
        peer.setResponder(modem);
        RealWorld world(device(peer));
        world.window->connect->click();
        QVERIFY(world.window->flags().PortConnected);
        world.window->cmdTest->click();
        QTRY_COMPARE(world.boxes->texts(), QStringList{QStringLiteral("GSM Modem OK")});
        // The box waits out the pause after ATE0, not the peer's reading of it.
        QTRY_COMPARE(received(peer), QByteArray("AT\r\nATE0\r\n"));
    }

    void silentModemAsksToRetry() {
        PtyPeer peer;
        RealWorld world(device(peer));
        world.window->connect->click();
        world.boxes->answers = {false};
        world.window->cmdTest->click();
        QTRY_COMPARE_WITH_TIMEOUT(world.boxes->texts(),
                                  QStringList{QStringLiteral("Modem Not Found - Retry?")}, 15000);
        QVERIFY(!world.window->Timer1.isEnabled());
    }

    void smsIsSentAndConfirmed() {
        PtyPeer peer;
        peer.setResponder(modem);
        RealWorld world(device(peer));
        world.window->connect->click();
        world.window->cmdTest->click();
        QTRY_COMPARE(world.boxes->texts(), QStringList{QStringLiteral("GSM Modem OK")});
        world.window->txtMobileNo->setText(QStringLiteral("+15551234567"));
        world.window->txtDat->setText(QStringLiteral("Test from Tarvex"));
        world.window->Command7->click();
        QTRY_VERIFY(world.boxes->texts().contains(QStringLiteral("SMS Send")));
        QCOMPARE(
            received(peer),
            QByteArray(
                "AT\r\nATE0\r\nAT+CMGF=1\r\nAT+CMGS=\"+15551234567\"\r\nTest from Tarvex\x1a"));
        QCOMPARE(world.window->txtDat->text(), QString());
        QVERIFY(world.window->Command7->isEnabled());
    }
};

QTEST_MAIN(TestSerialEndToEnd)
#include "tst_serial_e2e.moc"
