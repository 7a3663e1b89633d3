// The main window on the real serial control and real time, against the real
// tarvex-vmodem on its pseudo-terminal: what a technician would see with a modem
// that works, refuses, stays silent or is unplugged. Message boxes are recorded.

#include "log/session_log.h"
#include "qtry.h"
#include "real_world.h"
#include "session_log_file.h"
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

// A session log of its own, timed from now on the steady clock the modem stamps with.
struct LoggedRun {
    QTemporaryDir dir;
    SessionLog::Clock::time_point start = SessionLog::Clock::now();
    std::shared_ptr<SessionLog> log;
    explicit LoggedRun(bool personalData)
        : log(std::make_shared<SessionLog>(
              SessionLog::Options{dir.path(), personalData, {}, start})) {}
    // What is logged so far, the line still open among it.
    QList<LogLine> lines() const {
        log->finish();
        return readSessionLog(log->filePath());
    }
    double msOf(qint64 ns) const {
        return double(ns - std::chrono::nanoseconds(start.time_since_epoch()).count()) / 1e6;
    }
};

// The log tells what crossed the line: the bytes the modem received (all of them,
// or those it read before it went away) and a prefix of what it wrote. Only causal
// bounds hold whatever the scheduler does: a character is logged as sent no later
// than the modem read it (Tarvex times it before the write), and a reply no earlier
// than the modem began writing it. Times carry 0.1 ms, so allow half of that. Lines
// are in the order of their times.
enum class Modem { Stayed, Vanished };
void checkAgainstStamps(const LoggedRun& run, const VirtualModem& modem,
                        Modem modemAtEnd = Modem::Stayed) {
    constexpr double kRounding = 0.05;
    if (modemAtEnd == Modem::Stayed)
        QTRY_COMPARE(modem.bytes(false), bytesOf(run.lines(), "-->"));
    const QList<LogLine> lines = run.lines();
    QVERIFY(bytesOf(lines, "-->").startsWith(modem.bytes(false)));
    QVERIFY(modem.bytes(true).startsWith(bytesOf(lines, "<--")));

    QList<StampedByte> toModem, fromModem;
    for (const StampedByte& b : modem.stamps())
        (b.sentByModem ? fromModem : toModem).append(b);
    qsizetype sent = 0, got = 0;
    double previous = 0;
    for (const LogLine& l : lines) {
        QVERIFY2(l.first >= previous, qPrintable(l.text));
        previous = l.first;
        const qsizetype n = unescapedLineBytes(l.text).size();
        if (l.kind == QLatin1String("-->")) {
            if (sent + n <= toModem.size()) { // the modem read it all
                const double arrived = run.msOf(toModem[sent].ns);
                const double lastArrived = run.msOf(toModem[sent + n - 1].ns);
                const double last = l.last < 0 ? l.first : l.last;
                QVERIFY2(l.first <= arrived + kRounding && last <= lastArrived + kRounding,
                         qPrintable(QStringLiteral("%1: logged %2-%3 ms, arrived %4-%5 ms")
                                        .arg(l.text)
                                        .arg(l.first)
                                        .arg(last)
                                        .arg(arrived)
                                        .arg(lastArrived)));
            }
            sent += n;
        } else if (l.kind == QLatin1String("<--")) {
            const double written = run.msOf(fromModem[got].ns);
            QVERIFY2(written <= l.first + kRounding,
                     qPrintable(QStringLiteral("%1: logged %2 ms, written %3 ms")
                                    .arg(l.text)
                                    .arg(l.first)
                                    .arg(written)));
            got += n;
        }
    }
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
        LoggedRun run(true);
        RealWorld world(modem.device(), run.log);
        connectAndTest(world);
        // --trace writes each received line as it ends, with the previous line's LF.
        static const QRegularExpression echoOff(QStringLiteral(R"(vmodem << "(\\n)?ATE0\\r")"));
        QTRY_VERIFY(modem.trace().contains(echoOff));
        QVERIFY(world.window->flags().ModemFound);
        QTRY_COMPARE(bytesOf(run.lines(), "<--"), modem.bytes(true));
        checkAgainstStamps(run, modem);
        checkStory(run.lines(), {"--> AT<CR><LF>", "<-- AT<CR><CR><LF>OK", "--> ATE0<CR><LF>",
                                 "--- message box \"Test Tarvex\": GSM Modem OK"});
    }

    void smsReachesTheNetworkIntact() {
        VirtualModem modem;
        LoggedRun run(true);
        RealWorld world(modem.device(), run.log);
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
        QTRY_COMPARE(bytesOf(run.lines(), "<--"), modem.bytes(true));
        checkAgainstStamps(run, modem);
        checkStory(run.lines(),
                   {"--> AT+CMGS=\"+15551234567\"<CR><LF>", "--- SMS verdict: accepted",
                    "--- message box \"Test Tarvex\": SMS Send"});
    }

    // The story of a refusal as the operator's log tells it, number and text masked.
    void refusedSmsIsExplainedAndKept() {
        VirtualModem modem({QStringLiteral("--cms-error"), QStringLiteral("330")});
        LoggedRun run(false);
        RealWorld world(modem.device(), run.log);
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

        QTRY_COMPARE(bytesOf(run.lines(), "<--"), modem.bytes(true));
        const QList<LogLine> lines = run.lines();
        QCOMPARE(bytesOf(lines, "-->"), modem.bytes(false)
                                            .replace(kNumber.toLatin1(), "+1########67")
                                            .replace(kBody.toLatin1(), "<text: 28 characters>"));
        // The three commands leave in one blocking handler; the answers are read after it.
        checkStory(lines, {"--- SMS: 28 characters", "--> AT+CMGF=1<CR><LF>",
                           "--> AT+CMGS=\"+1########67\"<CR><LF>", "--> <text: 28 characters><SUB>",
                           "<-- <CR><LF>OK<CR><LF><CR><LF>> <CR><LF>+CMS ERROR: 330<CR>",
                           "--- SMS verdict: not sent, SMSC address unknown (CMS ERROR 330)",
                           "--- message box \"Test Tarvex\": SMS Not Sent: SMSC address unknown "
                           "(CMS ERROR 330)",
                           "--- OK pressed"});
    }

    void silentModemAsksToRetry() {
        VirtualModem modem({QStringLiteral("--silent")});
        RealWorld world(modem.device());
        world.window->connect->click();
        world.boxes->answers = {false};
        world.window->cmdTest->click();
        QTRY_COMPARE_WITH_TIMEOUT(world.boxes->texts(),
                                  QStringList{QStringLiteral("Modem Not Found - Retry?")}, 15000);
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
        LoggedRun run(true);
        RealWorld world(modem.device(), run.log);
        if (sendSms) {
            connectAndTest(world);
            typeAndSend(world);
        } else {
            world.window->connect->click();
            world.window->cmdTest->click();
        }
        QTRY_VERIFY_WITH_TIMEOUT(!world.window->flags().PortConnected, kSmsWaitMs);
        QTRY_VERIFY(!modem.running());
        // What is queued is delivered; then nothing is left that could show a box
        // later: the port closed, no reply timer, no SMS waiting.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QVERIFY(!world.window->MSComm1.PortOpen());
        QVERIFY(!world.window->Timer1.isEnabled());

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

        checkAgainstStamps(run, modem, Modem::Vanished);
        checkStory(run.lines(),
                   {QStringLiteral("--- lost: ") + reports[0].text.section(QLatin1Char('\n'), 0, 0),
                    QStringLiteral("--- message box \"Test Tarvex\": ") +
                        reports[0].text.replace(QLatin1Char('\n'), QStringLiteral(" | "))});
    }
};

QTEST_MAIN(TestSystem)
#include "tst_system.moc"
