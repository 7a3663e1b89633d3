// The command runner: one command at a time, its answer gathered line by line until
// a final result code, what comes unasked set aside, and each command's own time-out.

#include "fake_dialogue_world.h"
#include "serial/command_runner.h"

#include <QTest>

using namespace tarvex;
using namespace tarvex::testing;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(tarvex::CommandAnswer::Final)

class TestCommandRunner : public QObject {
    Q_OBJECT

private slots:
    void init() {
        world_ = std::make_unique<FakeDevices>();
        world_->serial->setPortOpen(true);
        runner_ =
            std::make_unique<CommandRunner>(*world_->serial, *world_->pause, *world_->queryTimer);
    }
    void cleanup() {
        runner_.reset();
        world_.reset();
    }

    // Whatever the modem answers to +CREG?, however it is framed, and whatever comes
    // unasked among it.
    void answers_data() {
        QTest::addColumn<QString>("received");
        QTest::addColumn<CommandAnswer::Final>("final");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("setAside");
        using F = CommandAnswer::Final;
        QTest::newRow("answer and OK") << "\r\n+CREG: 0,1\r\n\r\nOK\r\n"
                                       << F::Ok << QStringList{"+CREG: 0,1"} << 0;
        QTest::newRow("echo still on") << "AT+CREG?\r\r\n+CREG: 0,1\r\n\r\nOK\r\n"
                                       << F::Ok << QStringList{"+CREG: 0,1"} << 0;
        QTest::newRow("bare CR line ends")
            << "\r+CREG: 0,5\r\rOK\r" << F::Ok << QStringList{"+CREG: 0,5"} << 0;
        QTest::newRow("ERROR") << "\r\nERROR\r\n" << F::Error << QStringList{} << 0;
        QTest::newRow("Huawei's word for it") << "\r\nCOMMAND NOT SUPPORT\r\n"
                                              << F::Error << QStringList{} << 0;
        QTest::newRow("CME ERROR") << "\r\n+CME ERROR: 14\r\n" << F::CmeError << QStringList{} << 0;
        QTest::newRow("CMS ERROR") << "\r\n+CMS ERROR: 500\r\n"
                                   << F::CmsError << QStringList{} << 0;
        QTest::newRow("a ring and a new message among it")
            << "\r\nRING\r\n\r\n+CREG: 0,1\r\n\r\n+CMTI: \"SM\",3\r\n\r\nOK\r\n"
            << F::Ok << QStringList{"+CREG: 0,1"} << 2;
        QTest::newRow("a registration change just before the answer")
            << "\r\n+CREG: 1\r\n\r\n+CREG: 2,1,\"00A8\",\"5355E8D\",7\r\n\r\nOK\r\n"
            << F::Ok << QStringList{"+CREG: 2,1,\"00A8\",\"5355E8D\",7"} << 1;
        QTest::newRow("a message delivered whole, its text a line of its own")
            << "\r\n+CMT: \"+4477\",,\"26/12/10\"\r\nOK then\r\n+CREG: 0,1\r\nOK\r\n"
            << F::Ok << QStringList{"+CREG: 0,1"} << 2;
        QTest::newRow("nothing after the answer: no final result")
            << "\r\n+CREG: 0,1\r\n"
            << F::TimedOut << QStringList{"+CREG: 0,1"} << 0;
    }
    void answers() {
        QFETCH(QString, received);
        QFETCH(CommandAnswer::Final, final);
        QFETCH(QStringList, lines);
        QFETCH(int, setAside);
        std::optional<CommandAnswer> got;
        runner_->run(QStringLiteral("+CREG?"), 2000ms, [&](const CommandAnswer& a) { got = a; });
        QCOMPARE(world_->serial->wire(), QStringLiteral("AT+CREG?\r\n"));
        runner_->feed(received);
        world_->clock.run(2000ms);
        QVERIFY(got);
        QCOMPARE(got->final, final);
        QCOMPARE(got->lines, lines);
        QCOMPARE(runner_->unsolicited().size(), setAside);
        QVERIFY(!runner_->active());
    }

    // Paced like every write, then the command's own time to answer from its line end;
    // an answer after the time-out belongs to nobody.
    void pacingAndTimeOut() {
        int calls = 0;
        std::optional<CommandAnswer> got;
        runner_->run(QStringLiteral("+COPS?"), 5000ms, [&](const CommandAnswer& a) {
            ++calls;
            got = a;
        });
        const QString line = QStringLiteral("AT+COPS?\r\n");
        QCOMPARE(world_->serial->written, pacedFrom(0, line));
        const qint64 lineEnd = world_->clock.now();
        QCOMPARE(lineEnd, pacedEnd(0, line));
        world_->clock.run(4999ms);
        QVERIFY(!got);
        world_->clock.run(1ms);
        QVERIFY(got);
        QCOMPARE(world_->clock.now() - lineEnd, 5000);
        QCOMPARE(got->final, CommandAnswer::Final::TimedOut);
        runner_->feed(QStringLiteral("\r\nOK\r\n"));
        world_->clock.run(10s);
        QCOMPARE(calls, 1);
    }

    // The ATE0 the modem test sent is awaited, not sent again; cancel() calls nobody.
    void awaitAndCancel() {
        std::optional<CommandAnswer> got;
        runner_->await(QStringLiteral("E0"), 2000ms, [&](const CommandAnswer& a) { got = a; });
        QVERIFY(world_->serial->written.isEmpty());
        runner_->feed(QStringLiteral("ATE0\r\r\nOK\r\n"));
        QVERIFY(got);
        QCOMPARE(got->final, CommandAnswer::Final::Ok);
        got.reset();
        runner_->await(QStringLiteral("+CSQ"), 2000ms, [&](const CommandAnswer& a) { got = a; });
        runner_->cancel();
        runner_->feed(QStringLiteral("\r\nOK\r\n"));
        world_->clock.run(5s);
        QVERIFY(!got);
        // A `done` that asks the next command at once: what came after the answer in
        // the same read is not the next command's.
        int finished = 0;
        runner_->await(QStringLiteral("+CGMI"), 2000ms, [&](const CommandAnswer&) {
            ++finished;
            runner_->await(QStringLiteral("+CGMM"), 2000ms,
                           [&](const CommandAnswer&) { ++finished; });
        });
        runner_->feed(QStringLiteral("\r\nOK\r\n\r\nOK\r\n"));
        QCOMPARE(finished, 1);
    }

private:
    std::unique_ptr<FakeDevices> world_;
    std::unique_ptr<CommandRunner> runner_;
};

QTEST_GUILESS_MAIN(TestCommandRunner)
#include "tst_command_runner.moc"
