// The paced transmitter, the real pause's schedule, and the receive path.

#include "connected_suite.h"
#include "fake_dialogue_world.h"
#include "platform/modFunctions.h"

#include <QTest>

using namespace tarvex;
using namespace tarvex::testing;

class TestPacedTransmitter : public ConnectedSuite<FakeDialogueWorld> {
    Q_OBJECT

private slots:
    void sendsOneCharacterEvery25ms_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("echo off") << QStringLiteral("ATE0\r\n");
        QTest::newRow("one character") << QStringLiteral("A");
        QTest::newRow("Ctrl-Z and Latin-1") << QStringLiteral("x\x1a\u00e9");
    }

    void sendsOneCharacterEvery25ms() {
        QFETCH(QString, text);
        w().SendComm(text);
        QCOMPARE(world_->serial->written, pacedFrom(0, text));
        QCOMPARE(world_->clock.now(), pacedEnd(0, text)); // the last character is paced too
    }

    // The real pause's 25 ms pauses on a virtual clock: each character is handed over
    // when its pause returns, 10 us of work later the next pause is asked for. On time,
    // the schedule does not drift; after a late return the next pause is whole.
    void pauseSchedule_data() {
        QTest::addColumn<QList<int>>("lateUs");     // how late each pause returns
        QTest::addColumn<int>("workUs");            // between a return and the next pause
        QTest::addColumn<QList<int>>("expectedUs"); // when each pause is due to end
        QTest::newRow("on time: no drift")
            << QList<int>{60, 60, 60, 60} << 10 << QList<int>{25000, 50000, 75000, 100000};
        QTest::newRow("a return late by 3 ms, within the continuation")
            << QList<int>{0, 3000, 0, 0} << 10 << QList<int>{25000, 50000, 78000, 103000};
        QTest::newRow("a return late by 10 ms")
            << QList<int>{0, 10000, 0} << 10 << QList<int>{25000, 50000, 85000};
        QTest::newRow("late by no more than the timer's slack")
            << QList<int>{1000, 1000, 0} << 10 << QList<int>{25000, 50000, 75000};
        QTest::newRow("work longer than a character: a new schedule")
            << QList<int>{0, 0} << 6000 << QList<int>{25000, 56000};
    }
    void pauseSchedule() {
        QFETCH(QList<int>, lateUs);
        QFETCH(int, workUs);
        QFETCH(QList<int>, expectedUs);
        using us = std::chrono::microseconds;
        const PauseSchedule::Clock::time_point zero{};
        PauseSchedule schedule;
        auto now = zero;
        QList<int> due;
        for (const int late : lateUs) {
            const auto end = schedule.end(now, std::chrono::milliseconds(25));
            due.append(int(std::chrono::duration_cast<us>(end - zero).count()));
            schedule.returned(end + us(late));
            now = end + us(late) + us(workUs);
        }
        QCOMPARE(due, expectedUs);
    }

    void emptyTextSendsNothing() {
        w().SendComm(QString());
        QVERIFY(world_->serial->written.isEmpty());
        QCOMPARE(world_->clock.now(), 0);
    }

    void longestTextIsSentInFull() {
        const QString text(32767, QLatin1Char('a'));
        w().SendComm(text);
        QCOMPARE(world_->serial->written.size(), 32767);
        QCOMPARE(world_->serial->wire(), text);
    }

    void overlongTextSendsNothing() {
        QVERIFY_THROWS_EXCEPTION(std::length_error, w().SendComm(QString(32768, QLatin1Char('a'))));
        QVERIFY(world_->serial->written.isEmpty());
        QCOMPARE(world_->clock.now(), 0);
    }

    void onlyReceiveEventsRead() {
        w().cmdTest_Click();
        world_->serial->written.clear();
        world_->serial->arrive(QStringLiteral("OK"));
        world_->serial->notify(CommEventCode::None);
        world_->serial->notify(static_cast<CommEventCode>(1004)); // a framing error
        QVERIFY(world_->boxes->shown.isEmpty());
        // Had either of them read, the "O" would be gone and the "K" alone would not count.
        world_->serial->notify(CommEventCode::Receive);
        world_->serial->notify(CommEventCode::Receive);
        QCOMPARE(world_->boxes->texts(), QStringList{QStringLiteral("GSM Modem OK")});
    }

    void notificationWithNothingWaitingIsHarmless() {
        world_->serial->notify(CommEventCode::Receive);
        QVERIFY(world_->boxes->shown.isEmpty());
        QVERIFY(world_->serial->written.isEmpty());
        QVERIFY(!w().flags().GotO);
    }

private:
    ModemDialogue& w() { return world_->dialogue; }
};

QTEST_GUILESS_MAIN(TestPacedTransmitter)
#include "tst_paced_transmitter.moc"
