// The real tarvex.exe under Wine on COM1, which Wine maps to tarvex-vmodem's
// pseudo-terminal, operated through its X11 windows as a technician would: clicks
// and keys with xdotool, what it shows from its message trace
// (TARVEX_TRACE_MESSAGES), what reached the line from the modem's byte stamps and
// SMS log. scripts/test-wine-e2e prepares the prefix, maps COM1 to DIR/modem (the
// modem's link) and COM2 to a path that does not exist, and starts the X server.
//
// Wine 8 delivers no received bytes to Qt Serial Port, so the modem's answers do
// not reach the program: the modem test ends in the Retry question and an SMS waits
// for its verdict. Where Wine delivers them, "GSM Modem OK" and "SMS Send" are
// accepted instead, and the log says which was seen. Pauses are checked as present
// (at least half their length), never as exact: a late write can only shorten the
// gap before it by the latency of the write before.

#include "virtual_modem.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <chrono>
#include <optional>

using namespace tarvex::testing;
using Clock = std::chrono::steady_clock;

namespace {

const QString kNumber = QStringLiteral("+15551234567");
const QString kBody = QStringLiteral("Hello from Wine, gate \"B\" & 7%");
const QString kRetry = QStringLiteral("No Modem........|Modem Not Found - Retry?");
const QString kModemOk = QStringLiteral("Test Tarvex|GSM Modem OK");
const QString kSmsSend = QStringLiteral("Test Tarvex|SMS Send");
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

// What the modem received: --stamps lines "<steady ns> <hex byte>".
std::vector<Byte> stamps(const QString& path) {
    QFile file(path);
    std::vector<Byte> bytes;
    if (!file.open(QIODevice::ReadOnly))
        return bytes;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 2)
            bytes.push_back({static_cast<char>(fields[1].toInt(nullptr, 16)),
                             Clock::time_point(std::chrono::nanoseconds(fields[0].toLongLong()))});
    }
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

} // namespace

class TestWineE2e : public QObject {
    Q_OBJECT

    QString dir_ = env("TARVEX_E2E_DIR");
    QString link_ = dir_ + "/modem";
    QTemporaryDir work_;
    std::optional<VirtualModem> modem_;
    QString stampsPath_;
    QProcess program_;
    QByteArray stderr_;
    struct Shown {
        QString message; // "caption|text"
        Clock::time_point at;
    };
    QList<Shown> shown_;
    std::optional<bool> answersArrive_; // learnt from the first modem test

    void startModem(const QString& name) {
        stampsPath_ = work_.filePath(name + ".stamps");
        modem_.emplace(QStringList{"--link", link_, "--stamps", stampsPath_});
        QTRY_VERIFY(QFileInfo(link_).isSymLink());
        // Before anything opens COM1: it is the modem's link, which leads to its pty.
        const QString com1 = env("WINEPREFIX") + "/dosdevices/com1";
        QCOMPARE(QFileInfo(com1).symLinkTarget(), link_);
        QCOMPARE(QFileInfo(com1).canonicalFilePath(), modem_->device());
    }

    void readTrace() {
        stderr_ += program_.readAllStandardError();
        qsizetype eol;
        while ((eol = stderr_.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(stderr_.left(eol)).trimmed();
            stderr_.remove(0, eol + 1);
            if (line.startsWith("tarvex-message "))
                shown_.append({line.mid(15), Clock::now()});
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

    // Waits for the next message, answers it with `key` on its box and waits for the
    // box to close.
    QString answerNext(qsizetype index, const QString& key, int timeoutMs = 10'000) {
        [&] { QTRY_VERIFY_WITH_TIMEOUT(shown_.size() > index, timeoutMs); }();
        if (shown_.size() <= index)
            return {};
        const QString message = shown_[index].message;
        const QString caption = QRegularExpression::escape(message.section('|', 0, 0));
        const QString title = QStringLiteral("^%1$").arg(caption); // a box is titled by its caption
        std::optional<QRect> box;
        [&] { QTRY_VERIFY_WITH_TIMEOUT((box = window(title)).has_value(), 10'000); }();
        if (!box)
            return message;
        xdo({"mousemove", QString::number(box->center().x()), QString::number(box->center().y()),
             "key", key});
        [&] { QTRY_VERIFY_WITH_TIMEOUT(!window(title), 10'000); }();
        return message;
    }

    // Test Modem Communication: "A", "T", CR LF with their pauses, then the Retry
    // question after the reply time-out, or "GSM Modem OK" where answers arrive.
    void modemTest() {
        const qsizetype before = shown_.size();
        click(kTestModem);
        const QString seen = answerNext(before, QStringLiteral("Escape"));
        QVERIFY2(seen == kRetry || seen == kModemOk, qPrintable(seen));
        const std::vector<Byte> line = stamps(stampsPath_);
        QVERIFY2(line.size() >= 4, text(line).toHex(' ').constData());
        QCOMPARE(text(line).left(4), QByteArray("AT\r\n"));
        const double gapT = msBetween(line[0], line[1]);
        const double gapCr = msBetween(line[1], line[2]);
        QVERIFY2(gapT >= 50 && gapCr >= 50, qPrintable(QString("%1 %2").arg(gapT).arg(gapCr)));
        const double askedAfter =
            std::chrono::duration<double, std::milli>(shown_[before].at - line[0].at).count();
        if (seen == kRetry)
            QVERIFY2(askedAfter >= 1500, qPrintable(QString::number(askedAfter)));
        qInfo("modem test: %s; gaps A-T %.1f ms, T-CR %.1f ms; shown %.0f ms after A",
              seen == kRetry ? "the Retry question (no answer reached the program)"
                             : "GSM Modem OK (the answers reached the program)",
              gapT, gapCr, askedAfter);
        if (!answersArrive_)
            answersArrive_ = seen == kModemOk;
    }

private slots:
    void initTestCase() {
        QVERIFY(work_.isValid());
        QVERIFY2(!QFileInfo::exists(dir_ + "/no-such-port"), "COM2's path must not exist");
        QCOMPARE(QFileInfo(env("WINEPREFIX") + "/dosdevices/com2").symLinkTarget(),
                 dir_ + "/no-such-port");
        startModem(QStringLiteral("first"));
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("TARVEX_TRACE_MESSAGES", "1");
        e.insert("TARVEX_TRACE_STARTUP", "1");
        program_.setProcessEnvironment(e);
        program_.setStandardOutputFile(QProcess::nullDevice());
        QObject::connect(&program_, &QProcess::readyReadStandardError, this,
                         &TestWineE2e::readTrace);
        program_.start(env("TARVEX_WINE"), {env("TARVEX_E2E_EXE")});
        QVERIFY(program_.waitForStarted());
        // The 3 s splash, then the main window's first frame.
        QTRY_COMPARE_WITH_TIMEOUT(messagesFrom(0), QStringList{"main window"}, 30'000);
        QTRY_VERIFY_WITH_TIMEOUT(window(kMainTitle).has_value(), 10'000);
    }

    void cleanupTestCase() {
        program_.kill();
        program_.waitForFinished(5000);
    }

    void missingPortIsReportedByName() {
        const qsizetype before = shown_.size();
        click(kCombo);
        keysOnMain({"Down"}); // COM2
        click(kConnect);
        const QString seen = answerNext(before, QStringLiteral("Return"));
        QVERIFY2(seen.startsWith("Test Tarvex|COM2"), qPrintable(seen));
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

    void smsPutsThreeCommandsOnTheLine() {
        const qsizetype before = shown_.size();
        const std::size_t sent = stamps(stampsPath_).size();
        click(kNumberBox);
        keysOnMain({"ctrl+a"});
        xdo({"type", "--delay", "20", kNumber});
        click(kBodyBox);
        xdo({"type", "--delay", "20", kBody});
        click(kSendSms);

        QTRY_COMPARE_WITH_TIMEOUT(modem_->messages().size(), 1, 20'000);
        QCOMPARE(modem_->messages()[0]["number"].toString(), kNumber);
        QCOMPARE(modem_->messages()[0]["text"].toString(), kBody);
        const QByteArray commands = "AT+CMGF=1\r\n";
        const QByteArray submit = "AT+CMGS=\"" + kNumber.toLatin1() + "\"\r\n";
        const QByteArray expected = commands + submit + kBody.toLatin1() + '\x1a';
        std::vector<Byte> line = stamps(stampsPath_);
        line.erase(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(sent));
        QCOMPARE(text(line), expected);
        const auto c = static_cast<std::size_t>(commands.size());
        const auto s = c + static_cast<std::size_t>(submit.size());
        const double afterMode = msBetween(line[c - 1], line[c]);
        const double afterSubmit = msBetween(line[s - 1], line[s]);
        QVERIFY2(afterMode >= 500 && afterSubmit >= 1000,
                 qPrintable(QString("%1 %2").arg(afterMode).arg(afterSubmit)));
        qInfo("SMS: %zu bytes in %.0f ms; pauses after AT+CMGF %.0f ms, after AT+CMGS %.0f ms",
              line.size(), msBetween(line.front(), line.back()), afterMode, afterSubmit);
        if (answersArrive_.value_or(false)) {
            QCOMPARE(answerNext(before, QStringLiteral("Return"), 20'000), kSmsSend);
            qInfo("SMS: SMS Send (the answers reached the program)");
        } else {
            // Nothing to hear: the message waits for its verdict, which the next row ends.
            QCOMPARE(messagesFrom(before), QStringList{});
            qInfo("SMS: waiting for a verdict that cannot arrive");
        }
    }

    // Wine reads nothing, so the loss shows on the next write: one report, the port
    // closed, and Connect works with the modem back. Where Wine reads, the loss may
    // be reported before the click: the first message after the modem went counts.
    void vanishingModemIsReportedOnceAndConnectWorksAgain() {
        modem_.reset();
        QTRY_VERIFY(!QFileInfo(link_).isSymLink());
        const qsizetype before = shown_.size();
        click(kTestModem);
        const QString report = answerNext(before, QStringLiteral("Return"));
        QVERIFY2(report.startsWith("Test Tarvex|COM1"), qPrintable(report));
        QVERIFY2(report.endsWith("\\nPlug the modem back in, then press Connect."),
                 qPrintable(report));
        qInfo("vanished: %s", qPrintable(report.section('|', 1)));
        // Nothing more queued behind it, and the window knows the port is closed.
        click(kTestModem);
        QCOMPARE(answerNext(before + 1, QStringLiteral("Return")),
                 QStringLiteral("Test Tarvex|Connect ComPort"));

        startModem(QStringLiteral("second"));
        click(kConnect);
        modemTest();
    }
};

QTEST_GUILESS_MAIN(TestWineE2e)
#include "tst_wine_e2e.moc"
