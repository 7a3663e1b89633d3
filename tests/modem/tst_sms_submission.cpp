// "Send SMS": the checks, the exact wire timeline, and the verdict from the modem.

#include "connected_suite.h"
#include "fake_world.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace tarvex;
using namespace tarvex::testing;
using namespace std::chrono_literals;

namespace {

const QString kCtrlZ = QString(QChar(26));

} // namespace

class TestSmsSubmission : public ConnectedSuite<FakeWorld> {
    Q_OBJECT

private slots:
    void init() override {
        ConnectedSuite::init();
        // A finished modem test, so the reply detector stays quiet in these tests.
        world_->serial->receive(QStringLiteral("OK"));
        world_->boxes->shown.clear();
        world_->serial->written.clear();
        world_->clock.run(1s);
    }

    void wireTimeline() {
        const qint64 start = world_->clock.now();
        w().txtMobileNo->setText(QStringLiteral("+919876543210"));
        w().txtDat->setText(QStringLiteral("Hello from Tarvex"));
        w().Command7->click();

        const QString textMode = QStringLiteral("AT+CMGF=1\r\n");
        const QString submit = QStringLiteral("AT+CMGS=\"+919876543210\"\r\n");
        const QString body = QStringLiteral("Hello from Tarvex") + kCtrlZ;
        const qint64 submitAt = pacedEnd(start, textMode) + 1000;
        const qint64 bodyAt = pacedEnd(submitAt, submit) + 2000;
        QCOMPARE(world_->serial->written, pacedFrom(start, textMode) + pacedFrom(submitAt, submit) +
                                              pacedFrom(bodyAt, body));
        QCOMPARE(world_->clock.now(), pacedEnd(bodyAt, body));
        QCOMPARE(world_->pause->pauses.count(1000), 3);

        // Waiting for the verdict: the button stays disabled, the boxes keep their text.
        QVERIFY(!w().Command7->isEnabled());
        QVERIFY(w().smsInProgress());
        QVERIFY(world_->boxes->shown.isEmpty());
    }

    // Stopped part-way, as a Ctrl-C stops the shell: a command line cut short is
    // erased (a backspace for each character out, then CR), ESC only between a whole
    // AT+CMGS and Ctrl-Z, never a Ctrl-Z after the stop, the port closed in every case.
    void stopPartWay_data() {
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("wireEnd");
        QTest::addColumn<int>("sms");
        QTest::addColumn<bool>("escFails"); // the port takes no write after the stop
        const QString esc = QString(QChar(27));
        const auto erased = [](qsizetype n) { return QString(n, QChar(8)) + QLatin1Char('\r'); };
        QTest::newRow("in AT+CMGF") << "AT+CM"
                                    << "AT+CM" + erased(5) << int(SmsAtStop::None) << false;
        QTest::newRow("after AT+CMGF") << "AT+CMGF=1\r\n"
                                       << "AT+CMGF=1\r\n"
                                       << int(SmsAtStop::None) << false;
        QTest::newRow("in AT+CMGS") << "AT+CMGS"
                                    << "AT+CMGS" + erased(7) << int(SmsAtStop::NotSent) << false;
        QTest::newRow("in the number")
            << "AT+CMGS=\"+1555"
            << "\"+1555" + erased(14) << int(SmsAtStop::NotSent) << false;
        QTest::newRow("its CR out, its LF not")
            << "67\"\r"
            << "67\"\r" + esc << int(SmsAtStop::TakenBack) << false;
        QTest::newRow("at the prompt") << "67\"\r\n"
                                       << "67\"\r\n" + esc << int(SmsAtStop::TakenBack) << false;
        QTest::newRow("in the body") << "\"\r\nHel"
                                     << "\"\r\nHel" + esc << int(SmsAtStop::TakenBack) << false;
        QTest::newRow("ESC not written") << "\"\r\nHel"
                                         << "\"\r\nHel" << int(SmsAtStop::Stranded) << true;
        QTest::newRow("after Ctrl-Z")
            << "lo" + kCtrlZ << "lo" + kCtrlZ << int(SmsAtStop::Unknown) << false;
    }
    void stopPartWay() {
        QFETCH(QString, after);
        QFETCH(QString, wireEnd);
        QFETCH(int, sms);
        QFETCH(bool, escFails);
        std::optional<SmsAtStop> stopped;
        QObject::connect(&w().dialogue(), &ModemDialogue::stopped,
                         [&](SmsAtStop at) { stopped = at; });
        world_->pause->interruptWhen = [&] {
            if (!world_->serial->wire().endsWith(after))
                return false;
            if (escFails)
                world_->serial->failOutput = {int(world_->serial->written.size()),
                                              SerialError(SerialError::Kind::Io,
                                                          QStringLiteral("COM1 (/dev/x)"),
                                                          QStringLiteral("writing failed"))};
            return true;
        };
        w().txtMobileNo->setText(QStringLiteral("+15551234567"));
        w().txtDat->setText(QStringLiteral("Hello"));
        w().Command7->click();
        QVERIFY2(world_->serial->wire().endsWith(wireEnd), qPrintable(world_->serial->wire()));
        QCOMPARE(stopped, std::optional<SmsAtStop>(SmsAtStop(sms)));
        QVERIFY(!world_->serial->PortOpen());
        QVERIFY(!w().smsInProgress());
        QVERIFY(w().Command7->isEnabled());
        world_->clock.run(200s); // no verdict timer left to fire
        QVERIFY(world_->boxes->shown.isEmpty());
    }

    void defaultNumberIsSentAsItIs() {
        w().txtDat->setText(QStringLiteral("x"));
        w().Command7->click();
        QVERIFY(world_->serial->wire().contains(QStringLiteral("AT+CMGS=\"+91\"\r\n")));
    }

    void checks_data() {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("message");

        const QString ok = QStringLiteral("hello");
        QTest::newRow("port not open, boxes empty") << false << ""
                                                    << ""
                                                    << "Connect ComPort";
        QTest::newRow("port not open") << false << "+91" << ok << "Connect ComPort";
        QTest::newRow("both empty") << true << ""
                                    << ""
                                    << "Enter Mobile Number";
        QTest::newRow("empty body") << true << "+91"
                                    << ""
                                    << "Enter SMS Data";
        QTest::newRow("empty before invalid") << true << QStringLiteral("\"") << ""
                                              << "Enter SMS Data";
        QTest::newRow("quote in number")
            << true << "+91\"\r\nATD112;" << ok << "Invalid Mobile Number";
        QTest::newRow("CR in number") << true << "+91\r" << ok << "Invalid Mobile Number";
        QTest::newRow("tab in number") << true << "+91\t1" << ok << "Invalid Mobile Number";
        QTest::newRow("non-ASCII number")
            << true << QStringLiteral("+٩١") << ok << "Invalid Mobile Number";
        QTest::newRow("number checked first")
            << true << "\"" << QString(kCtrlZ) << "Invalid Mobile Number";
        const QString injected = "hi" + kCtrlZ + "AT+CMGD=1";
        QTest::newRow("Ctrl-Z in body") << true << "+91" << injected << "Invalid SMS Data";
        QTest::newRow("ESC in body")
            << true << "+91" << QStringLiteral("hi\x1b") << "Invalid SMS Data";
        QTest::newRow("LF in body") << true << "+91"
                                    << "hi\nAT"
                                    << "Invalid SMS Data";
        QTest::newRow("NUL in body") << true << "+91" << QString(QChar(0)) << "Invalid SMS Data";
        QTest::newRow("emoji in body")
            << true << "+91" << QStringLiteral("hi \U0001F600") << "Invalid SMS Data";
        QTest::newRow("accent in body")
            << true << "+91" << QStringLiteral("café") << "Invalid SMS Data";
    }

    void checks() {
        QFETCH(bool, connected);
        QFETCH(QString, number);
        QFETCH(QString, body);
        QFETCH(QString, message);
        FakeWorld fresh;
        if (connected)
            fresh.connectPort();
        fresh.window->txtMobileNo->setText(number);
        fresh.window->txtDat->setText(body);
        fresh.window->Command7->click();

        QCOMPARE(fresh.boxes->texts(), QStringList{message});
        QCOMPARE(fresh.boxes->shown[0].kind, Shown::Inform);
        QVERIFY(fresh.serial->written.isEmpty());
        QCOMPARE(fresh.window->txtMobileNo->text(), number);
        QCOMPARE(fresh.window->txtDat->text(), body);
        QVERIFY(fresh.window->Command7->isEnabled());
    }

    void outcome_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("message");

        const QString prompt = QStringLiteral("\r\n> ");
        const QString echoed =
            QStringLiteral("AT+CMGF=1\r\r\nOK\r\nAT+CMGS=\"+91\"\r\r\n> hello") + kCtrlZ;
        const QString sent = QStringLiteral("SMS Send");
        QTest::newRow("accepted, echo off") << "\r\nOK\r\n" + prompt + "\r\n+CMGS: 7\r\n\r\nOK\r\n"
                                            << sent;
        QTest::newRow("accepted, echo on") << echoed + "\r\n+CMGS: 7\r\n\r\nOK\r\n" << sent;
        QTest::newRow("accepted, LF only") << "\n+CMGS: 12\n" << sent;
        QTest::newRow("ERROR to text mode") << "\r\nERROR\r\n" + prompt + "\r\n+CMGS: 3\r\n"
                                            << "SMS Not Sent: the modem answered ERROR";
        QTest::newRow("CMS 330") << "\r\nOK\r\n" + prompt + "\r\n+CMS ERROR: 330\r\n"
                                 << "SMS Not Sent: SMSC address unknown (CMS ERROR 330)";
        QTest::newRow("CMS 38") << "\r\nOK\r\n" + prompt + "\r\n+CMS ERROR: 38\r\n"
                                << "SMS Not Sent: network out of order (CMS ERROR 38)";
        QTest::newRow("CME 10") << "\r\n+CME ERROR: 10\r\n"
                                << "SMS Not Sent: SIM not inserted (CME ERROR 10)";
        QTest::newRow("unknown code") << "\r\n+CMS ERROR: 999\r\n"
                                      << "SMS Not Sent: CMS ERROR 999";
        QTest::newRow("verbose error") << "\r\n+CMS ERROR: invalid text mode parameter\r\n"
                                       << "SMS Not Sent: invalid text mode parameter";
        QTest::newRow("unsolicited first")
            << "\r\nRING\r\n\r\n+CMTI: \"SM\",3\r\n\r\n+CREG: 1\r\n\r\nOK\r\n" + prompt +
                   "\r\n+CMGS: 9\r\n"
            << sent;
    }

    void outcome() {
        QFETCH(QString, answer);
        QFETCH(QString, message);
        w().txtDat->setText(QStringLiteral("hello"));
        w().Command7->click();
        world_->serial->receive(answer);

        const bool accepted = message == QLatin1String("SMS Send");
        QCOMPARE(world_->boxes->texts(), QStringList{message});
        QCOMPARE(w().txtMobileNo->text(), QStringLiteral("+91"));
        QCOMPARE(w().txtDat->text(), accepted ? QString() : QStringLiteral("hello"));
        QVERIFY(w().Command7->isEnabled());
        QVERIFY(!w().smsInProgress());
        QVERIFY(!world_->smsTimer->isEnabled());
        // Whatever the modem says afterwards decides nothing more.
        world_->serial->receive(QStringLiteral("\r\n+CMGS: 8\r\n\r\nERROR\r\n"));
        world_->clock.run(200s);
        QCOMPARE(world_->boxes->shown.size(), 1);
    }

    void echoedBodyIsNotAnAnswer_data() {
        QTest::addColumn<QString>("body");
        QTest::newRow("looks accepted") << QStringLiteral("+CMGS: 5");
        QTest::newRow("looks refused") << QStringLiteral("ERROR");
    }

    void echoedBodyIsNotAnAnswer() {
        QFETCH(QString, body);
        w().txtDat->setText(body);
        w().Command7->click();
        // A modem without the prompt echoes the body on a line of its own.
        world_->serial->receive(QStringLiteral("\r\nOK\r\n") + body + kCtrlZ +
                                QStringLiteral("\r\n") + body + QStringLiteral("\r\n"));
        QVERIFY(world_->boxes->shown.isEmpty());
        world_->serial->receive(QStringLiteral("\r\n+CMS ERROR: 500\r\n"));
        QCOMPARE(world_->boxes->texts(),
                 QStringList{QStringLiteral("SMS Not Sent: unknown error (CMS ERROR 500)")});
    }

    void silenceTimesOut() {
        w().txtMobileNo->setText(QStringLiteral("+4915112345678"));
        w().txtDat->setText(QStringLiteral("hello"));
        w().Command7->click();
        const qint64 sentAt = world_->clock.now();
        world_->serial->receive(QStringLiteral("\r\nOK\r\n\r\n> "));
        world_->clock.run(119999ms);
        QVERIFY(world_->boxes->shown.isEmpty());
        QVERIFY(!w().Command7->isEnabled());
        world_->clock.run(1ms);
        QCOMPARE(world_->boxes->texts(),
                 QStringList{QStringLiteral("SMS Not Sent: no reply from modem")});
        QCOMPARE(world_->boxes->shown[0].at, sentAt + 120000);
        QCOMPARE(w().txtMobileNo->text(), QStringLiteral("+4915112345678"));
        QCOMPARE(w().txtDat->text(), QStringLiteral("hello"));
        QVERIFY(w().Command7->isEnabled());
        // A verdict that comes after the operator was told changes nothing.
        world_->serial->receive(QStringLiteral("\r\n+CMGS: 1\r\n"));
        QCOMPARE(world_->boxes->shown.size(), 1);
    }

    void portErrorDuringSendKeepsTexts() {
        world_->serial->failOutput = {15, SerialError(SerialError::Kind::Io,
                                                      QStringLiteral("COM1 (/dev/x)"),
                                                      QStringLiteral("writing failed"))};
        w().txtDat->setText(QStringLiteral("hello"));
        w().Command7->click();
        QCOMPARE(world_->serial->written.size(), 15);
        QCOMPARE(world_->boxes->texts(),
                 QStringList{QStringLiteral("COM1 (/dev/x): writing failed")});
        QVERIFY(w().Command7->isEnabled());
        QVERIFY(!w().smsInProgress());
        QCOMPARE(w().txtDat->text(), QStringLiteral("hello"));
        QVERIFY(!world_->smsTimer->isEnabled());
    }

    // Before any modem test the detector is live: the OK in the SMS answers opens
    // "GSM Modem OK", and the verdict must still reach the operator, once.
    void verdictAfterDetectorMessage() {
        world_ = connectedWorld();
        w().txtDat->setText(QStringLiteral("hello"));
        w().Command7->click();
        world_->boxes->whileOpen.push_back(
            [this] { world_->serial->receive(QStringLiteral("\r\n+CMGS: 4\r\n\r\nOK\r\n")); });
        world_->serial->receive(QStringLiteral("\r\nOK\r\n"));
        QCOMPARE(world_->boxes->texts(),
                 (QStringList{QStringLiteral("GSM Modem OK"), QStringLiteral("SMS Send")}));
        QVERIFY(w().Command7->isEnabled());
    }

private:
    frmResult& w() { return *world_->window; }
};

QTEST_MAIN(TestSmsSubmission)
#include "tst_sms_submission.moc"
