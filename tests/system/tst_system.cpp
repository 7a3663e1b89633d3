// The main window on the real serial control and real time, against the real
// tarvex-vmodem on its pseudo-terminal: what a technician would see with a modem
// that works, refuses, stays silent or is unplugged. Message boxes are recorded.

#include "qtry.h"
#include "real_world.h"
#include "virtual_modem.h"

#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

using namespace tarvex;
using namespace tarvex::testing;

namespace {

constexpr int kSmsWaitMs = 15000; // the dialogue alone takes about 4.5 s

const QString kNumber = QStringLiteral("+15551234567");
const QString kBody = QStringLiteral("Meet at 10:30, gate \"B\" & 7%");

void connectAndTest(RealWorld& world) {
    world.window->connect->click();
    QVERIFY(world.window->flags().PortConnected);
    world.window->cmdTest->click();
    QTRY_COMPARE(world.boxes->texts(), QStringList{QStringLiteral("GSM Modem OK")});
}

void typeAndSend(RealWorld& world) {
    world.window->txtMobileNo->setText(kNumber);
    world.window->txtDat->setText(kBody);
    world.window->Command7->click();
}

} // namespace

class TestSystem : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { qunsetenv("TARVEX_COM1"); }

    void modemTestTurnsTheEchoOff() {
        VirtualModem modem;
        RealWorld world(modem.device());
        connectAndTest(world);
        // --trace writes each received line as it ends, with the previous line's LF.
        static const QRegularExpression echoOff(QStringLiteral(R"(vmodem << "(\\n)?ATE0\\r")"));
        QTRY_VERIFY(modem.trace().contains(echoOff));
        QVERIFY(world.window->flags().ModemFound);
    }

    void smsReachesTheNetworkIntact() {
        VirtualModem modem;
        RealWorld world(modem.device());
        connectAndTest(world);
        typeAndSend(world);
        QTRY_COMPARE_WITH_TIMEOUT(world.boxes->texts().size(), 2, kSmsWaitMs);
        QCOMPARE(world.boxes->texts(),
                 (QStringList{QStringLiteral("GSM Modem OK"), QStringLiteral("SMS Send")}));
        const QList<QJsonObject> sent = modem.messages();
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent[0][QStringLiteral("number")].toString(), kNumber);
        QCOMPARE(sent[0][QStringLiteral("text")].toString(), kBody);
        // Ready for the next message.
        QCOMPARE(world.window->txtMobileNo->text(), QStringLiteral("+91"));
        QCOMPARE(world.window->txtDat->text(), QString());
        QVERIFY(world.window->Command7->isEnabled());
    }

    void refusedSmsIsExplainedAndKept() {
        VirtualModem modem({QStringLiteral("--cms-error"), QStringLiteral("330")});
        RealWorld world(modem.device());
        connectAndTest(world);
        typeAndSend(world);
        QTRY_COMPARE_WITH_TIMEOUT(world.boxes->texts().size(), 2, kSmsWaitMs);
        QCOMPARE(world.boxes->texts().last(),
                 QStringLiteral("SMS Not Sent: SMSC address unknown (CMS ERROR 330)"));
        QVERIFY(modem.messages().isEmpty());
        // The typed number and text stay for another try.
        QCOMPARE(world.window->txtMobileNo->text(), kNumber);
        QCOMPARE(world.window->txtDat->text(), kBody);
        QVERIFY(world.window->Command7->isEnabled());
    }

    void silentModemAsksToRetry() {
        VirtualModem modem({QStringLiteral("--silent")});
        RealWorld world(modem.device());
        world.window->connect->click();
        world.boxes->answers = {false};
        world.window->cmdTest->click();
        QTRY_COMPARE_WITH_TIMEOUT(world.boxes->texts(),
                                  QStringList{QStringLiteral("Modem Not Found - Retry?")}, 5000);
        QCOMPARE(world.boxes->shown[0].caption, QStringLiteral("No Modem........"));
        QVERIFY(!world.window->flags().ModemFound);
        QVERIFY(!world.window->Timer1.isEnabled());
    }

    // The modem is unplugged while the window talks to it: during the modem test
    // (after "A") or in the middle of the SMS dialogue.
    void vanishingModemIsReportedOnce_data() {
        QTest::addColumn<int>("afterBytes");
        QTest::addColumn<bool>("sendSms");
        QTest::newRow("during the modem test") << 1 << false;
        QTest::newRow("during the SMS") << 30 << true; // "AT+CMGS=..." is under way
    }
    void vanishingModemIsReportedOnce() {
        QFETCH(int, afterBytes);
        QFETCH(bool, sendSms);
        VirtualModem modem({QStringLiteral("--vanish-after-bytes"), QString::number(afterBytes)});
        RealWorld world(modem.device());
        if (sendSms) {
            connectAndTest(world);
            typeAndSend(world);
        } else {
            world.window->connect->click();
            world.window->cmdTest->click();
        }
        QTRY_VERIFY_WITH_TIMEOUT(!world.window->flags().PortConnected, kSmsWaitMs);
        QTRY_VERIFY(!modem.running());
        // Long enough for the reply timer and any late error to have shown up.
        QTest::qWait(2500);

        QList<Shown> reports;
        for (const Shown& box : world.boxes->shown)
            if (box.kind == Shown::Report)
                reports.append(box);
        QCOMPARE(reports.size(), 1);
        QVERIFY2(reports[0].text.startsWith(QStringLiteral("COM1 (%1)").arg(modem.device())),
                 qPrintable(reports[0].text));
        QVERIFY2(reports[0].text.contains(QStringLiteral("went away")),
                 qPrintable(reports[0].text));
        QCOMPARE(world.boxes->texts().size(), sendSms ? 2 : 1); // no retry, no SMS verdict
        QVERIFY(!world.window->connect->isHidden());            // "Connect" is offered again
        QVERIFY(world.window->Command7->isEnabled());
        QVERIFY(!world.window->smsInProgress());

        // Still running, and it knows the port is gone.
        world.window->cmdTest->click();
        QCOMPARE(world.boxes->texts().last(), QStringLiteral("Connect ComPort"));
    }
};

QTEST_MAIN(TestSystem)
#include "tst_system.moc"
