// "Test Modem Communication": the wire timeline, the reply detector and the time-out.

#include "connected_suite.h"
#include "fake_dialogue_world.h"
#include "fault_rows.h"

#include <QTest>

using namespace tarvex;
using namespace tarvex::testing;
using namespace std::chrono_literals;

namespace {

using fault_rows::kModemOk;
using fault_rows::kRetry;

const QList<Written> kAttention{{0, "A"}, {100, "T"}, {200, "\r\n"}};
const QString kEchoOff = QStringLiteral("ATE0\r\n");

} // namespace

class TestModemDetection : public ConnectedSuite<FakeDialogueWorld> {
    Q_OBJECT

private slots:
    void wireTimeline() {
        w().cmdTest_Click();
        QCOMPARE(world_->serial->written, kAttention);
        QVERIFY(w().Timer1.isEnabled());
        QCOMPARE(world_->replyTimer->deadline(), 2200);

        world_->clock.run(300ms);
        world_->serial->receive(QStringLiteral("AT\r\r\nOK\r\n"));
        // The reply arrived at 500 ms: "ATE0" and its line end go out paced, then
        // 100 ms pass before the operator is told.
        QCOMPARE(world_->serial->written, kAttention + pacedFrom(500, kEchoOff));
        QCOMPARE(world_->boxes->shown.size(), 1);
        QCOMPARE(world_->boxes->shown[0].text, kModemOk);
        QCOMPARE(world_->boxes->shown[0].caption, QStringLiteral("Test Tarvex"));
        QCOMPARE(world_->boxes->shown[0].at, pacedEnd(500, kEchoOff) + 100);
    }

    void detector_data() {
        QTest::addColumn<QString>("received");
        QTest::addColumn<bool>("found");
        QTest::newRow("O K") << "OK" << true;
        QTest::newRow("echo then OK between line ends") << "AT\r\r\nOK\r\n" << true;
        QTest::newRow("O, line end, K") << "O\r\nK" << true;
        QTest::newRow("K alone") << "K" << false;
        QTest::newRow("K before O") << "KO" << false;
        QTest::newRow("lower case") << "ok" << false;
        QTest::newRow("mixed case") << "Ok" << false;
        QTest::newRow("ERROR") << "\r\nERROR\r\n" << false;
        QTest::newRow("ERROR then a later K") << "\r\nERROR\r\nK" << true;
        QTest::newRow("noise between O and K") << QStringLiteral("O\u0000\u00ff#K") << true;
        QTest::newRow("nothing") << "" << false;
    }

    void detector() {
        QFETCH(QString, received);
        QFETCH(bool, found);
        w().cmdTest_Click();
        world_->serial->receive(received);
        QCOMPARE(bool(w().flags().ModemFound), found);
        QCOMPARE(bool(w().flags().DetectDone), found);
        QCOMPARE(world_->boxes->texts(), found ? QStringList{kModemOk} : QStringList{});
        QCOMPARE(world_->serial->wire().endsWith(kEchoOff), found);
    }

    void ignoresEverythingOnceDone() {
        w().cmdTest_Click();
        world_->serial->receive(QStringLiteral("OK"));
        world_->serial->receive(QStringLiteral("\r\nOK\r\nO"));
        QCOMPARE(world_->boxes->texts(), QStringList{kModemOk});
        QVERIFY(!w().flags().GotO); // the later "O" was not even looked at
        QCOMPARE(world_->serial->wire().count(QStringLiteral("ATE0")), 1);

        // The next test listens again.
        w().cmdTest_Click();
        world_->serial->receive(QStringLiteral("OK"));
        QCOMPARE(world_->boxes->texts(), (QStringList{kModemOk, kModemOk}));
    }

    void pendingOSurvivesTestClick() {
        world_->serial->receive(QStringLiteral("O"));
        w().cmdTest_Click();
        world_->serial->receive(QStringLiteral("K"));
        QVERIFY(w().flags().ModemFound);
    }

    void detectorIsLiveBeforeAnyTest() {
        world_->serial->receive(QStringLiteral("\r\nOK\r\n"));
        QCOMPARE(world_->boxes->texts(), QStringList{kModemOk});
        QVERIFY(world_->serial->wire().startsWith(kEchoOff));
    }

    void flagsSettleBeforeTheSend() {
        w().cmdTest_Click();
        world_->serial->receive(QStringLiteral("O"));
        // Whatever arrives while "GSM Modem OK" is open finds the test finished.
        world_->boxes->whileOpen.push_back([this] {
            QVERIFY(w().flags().DetectDone);
            QVERIFY(w().flags().ModemFound);
            QVERIFY(!w().flags().GotO);
            world_->serial->receive(QStringLiteral("ATE0\r\r\nOK\r\nOK"));
            world_->clock.run(3s); // the reply timer ticks while the box is open
        });
        world_->serial->failOutput.reset();
        world_->serial->receive(QStringLiteral("K"));
        QCOMPARE(world_->boxes->texts(), QStringList{kModemOk});
        QCOMPARE(world_->serial->wire().count(QStringLiteral("ATE0")), 1);
        QVERIFY(!w().Timer1.isEnabled());
    }

    void flagsSettleEvenWhenTheSendFails() {
        w().cmdTest_Click();
        world_->serial->failOutput = {3, SerialError(SerialError::Kind::Io,
                                                     QStringLiteral("COM1 (/dev/x)"),
                                                     QStringLiteral("writing failed"))};
        world_->serial->receive(QStringLiteral("OK"));
        QVERIFY(w().flags().DetectDone);
        QVERIFY(w().flags().ModemFound);
        QCOMPARE(world_->boxes->shown.size(), 1);
        QCOMPARE(world_->boxes->shown[0].kind, Shown::Report);
    }

    // After the device went away: the click is refused, and still clears DetectDone.
    void notConnected() {
        w().cmdTest_Click();
        world_->serial->receive(QStringLiteral("OK"));
        QVERIFY(w().flags().DetectDone);
        world_->serial->notify(CommEventCode::DeviceLost);
        QVERIFY(!w().flags().PortConnected);
        world_->boxes->shown.clear();
        world_->serial->written.clear();

        w().cmdTest_Click();
        QCOMPARE(world_->boxes->texts(), QStringList{QStringLiteral("Connect ComPort")});
        QCOMPARE(world_->boxes->shown[0].kind, Shown::Inform);
        QVERIFY(world_->serial->written.isEmpty());
        QVERIFY(!w().Timer1.isEnabled());
        QVERIFY(!w().flags().DetectDone);
    }

    void tickAfterSuccess() {
        w().cmdTest_Click();
        world_->serial->receive(QStringLiteral("OK"));
        world_->clock.run(5s);
        QVERIFY(!w().Timer1.isEnabled());
        QCOMPARE(world_->boxes->texts(), QStringList{kModemOk});
    }

    void tickWithoutReply_data() {
        QTest::addColumn<bool>("retry");
        QTest::newRow("Yes") << true;
        QTest::newRow("No") << false;
    }

    void tickWithoutReply() {
        QFETCH(bool, retry);
        world_->boxes->answers = {retry};
        w().cmdTest_Click();
        world_->clock.run(1999ms); // the timer was armed at 200 ms
        QVERIFY(world_->boxes->shown.isEmpty());
        world_->clock.run(1ms);
        QCOMPARE(world_->boxes->shown.size(), 1);
        QCOMPARE(world_->boxes->shown[0].kind, Shown::Ask);
        QCOMPARE(world_->boxes->shown[0].caption, QStringLiteral("No Modem........"));
        QCOMPARE(world_->boxes->shown[0].text, kRetry);
        QCOMPARE(world_->boxes->shown[0].at, 2200);

        if (retry) {
            QList<Written> twice = kAttention;
            for (const Written& a : kAttention)
                twice.append({a.at + 2200, a.text});
            QCOMPARE(world_->serial->written, twice);
            QVERIFY(w().Timer1.isEnabled());
            world_->serial->receive(QStringLiteral("OK"));
            QCOMPARE(world_->boxes->texts(), (QStringList{kRetry, kModemOk}));
        } else {
            QCOMPARE(world_->serial->written, kAttention);
            QVERIFY(!w().Timer1.isEnabled());
            world_->clock.run(10s);
            QCOMPARE(world_->boxes->shown.size(), 1);
        }
    }

    void retryAfterDeviceLost() {
        world_->boxes->answers = {true};
        world_->boxes->whileOpen.push_back(
            [this] { world_->serial->notify(CommEventCode::DeviceLost); });
        w().cmdTest_Click();
        world_->serial->written.clear();
        world_->clock.run(2200ms);
        QCOMPARE(world_->boxes->shown.size(), 3);
        QCOMPARE(world_->boxes->shown[1].kind, Shown::Report);
        QCOMPARE(world_->boxes->shown[2].text, QStringLiteral("Connect ComPort"));
        QVERIFY(world_->serial->written.isEmpty());
        QVERIFY(!w().Timer1.isEnabled());
    }

    // The modem's OK comes late, while the Retry question is open, and the operator
    // then answers Yes: the retried command's answer must still count.
    void lateReplyThenRetry() {
        world_->boxes->answers = {true};
        world_->boxes->whileOpen.push_back(
            [this] { world_->serial->receive(QStringLiteral("OK")); });
        w().cmdTest_Click();
        world_->clock.run(2200ms);
        QCOMPARE(world_->boxes->texts(), (QStringList{kRetry, kModemOk}));
        QVERIFY(!w().flags().ModemFound); // cleared by the retry
        QVERIFY(!w().flags().DetectDone);

        world_->serial->receive(QStringLiteral("AT\r\r\nOK\r\n"));
        world_->clock.run(5s);
        QCOMPARE(world_->boxes->texts(), (QStringList{kRetry, kModemOk, kModemOk}));
        QVERIFY(w().flags().ModemFound);
        QCOMPARE(world_->boxes->unexpectedQuestions, 0);
    }

private:
    ModemDialogue& w() { return world_->dialogue; }
};

QTEST_GUILESS_MAIN(TestModemDetection)
#include "tst_modem_detection.moc"
