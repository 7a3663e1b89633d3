// The real tarvex.exe under Wine on COM1, which Wine maps to tarvex-vmodem's
// pseudo-terminal, operated through its X11 windows as a technician would: clicks
// and keys with xdotool, what it shows from its message trace
// (TARVEX_TRACE_MESSAGES), what reached the line from the modem's byte stamps and
// SMS log. scripts/test-wine-e2e prepares the prefix, maps COM1 to DIR/modem (the
// modem's link), COM2 to a path that does not exist and COM47 to the modem's link
// too, and starts the X server.
//
// Strict: the modem test must end in "GSM Modem OK" and the SMS in "SMS Send".
// Then the fault rows of tests/support/fault_rows.h, in the same program: between
// rows the modem is pulled (one report), restarted with the row's switches and
// connected again, so one start of tarvex.exe serves them all. Pauses are checked
// as present (at least half their length), never as exact: a late write can only
// shorten the gap before it by the latency of the write before.

#include "fault_rows.h"
#include "session_log_file.h"
#include "virtual_modem.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <chrono>
#include <optional>

using namespace tarvex::testing;
namespace rows = tarvex::testing::fault_rows;
using Clock = std::chrono::steady_clock;

namespace {

const QString kNumber = QStringLiteral("+15551234567");
const QString kBody = QStringLiteral("Hello from Wine, gate \"B\" & 7%");
const QString kRetryCaption = QStringLiteral("No Modem........");
const QString kRetry = kRetryCaption + '|' + rows::kRetry;
const QString kModemOk = QStringLiteral("Test Tarvex|") + rows::kModemOk;
const QString kSmsSend = QStringLiteral("Test Tarvex|") + rows::kSmsSend;
const QString kPlugBack = QStringLiteral("\\nPlug the modem back in, then press Connect.");
// Three seconds of pauses, the paced characters and a late answer.
constexpr int kSmsWaitMs = 15'000;
const QString kMainTitle = QStringLiteral("^Tarvex - GUI$");

// Centres of the main window's controls in its client area (see src/ui/frmResult.cpp).
const QPoint kCombo(56, 34);
const QPoint kConnect(144, 36);
const QPoint kBodyBox(156, 116);
const QPoint kNumberBox(76, 188);
const QPoint kSendSms(252, 196);
const QPoint kTestModem(156, 228);

QString env(const char* name) {
    const QString value = qEnvironmentVariable(name);
    if (value.isEmpty())
        qFatal("%s is not set: run this through scripts/test-wine-e2e", name);
    return value;
}

// xdotool, which talks to the X server the way a mouse and a keyboard do.
QString xdo(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    if (!p.waitForFinished(10'000))
        qFatal("xdotool %s hangs", qPrintable(args.join(' ')));
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

// The visible top-level window whose title matches, if any.
std::optional<QRect> window(const QString& titleRegex) {
    const QString id = xdo({"search", "--onlyvisible", "--name", titleRegex}).section('\n', 0, 0);
    if (id.isEmpty())
        return std::nullopt;
    QRect r;
    for (const QString& line : xdo({"getwindowgeometry", "--shell", id}).split('\n')) {
        const QString value = line.section('=', 1);
        if (line.startsWith("X="))
            r.moveLeft(value.toInt());
        else if (line.startsWith("Y="))
            r.moveTop(value.toInt());
        else if (line.startsWith("WIDTH="))
            r.setWidth(value.toInt());
        else if (line.startsWith("HEIGHT="))
            r.setHeight(value.toInt());
    }
    return r;
}

struct Byte {
    char value;
    Clock::time_point at;
};

// What the modem received, from its byte stamps.
std::vector<Byte> stamps(const VirtualModem& modem) {
    std::vector<Byte> bytes;
    for (const StampedByte& b : modem.stamps())
        if (!b.sentByModem)
            bytes.push_back({b.value, Clock::time_point(std::chrono::nanoseconds(b.ns))});
    return bytes;
}

QByteArray text(const std::vector<Byte>& bytes) {
    QByteArray t;
    for (const Byte& b : bytes)
        t.append(b.value);
    return t;
}

double msBetween(const Byte& a, const Byte& b) {
    return std::chrono::duration<double, std::milli>(b.at - a.at).count();
}

// The last line sent with this text; its first time -1 when there is none.
LogLine lastSent(const QList<LogLine>& lines, const QString& text) {
    for (qsizetype i = lines.size() - 1; i >= 0; --i)
        if (lines[i].kind == QLatin1String("-->") && lines[i].text == text)
            return lines[i];
    return {-1, -1, {}, {}};
}

// The log's times carry 0.1 ms.
constexpr double kRounding = 0.05;

} // namespace

class TestWineE2e : public QObject {
    Q_OBJECT

    QString dir_ = env("TARVEX_E2E_DIR");
    QString link_ = dir_ + "/modem";
    QTemporaryDir work_;
    std::optional<VirtualModem> modem_;
    QProcess program_;
    QByteArray stderr_;
    QFile log_{dir_ + "/tarvex.err"};
    struct Shown {
        QString message; // "caption|text"
        Clock::time_point at;
    };
    QList<Shown> shown_;
    QStringList faults_; // what the program found wrong with itself or its Qt

    void startModem(const QStringList& args = {}) {
        modem_.emplace(QStringList{"--link", link_} + args);
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo(link_).isSymLink(); }));
        // Before anything opens COM1: it is the modem's link, which leads to its pty.
        for (const char* com : {"/dosdevices/com1", "/dosdevices/com47"}) {
            const QString path = env("WINEPREFIX") + com;
            QCOMPARE(QFileInfo(path).symLinkTarget(), link_);
            QCOMPARE(QFileInfo(path).canonicalFilePath(), modem_->device());
        }
    }

    // tarvex.exe with COM1 as `com1` (its own COM1 when empty), up to its main window.
    void startProgram(const QString& com1 = {}) {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("TARVEX_TRACE_MESSAGES", "1");
        e.insert("TARVEX_TRACE_STARTUP", "1");
        if (!com1.isEmpty())
            e.insert("TARVEX_COM1", com1);
        // tarvex.exe's Wine process only: see modem_lines.cpp.
        e.insert("LD_PRELOAD", env("TARVEX_MODEM_LINES"));
        program_.setProcessEnvironment(e);
        const qsizetype before = shown_.size();
        program_.start(env("TARVEX_WINE"), {env("TARVEX_E2E_EXE")});
        QVERIFY(program_.waitForStarted());
        // The 3 s splash, then the main window's first frame.
        QVERIFY(QTest::qWaitFor([&] { return shown_.size() > before; }, 30'000));
        QCOMPARE(messagesFrom(before), QStringList{"main window"});
        QVERIFY(QTest::qWaitFor([&] { return window(kMainTitle).has_value(); }, 10'000));
    }

    void stopProgram() {
        program_.kill();
        program_.waitForFinished(5000);
        QVERIFY(QTest::qWaitFor([&] { return !window(kMainTitle); }, 10'000));
    }

    // This run's session log, in the user's %LOCALAPPDATA%\Tarvex\logs of the prefix.
    QList<LogLine> sessionLog() const {
        const QDir users(env("WINEPREFIX") + "/drive_c/users");
        for (const QString& user : users.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QString log =
                newestSessionLog(users.filePath(user + "/AppData/Local/Tarvex/logs"));
            if (!log.isEmpty())
                return readSessionLog(log);
        }
        return {};
    }

    void readTrace() {
        const QByteArray arrived = program_.readAllStandardError();
        log_.write(arrived); // the whole of it, Wine's own messages too, for a failed run
        log_.flush();
        stderr_ += arrived;
        qsizetype eol;
        while ((eol = stderr_.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(stderr_.left(eol)).trimmed();
            stderr_.remove(0, eol + 1);
            if (line.startsWith("tarvex-message "))
                shown_.append({line.mid(15), Clock::now()});
            else if (line.startsWith("tarvex-fault "))
                faults_.append(line.mid(13));
            else if (line.startsWith("tarvex-startup main"))
                shown_.append({QStringLiteral("main window"), Clock::now()});
        }
    }

    QStringList messagesFrom(qsizetype first) const {
        QStringList all;
        for (qsizetype i = first; i < shown_.size(); ++i)
            all.append(shown_[i].message);
        return all;
    }

    void click(QPoint inClient) {
        const std::optional<QRect> main = window(kMainTitle);
        QVERIFY2(main, "the main window is not on the screen");
        const QPoint at = main->topLeft() + inClient;
        xdo({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
    }

    // Keys go to the window under the pointer: there is no window manager to focus one.
    void keysOnMain(const QStringList& keys) {
        const std::optional<QRect> main = window(kMainTitle);
        QVERIFY(main);
        xdo(QStringList{"mousemove", QString::number(main->center().x()),
                        QString::number(main->center().y()), "key"} +
            keys);
    }

    void typeInto(QPoint box, const QString& text) {
        click(box);
        keysOnMain({"ctrl+a"});
        xdo({"type", "--delay", "20", text});
    }

    // Answers the box of `message` with `key` and waits for it to close.
    void closeBox(const QString& message, const QString& key) {
        const QString caption = QRegularExpression::escape(message.section('|', 0, 0));
        const QString title = QStringLiteral("^%1$").arg(caption); // a box is titled by its caption
        std::optional<QRect> box;
        QVERIFY2(QTest::qWaitFor([&] { return (box = window(title)).has_value(); }, 10'000),
                 qPrintable(message));
        xdo({"mousemove", QString::number(box->center().x()), QString::number(box->center().y()),
             "key", key});
        QVERIFY2(QTest::qWaitFor([&] { return !window(title); }, 10'000), qPrintable(message));
    }

    // Waits for `count` messages after `before`; then closes their boxes, the last
    // opened (on top) first, the Retry question answered No.
    QStringList answerAll(qsizetype before, qsizetype count, int timeoutMs = 10'000) {
        if (!QTest::qWaitFor([&] { return shown_.size() >= before + count; }, timeoutMs))
            QTest::qFail(qPrintable(QStringLiteral("waited for %1 messages, saw: %2")
                                        .arg(count)
                                        .arg(messagesFrom(before).join(" / "))),
                         __FILE__, __LINE__);
        const QStringList seen = messagesFrom(before);
        for (qsizetype i = seen.size() - 1; i >= 0; --i) {
            closeBox(seen[i], seen[i] == kRetry ? "Escape" : "Return");
            if (QTest::currentTestFailed())
                break;
        }
        return seen;
    }

    QString answerNext(qsizetype before, int timeoutMs = 10'000) {
        return answerAll(before, 1, timeoutMs).value(0);
    }

    // Test Modem Communication: "A", "T", CR LF with their pauses, then "GSM Modem OK".
    // The pauses are held against Tarvex's own log, timed before each write: what the
    // modem's stamps show of them also depends on how late the modem woke to read.
    void modemTest() {
        const qsizetype before = shown_.size();
        const std::size_t sent = stamps(*modem_).size();
        const qsizetype logged = sessionLog().size();
        click(kTestModem);
        QCOMPARE(answerAll(before, 1), QStringList{kModemOk});
        std::vector<Byte> line = stamps(*modem_);
        line.erase(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(sent));
        QVERIFY2(line.size() >= 4, text(line).toHex(' ').constData());
        QCOMPARE(text(line).left(4), QByteArray("AT\r\n"));
        LogLine attention;
        QVERIFY(QTest::qWaitFor([&] {
            attention = lastSent(sessionLog().mid(logged), QStringLiteral("AT<CR><LF>"));
            return attention.first >= 0;
        }));
        QVERIFY2(
            attention.last - attention.first >= 200 - kRounding,
            qPrintable(
                QString("A at %1 ms, CR LF at %2 ms").arg(attention.first).arg(attention.last)));
        qInfo("modem test: GSM Modem OK %.0f ms after A; A to CR LF %.1f ms as sent; gaps A-T "
              "%.1f ms, T-CR %.1f ms as read",
              std::chrono::duration<double, std::milli>(shown_[before].at - line[0].at).count(),
              attention.last - attention.first, msBetween(line[0], line[1]),
              msBetween(line[1], line[2]));
    }

    // The modem pulled: the next write reports it (or the line did already; the
    // click then meets the open box), once. Then a modem with `args` in its place,
    // and Connect, which shows nothing.
    void replaceModem(const QStringList& args) {
        modem_.reset();
        QVERIFY(QTest::qWaitFor([&] { return !QFileInfo(link_).isSymLink(); }));
        const qsizetype before = shown_.size();
        click(kTestModem);
        const QString report = answerNext(before);
        QVERIFY2(report.startsWith("Test Tarvex|COM1") && report.endsWith(kPlugBack),
                 qPrintable(report));
        startModem(args);
        click(kConnect);
    }

    void sendSms(const QString& number, const QString& body) {
        typeInto(kNumberBox, number);
        typeInto(kBodyBox, body);
        click(kSendSms);
    }

private slots:
    void initTestCase() {
        QVERIFY(work_.isValid());
        QVERIFY(log_.open(QIODevice::WriteOnly));
        QVERIFY2(!QFileInfo::exists(dir_ + "/no-such-port"), "COM2's path must not exist");
        QCOMPARE(QFileInfo(env("WINEPREFIX") + "/dosdevices/com2").symLinkTarget(),
                 dir_ + "/no-such-port");
        startModem();
        program_.setStandardOutputFile(QProcess::nullDevice());
        QObject::connect(&program_, &QProcess::readyReadStandardError, this,
                         &TestWineE2e::readTrace);
        startProgram();
    }

    // What the modem heard and said, for the log of a failed row; and no fault of the
    // program's own on its stderr.
    void cleanup() {
        if (QTest::currentTestFailed() && modem_)
            qInfo("modem (%s): %s", modem_->running() ? "running" : "gone",
                  qPrintable(modem_->trace().right(2000)));
        QVERIFY2(faults_.isEmpty(), qPrintable(faults_.join(QLatin1Char('\n'))));
    }

    void cleanupTestCase() { stopProgram(); }

    // COM2 leads nowhere. Wine lists every COM number its registry names as present,
    // mapped or not (and a test prefix names them all, so that none can lead to the
    // machine's own ports): the report can name nothing more, COM47 included.
    void missingPortIsReportedByName() {
        const qsizetype before = shown_.size();
        click(kCombo);
        keysOnMain({"Down"}); // COM2
        click(kConnect);
        const QString seen = answerNext(before);
        QVERIFY2(seen.startsWith("Test Tarvex|COM2"), qPrintable(seen));
        QCOMPARE(seen, QStringLiteral("Test Tarvex|COM2: Invalid function."));
        qInfo("COM2: %s", qPrintable(seen.section('|', 1)));
        QCOMPARE(program_.state(), QProcess::Running);
        click(kCombo);
        keysOnMain({"Up"}); // COM1 again
    }

    // Connect shows nothing: the first message after it is the test's own.
    void connectAndTestTheModem() {
        click(kConnect);
        modemTest();
    }

    void smsPutsThreeCommandsOnTheLineAndIsSent() {
        const qsizetype before = shown_.size();
        const std::size_t sent = stamps(*modem_).size();
        sendSms(kNumber, kBody);
        QCOMPARE(answerAll(before, 1, kSmsWaitMs), QStringList{kSmsSend});

        QVERIFY(QTest::qWaitFor([&] { return !modem_->messages().isEmpty(); }));
        QCOMPARE(modem_->messages().size(), 1);
        QCOMPARE(modem_->messages()[0]["number"].toString(), kNumber);
        QCOMPARE(modem_->messages()[0]["text"].toString(), kBody);
        const QByteArray commands = "AT+CMGF=1\r\n";
        const QByteArray submit = "AT+CMGS=\"" + kNumber.toLatin1() + "\"\r\n";
        const QByteArray expected = commands + submit + kBody.toLatin1() + '\x1a';
        std::vector<Byte> line = stamps(*modem_);
        line.erase(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(sent));
        QCOMPARE(text(line), expected);

        // The session log tells the same story, the number and the text masked, and
        // the pauses as Tarvex timed them: a second after AT+CMGF, two after AT+CMGS.
        const QList<LogLine> log = sessionLog();
        const LogLine mode = lastSent(log, QStringLiteral("AT+CMGF=1<CR><LF>"));
        const LogLine submitted = lastSent(log, QStringLiteral("AT+CMGS=\"+1########67\"<CR><LF>"));
        const LogLine body = lastSent(log, QStringLiteral("<text: 30 characters><SUB>"));
        const double afterMode = submitted.first - mode.last;
        const double afterSubmit = body.first - submitted.last;
        QVERIFY2(mode.first >= 0 && afterMode >= 1000 - kRounding &&
                     afterSubmit >= 2000 - kRounding,
                 qPrintable(QString("%1 %2").arg(afterMode).arg(afterSubmit)));
        qInfo("SMS Send: %zu bytes in %.0f ms; pauses after AT+CMGF %.0f ms, after AT+CMGS %.0f ms",
              line.size(), msBetween(line.front(), line.back()), afterMode, afterSubmit);
        QByteArray masked = expected;
        masked.replace(kNumber.toLatin1(), "+1########67")
            .replace(kBody.toLatin1(), "<text: 30 characters>");
        QVERIFY2(bytesOf(log, "-->").endsWith(masked), bytesOf(log, "-->").right(100).constData());
        checkStory(log, {"--> AT+CMGF=1<CR><LF>", "--> AT+CMGS=\"+1########67\"<CR><LF>",
                         "--> <text: 30 characters><SUB>", "--- SMS verdict: accepted",
                         "--- message box \"Test Tarvex\": SMS Send"});
    }

    // One report, the port closed (nothing more queued behind it), and Connect
    // works with the modem back.
    void vanishingModemIsReportedOnceAndConnectWorksAgain() {
        replaceModem({});
        const qsizetype before = shown_.size();
        click(kTestModem);
        QCOMPARE(answerNext(before), kModemOk);
        qInfo("vanished and back: GSM Modem OK");
    }

    void modemTestFaults_data() { rows::addModemTestRows(); }
    void modemTestFaults() {
        QFETCH(QStringList, args);
        QFETCH(QStringList, expected);
        replaceModem(args);
        const qsizetype before = shown_.size();
        const Clock::time_point clicked = Clock::now();
        click(kTestModem);
        const QStringList seen = answerAll(before, expected.size());
        QStringList texts;
        for (const QString& message : seen)
            texts.append(message.section('|', 1));
        QCOMPARE(texts, expected);
        qInfo("%s: %.0f ms after the click", qPrintable(texts.join(", then ")),
              std::chrono::duration<double, std::milli>(shown_.last().at - clicked).count());
    }

    void smsFaults_data() { rows::addSmsRows(); }
    void smsFaults() {
        QFETCH(QStringList, args);
        QFETCH(QString, expected);
        replaceModem(args);
        if (!args.contains(QStringLiteral("--error-on")))
            modemTest();
        const qsizetype before = shown_.size();
        const qsizetype logged = sessionLog().size();
        sendSms(kNumber, QStringLiteral("Hello"));
        const QString seen = answerNext(before, kSmsWaitMs);
        QCOMPARE(seen.section('|', 1), expected);
        QCOMPARE(modem_->messages().size(), expected == rows::kSmsSend ? 1 : 0);
        const QString refused = QStringLiteral("SMS Not Sent: ");
        checkStory(sessionLog().mid(logged),
                   {"--> <text: 5 characters><SUB>",
                    expected.startsWith(refused)
                        ? "--- SMS verdict: not sent, " + expected.mid(refused.size())
                        : QStringLiteral("--- SMS verdict: accepted"),
                    "--- message box \"Test Tarvex\": " + expected});
    }

    // The flood pours in from the first test's "A": that test's box still comes and
    // goes on a key while it does, and the next test finds the modem.
    void floodLeavesTheWindowAnswering() {
        replaceModem(rows::floodArgs());
        qsizetype before = shown_.size();
        click(kTestModem);
        const QString first = answerNext(before);
        QVERIFY2(first == kModemOk || first == kRetry, qPrintable(first));
        before = shown_.size();
        click(kTestModem);
        QCOMPARE(answerNext(before), kModemOk);
        qInfo("flood: the first test showed \"%s\", the next one GSM Modem OK",
              qPrintable(first.section('|', 1)));
    }

    // Nothing is written while the window waits for the verdict: the loss must be
    // reported all the same, once, from the line alone. Then the test asks for
    // Connect, and Connect works with the modem back.
    void vanishingWhileWaitingForTheVerdict() {
        replaceModem(rows::vanishWaitingForVerdictArgs());
        const qsizetype before = shown_.size();
        sendSms(rows::kVanishNumber, rows::kVanishText);
        QVERIFY(QTest::qWaitFor([&] { return !modem_->running(); }, kSmsWaitMs));
        const Clock::time_point gone = Clock::now();
        const QString report = answerNext(before);
        QVERIFY2(report.startsWith("Test Tarvex|COM1") && report.endsWith(kPlugBack),
                 qPrintable(report));
        qInfo("vanished waiting for the verdict, reported %.0f ms after the modem went: %s",
              std::chrono::duration<double, std::milli>(shown_[before].at - gone).count(),
              qPrintable(report.section('|', 1)));
        click(kTestModem);
        QCOMPARE(answerNext(before + 1), QStringLiteral("Test Tarvex|Connect ComPort"));
        startModem();
        click(kConnect);
        modemTest();
    }

    // A port beyond the list, by its name and by its device path, gets the modem.
    void portBeyondTheListByName_data() {
        QTest::addColumn<QString>("com1");
        QTest::newRow("COM47") << "COM47";
        QTest::newRow("\\\\.\\COM47") << "\\\\.\\COM47";
    }
    void portBeyondTheListByName() {
        QFETCH(QString, com1);
        stopProgram();
        startProgram(com1);
        click(kConnect);
        modemTest();
    }

    // The console twin beside tarvex.exe: typed as "tarvex" in cmd, tarvex.com runs
    // (.COM comes before .EXE), cmd waits for it, and its exit status is cmd's.
    void consoleTwin_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("exit");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("check") << "tarvex --check COM1 --no-log" << 0 << "GSM Modem OK"
                               << QString();
        QTest::newRow("status for Nagios") << "tarvex --status COM1 --format nagios --no-log" << 0
                                           << "TARVEX OK - Ready to send SMS" << QString();
        QTest::newRow("a port that is not there")
            << "tarvex --check COM2 --no-log" << 2 << QString() << "COM2";
        // The scan names its ports: a default scan would open every COM port Wine maps.
        QTest::newRow("scan") << "tarvex --scan COM1 COM2" << 0
                              << "Use it as tarvex --check COM1, or in the window as COM1"
                              << QString();
        QTest::newRow("scan, nothing there")
            << "tarvex --scan COM2 --format json" << 1 << "\"modem\": false" << QString();
        QTest::newRow("no command: the window is tarvex.exe's")
            << "tarvex --no-log" << 1 << QString() << "tarvex.exe beside it opens it";
    }
    void consoleTwin() {
        QFETCH(QString, command);
        QFETCH(int, exit);
        QFETCH(QString, out);
        QFETCH(QString, err);
        if (program_.state() != QProcess::NotRunning)
            stopProgram(); // it holds COM1
        startModem();
        QProcess console;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("LD_PRELOAD", env("TARVEX_MODEM_LINES"));
        console.setProcessEnvironment(e);
        console.setWorkingDirectory(QFileInfo(env("TARVEX_E2E_EXE")).absolutePath());
        console.start(env("TARVEX_WINE"), {"cmd", "/c", command});
        QVERIFY(console.waitForFinished(60'000));
        const QString said = QString::fromLocal8Bit(console.readAllStandardOutput());
        const QString complained = QString::fromLocal8Bit(console.readAllStandardError());
        QVERIFY2(said.contains(out), qPrintable(said + complained));
        QVERIFY2(complained.contains(err), qPrintable(complained));
        QCOMPARE(console.exitCode(), exit);
    }
};

QTEST_GUILESS_MAIN(TestWineE2e)
#include "tst_wine_e2e.moc"
