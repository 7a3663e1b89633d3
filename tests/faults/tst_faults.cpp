// Faults end to end: the window on the real serial control against tarvex-vmodem on
// a real pseudo-terminal, in real time. Each row names what the operator sees and the
// state the window is left in.

#include "app/frmAbout.h"
#include "fault_rows.h"
#include "platform/qt_serial_control.h"
#include "qtry.h"
#include "real_world.h"
#include "virtual_modem.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tarvex;
using namespace tarvex::testing;

namespace {

using fault_rows::kModemOk;
using fault_rows::kRetry;

// The number and text of the vanishing rows, whose byte counts depend on them.
const QString kNumber = fault_rows::kVanishNumber;
// Long enough for three seconds of pauses, the paced characters and a late answer.
constexpr int kSmsWaitMs = 15'000;

enum class Action { None, Test, Sms };

QString askCaption(const FakeMessageBoxes& boxes, const QString& text) {
    for (const Shown& s : boxes.shown) {
        if (s.kind == Shown::Ask && s.text == text)
            return s.caption;
    }
    return {};
}

// The window after the device went away: told once, port closed, ready to connect again.
void verifyLost(const RealWorld& world, const QString& device) {
    const QStringList reports = world.reports();
    QVERIFY2(reports.size() == 1, qPrintable(reports.join(QStringLiteral(" | "))));
    QVERIFY2(reports[0].startsWith(QStringLiteral("COM1 (%1): the device went away").arg(device)),
             qPrintable(reports[0]));
    QVERIFY(reports[0].endsWith(QStringLiteral("Plug the modem back in, then press Connect.")));
    const frmResult& w = *world.window;
    QVERIFY(!w.flags().PortConnected);
    QVERIFY(!w.MSComm1.PortOpen());
    QVERIFY(!w.connect->isHidden());
    QVERIFY(!w.Timer1.isEnabled());
    QVERIFY(!w.smsInProgress());
    QVERIFY(w.Command7->isEnabled());
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT

private slots:
    void openFailures_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("expected"); // what the report says after the port name
        QTest::newRow("port missing") << "missing"
                                      << "No such file or directory";
        QTest::newRow("held in this process") << "held here"
                                              << "the port is busy";
        QTest::newRow("held by another program") << "held elsewhere"
                                                 << "the port is busy";
    }
    void openFailures() {
        QFETCH(QString, how);
        QFETCH(QString, expected);
        VirtualModem modem;
        QVERIFY(!modem.device().isEmpty());
        const QString device = how == QLatin1String("missing")
                                   ? QStringLiteral("/dev/tarvex-no-such-device")
                                   : modem.device();

        QtSerialControl holder;
        QProcess other;
        if (how == QLatin1String("held here")) {
            qputenv("TARVEX_COM1", device.toLocal8Bit());
            holder.setCommPort(1);
            holder.setPortOpen(true);
        } else if (how == QLatin1String("held elsewhere")) {
            other.start(QStringLiteral(TARVEX_OPEN_PROBE), {device, QStringLiteral("--hold")});
            QVERIFY(other.waitForReadyRead(10'000));
            QCOMPARE(other.readLine().trimmed(), QByteArray("open"));
        }

        RealWorld world(device);
        world.window->connect->click();
        QCOMPARE(world.reports().size(), 1);
        QVERIFY2(
            world.reports()[0].startsWith(QStringLiteral("COM1 (%1): %2").arg(device, expected)),
            qPrintable(world.reports()[0]));
        // The other program's lock names it, whoever runs the suite.
        if (how == QLatin1String("held elsewhere"))
            QVERIFY2(world.reports()[0].endsWith(
                         QStringLiteral("Held by tarvex-open-probe (pid %1): close it, or choose "
                                        "another port.")
                             .arg(other.processId())),
                     qPrintable(world.reports()[0]));
        QVERIFY(!world.window->flags().PortConnected);
        QVERIFY(!world.window->connect->isHidden());

        // Once the other holder lets go, the same window connects.
        if (how == QLatin1String("held elsewhere")) {
            other.closeWriteChannel();
            QVERIFY(other.waitForFinished(10'000));
        }
        if (how == QLatin1String("held here"))
            holder.setPortOpen(false);
        if (how != QLatin1String("missing")) {
            world.window->connect->click();
            QVERIFY(world.window->flags().PortConnected);
        }
    }

    // A getty whose controlling terminal is the port: Connect opens the port all the
    // same, and one box names the getty and how to turn the console off.
    void consoleOnThePort() {
        VirtualModem modem;
        QVERIFY(!modem.device().isEmpty());
        QProcess getty;
        getty.start(QStringLiteral(TARVEX_STAND_IN_GETTY), {modem.device()});
        QVERIFY(getty.waitForReadyRead(10'000));
        QCOMPARE(getty.readLine().trimmed(), QByteArray("ready"));

        RealWorld world(modem.device());
        world.window->connect->click();
        QVERIFY(world.window->flags().PortConnected);
        QCOMPARE(world.boxes->texts().size(), 1);
        const QString box = world.boxes->texts()[0];
        QVERIFY2(box.startsWith(QStringLiteral("COM1 (%1) is also a console, with a login prompt "
                                               "(stand-in-getty, pid %2): ")
                                    .arg(modem.device())
                                    .arg(getty.processId())),
                 qPrintable(box));
        QVERIFY2(box.contains(QStringLiteral("\nTurn the console off: ")), qPrintable(box));
        getty.closeWriteChannel();
        QVERIFY(getty.waitForFinished(10'000));
    }

    // We run as root in CI, and root opens any file: the open is tried by another
    // user, in a probe process, on a device only root may use.
    void permissionDenied() {
        VirtualModem modem;
        QVERIFY(!modem.device().isEmpty());
        QProcess probe;
        if (::geteuid() == 0) {
            QCOMPARE(::chmod(modem.device().toLocal8Bit().constData(), 0600), 0);
            probe.start(QStringLiteral("setpriv"),
                        {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                         QStringLiteral("--clear-groups"), QStringLiteral(TARVEX_OPEN_PROBE),
                         modem.device()});
        } else {
            // Our own device: taking every permission away denies us too.
            QCOMPARE(::chmod(modem.device().toLocal8Bit().constData(), 0), 0);
            probe.start(QStringLiteral(TARVEX_OPEN_PROBE), {modem.device()});
        }
        QVERIFY(probe.waitForFinished(10'000));
        const QString said = QString::fromLocal8Bit(probe.readAllStandardOutput()).trimmed();
        QCOMPARE(probe.exitCode(), 1);
        QVERIFY2(said.startsWith(QStringLiteral("error %1 COM1 (%2): Permission denied.")
                                     .arg(int(SerialError::Kind::PermissionDenied))
                                     .arg(modem.device())),
                 qPrintable(said));
        QVERIFY(said.contains(QStringLiteral("\"dialout\"")));
    }

    void modemTest_data() { fault_rows::addModemTestRows(); }
    void modemTest() {
        QFETCH(QStringList, args);
        QFETCH(QStringList, expected);
        VirtualModem modem(args);
        RealWorld world(modem.device());
        world.window->connect->click();
        QVERIFY(world.window->flags().PortConnected);
        // Noise may spell O ... K before any test; only what follows the click counts.
        const qsizetype before = world.boxes->shown.size();
        world.boxes->answers = {false}; // no retry
        world.window->cmdTest->click();
        QTRY_COMPARE_WITH_TIMEOUT(world.boxes->texts().mid(before), expected, 15000);
        if (expected.contains(kRetry))
            QCOMPARE(askCaption(*world.boxes, kRetry), QStringLiteral("No Modem........"));
        // The reply timer still runs out after a found modem, and shows nothing then.
        QTRY_VERIFY_WITH_TIMEOUT(!world.window->Timer1.isEnabled(), 3000);
        QCOMPARE(world.boxes->texts().mid(before), expected);
        QVERIFY(world.reports().isEmpty());
        QVERIFY(world.window->flags().PortConnected);
    }

    void sms_data() { fault_rows::addSmsRows(); }
    void sms() {
        QFETCH(QStringList, args);
        QFETCH(QString, expected);
        VirtualModem modem(args);
        RealWorld world(modem.device());
        world.window->connect->click();
        // As a technician does: the modem test first. Until a test has finished, an
        // O and a K in the SMS answers would count as the modem being found.
        if (!args.contains(QStringLiteral("--error-on"))) {
            world.window->cmdTest->click();
            QTRY_COMPARE_WITH_TIMEOUT(world.boxes->texts(), QStringList{kModemOk}, 5000);
        }
        world.window->txtMobileNo->setText(kNumber);
        world.window->txtDat->setText(QStringLiteral("Hello"));
        const qsizetype before = world.boxes->shown.size();
        world.window->Command7->click();
        QTRY_COMPARE_WITH_TIMEOUT(world.boxes->texts().mid(before), QStringList{expected},
                                  kSmsWaitMs);
        QVERIFY(world.window->Command7->isEnabled());
        QVERIFY(!world.window->smsInProgress());
        const bool sent = expected == QLatin1String("SMS Send");
        QCOMPARE(world.window->txtDat->text(), sent ? QString() : QStringLiteral("Hello"));
        QCOMPARE(world.window->txtMobileNo->text(), sent ? QStringLiteral("+91") : kNumber);
    }

    // 100 000 random bytes once the port is open: the window keeps handling its other
    // events while they pour in, and the modem test works once they are through.
    void flood() {
        constexpr int kFlood = fault_rows::kFloodBytes;
        VirtualModem modem(fault_rows::floodArgs());
        RealWorld world(modem.device());
        int received = 0;
        int ticks = 0;
        int ticksAtHalf = -1;
        QTimer ticker;
        ticker.setInterval(10);
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        QObject::connect(&world.window->MSComm1, &SerialControl::OnComm, [&] {
            if (world.window->MSComm1.CommEvent() == CommEventCode::Receive &&
                ++received == kFlood / 2)
                ticksAtHalf = ticks;
        });
        ticker.start();
        world.window->connect->click();
        QVERIFY(world.window->flags().PortConnected);
        // The modem starts its noise when it first hears from the port; a lone CR is
        // no command line to it.
        world.window->MSComm1.Output(QStringLiteral("\r"));
        // Every noise byte and the echoed CR, one notification each: nothing lost. (An O
        // and a K in the noise make the window turn the echo off: more may come.)
        QTRY_VERIFY_WITH_TIMEOUT(received > kFlood, 30'000);
        QVERIFY2(ticksAtHalf > 0, "no timer event was handled during the first half of the flood");
        QVERIFY(world.reports().isEmpty());

        const qsizetype before = world.boxes->shown.size();
        world.window->cmdTest->click();
        QTRY_COMPARE_WITH_TIMEOUT(world.boxes->texts().mid(before), QStringList{kModemOk}, 5000);
    }

    void vanishing_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("action");
        QTest::newRow("idle, after connecting")
            << QStringList{"--vanish-after-ms", "2000"} << int(Action::None); // long after Connect
        QTest::newRow("during the modem test")
            << QStringList{"--vanish-after-bytes", "1"} << int(Action::Test);
        QTest::newRow("during the SMS pauses")
            << QStringList{"--vanish-after-bytes", "15"} << int(Action::Sms);
        QTest::newRow("waiting for the SMS outcome")
            << fault_rows::vanishWaitingForVerdictArgs() << int(Action::Sms);
    }
    void vanishing() {
        QFETCH(QStringList, args);
        QFETCH(int, action);
        QString device;
        RealWorld world(QString{});
        {
            VirtualModem modem(args);
            device = modem.device();
            qputenv("TARVEX_COM1", device.toLocal8Bit());
            world.window->connect->click();
            QVERIFY(world.window->flags().PortConnected);
            world.window->txtMobileNo->setText(kNumber);
            world.window->txtDat->setText(fault_rows::kVanishText);
            if (Action(action) == Action::Test)
                world.window->cmdTest->click();
            else if (Action(action) == Action::Sms)
                world.window->Command7->click();
            QTRY_COMPARE_WITH_TIMEOUT(world.reports().size(), 1, kSmsWaitMs);
            QTRY_COMPARE_WITH_TIMEOUT(modem.process().state(), QProcess::NotRunning, 5000);
            QCOMPARE(modem.process().exitCode(), 0);
        }
        // A flood of errors from the dead line must not bring a second message: what
        // is queued is delivered, and with the port closed and no timer left nothing
        // else can come.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        verifyLost(world, device);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(world.window->txtMobileNo->text(), kNumber);
        QCOMPARE(world.window->txtDat->text(), fault_rows::kVanishText);

        // Plugged back in: Connect and the modem test work without a restart.
        VirtualModem back;
        qputenv("TARVEX_COM1", back.device().toLocal8Bit());
        world.window->connect->click();
        QVERIFY(world.window->flags().PortConnected);
        const qsizetype before = world.boxes->shown.size();
        world.window->cmdTest->click();
        QTRY_COMPARE_WITH_TIMEOUT(world.boxes->texts().mid(before), QStringList{kModemOk}, 5000);
    }

    // Quit answered Yes while a message waits for its verdict: the process ends there.
    void quitWhileWaiting() {
        VirtualModem modem({"--silent"});
        RealWorld world(modem.device());
        world.window->connect->click();
        world.window->txtMobileNo->setText(kNumber);
        world.window->txtDat->setText(QStringLiteral("Hi"));
        world.window->Command7->click();
        QVERIFY(world.window->smsInProgress());
        world.boxes->answers = {true};
        world.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(world.window.get()));
        world.window->close();
        QCOMPARE(world.processEnds, 1);
        QCOMPARE(world.boxes->shown.last().caption, QStringLiteral("Quitting............"));
        QCOMPARE(world.boxes->shown.last().text, QStringLiteral("Are you sure want to quit?"));
    }

    // What endProcess is in the real program: the process is gone at once, with success.
    void endProcessEndsTheProcess() {
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            endTheProcess();
            ::_exit(99); // not reached unless endProcess returned
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
    }
};

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
