// The window's side of a device that goes away, on the fakes: whatever was in
// progress ends, the operator is told once, and Connect works again.

#include "connected_suite.h"
#include "fake_world.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace tarvex;
using namespace tarvex::testing;
using namespace std::chrono_literals;

namespace {

enum class When { Idle, TestWrite, SmsWrite, SmsWaiting, RetryQuestion, ModemOkShown };

SerialError lost() {
    return SerialError(SerialError::Kind::DeviceLost, QStringLiteral("COM1 (/dev/fake)"),
                       QStringLiteral("the device went away (Input/output error)"));
}

} // namespace

class TestDeviceLost : public ConnectedSuite<FakeWorld> {
    Q_OBJECT

private slots:
    void endsWhatIsInProgress_data() {
        QTest::addColumn<int>("when");
        QTest::addColumn<int>("notifications"); // DeviceLost notifications raised
        QTest::addColumn<QString>("report");
        const QString notified = QStringLiteral("COM1 (/dev/fake): the device went away.");
        const QString thrown =
            QStringLiteral("COM1 (/dev/fake): the device went away (Input/output error)");
        QTest::newRow("idle") << int(When::Idle) << 1 << notified;
        QTest::newRow("idle, a flood of notifications") << int(When::Idle) << 50 << notified;
        QTest::newRow("write fails during the modem test") << int(When::TestWrite) << 0 << thrown;
        QTest::newRow("write fails, then notified too") << int(When::TestWrite) << 3 << thrown;
        QTest::newRow("write fails during the SMS pauses") << int(When::SmsWrite) << 0 << thrown;
        QTest::newRow("waiting for the SMS outcome") << int(When::SmsWaiting) << 1 << notified;
        QTest::newRow("while the Retry question is open")
            << int(When::RetryQuestion) << 1 << notified;
        QTest::newRow("while GSM Modem OK is shown") << int(When::ModemOkShown) << 2 << notified;
    }
    void endsWhatIsInProgress() {
        QFETCH(int, when);
        QFETCH(int, notifications);
        QFETCH(QString, report);
        FakeWorld& world = *world_;
        world.window->txtMobileNo->setText(QStringLiteral("+15551234567"));
        world.window->txtDat->setText(QStringLiteral("Hello"));
        auto notifyLost = [&world, notifications] {
            for (int i = 0; i < notifications; ++i)
                world.serial->notify(CommEventCode::DeviceLost);
        };

        switch (When(when)) {
        case When::Idle:
            notifyLost();
            break;
        case When::TestWrite:
            world.serial->failOutput.emplace(1, lost()); // "A" goes out, "T" fails
            world.window->cmdTest->click();
            notifyLost();
            break;
        case When::SmsWrite:
            world.serial->failOutput.emplace(14, lost()); // inside "AT+CMGS="
            world.window->Command7->click();
            break;
        case When::SmsWaiting:
            world.window->Command7->click();
            QVERIFY(world.window->smsInProgress());
            notifyLost();
            break;
        case When::RetryQuestion:
            world.window->cmdTest->click();
            world.boxes->answers = {true};
            world.boxes->whileOpen.push_back(notifyLost);
            world.clock.run(2100ms);
            break;
        case When::ModemOkShown:
            world.window->cmdTest->click();
            world.boxes->whileOpen.push_back(notifyLost);
            world.serial->receive(QStringLiteral("OK"));
            break;
        }
        const qsizetype wiredBefore = world.serial->written.size();
        world.clock.run(130s); // every timer that is still running gets its turn

        QStringList reports;
        for (const Shown& s : world.boxes->shown) {
            if (s.kind == Shown::Report)
                reports.append(s.text);
        }
        QCOMPARE(reports, QStringList{report + "\nPlug the modem back in, then press Connect."});
        QVERIFY(!world.window->flags().PortConnected);
        QVERIFY(!world.serial->PortOpen());
        QVERIFY(!world.window->connect->isHidden());
        QVERIFY(!world.replyTimer->isEnabled());
        QVERIFY(!world.smsTimer->isEnabled());
        QVERIFY(!world.window->smsInProgress());
        QVERIFY(world.window->Command7->isEnabled());
        QCOMPARE(world.window->txtMobileNo->text(), QStringLiteral("+15551234567"));
        QCOMPARE(world.window->txtDat->text(), QStringLiteral("Hello"));
        QCOMPARE(world.serial->written.size(), wiredBefore); // nothing more was sent
        QCOMPARE(world.boxes->unexpectedQuestions, 0);
        QVERIFY(
            !world.boxes->texts().contains(QStringLiteral("SMS Not Sent: no reply from modem")));

        // Plugged back in: Connect works and so does the modem test; a late answer
        // to the abandoned message decides nothing.
        const qsizetype shown = world.boxes->shown.size();
        world.serial->failOutput.reset();
        world.window->connect->click();
        QVERIFY(world.window->flags().PortConnected);
        QVERIFY(world.window->connect->isHidden());
        world.serial->receive(QStringLiteral("\r\n+CMGS: 7\r\n"));
        world.window->cmdTest->click();
        world.serial->receive(QStringLiteral("\r\nOK\r\n"));
        QCOMPARE(world.boxes->texts().mid(shown), QStringList{QStringLiteral("GSM Modem OK")});
    }
};

QTEST_MAIN(TestDeviceLost)
#include "tst_device_lost.moc"
