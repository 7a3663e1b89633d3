// The session log: how bytes are written, how personal data is masked however the
// echo is split, and the files (rotation, the size cap, a folder that cannot be used,
// and on Linux who may read them).

#include "log/session_log.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace tarvex;
using namespace std::chrono_literals;

namespace {

const QString kNumber = QStringLiteral("+919876543210");
const QString kText = QStringLiteral("Hello 123 there");

// What a modem with its echo on answers to the whole submission.
const QByteArray kEchoedSubmission = "AT+CMGF=1\r\r\nOK\r\nAT+CMGS=\"+919876543210\"\r\r\n> "
                                     "Hello 123 there\x1a\r\n+CMGS: 7\r\n\r\nOK\r\n";
const QString kMaskedSubmission =
    QStringLiteral("AT+CMGF=1<CR><CR><LF>OK<CR><LF>AT+CMGS=\"+91########10\"<CR><CR><LF>> "
                   "<text: 15 characters><SUB><CR><LF>+CMGS: 7<CR><LF><CR><LF>OK<CR><LF>");

struct Logged {
    QStringList lines;
    DialogueRecord record{[this](const QString& l) { lines.append(l); }, true};

    // The text of the lines of one kind ("-->", "<--", "---"), times left out.
    QStringList of(const QString& kind) const {
        QStringList texts;
        for (const QString& l : lines)
            if (l.mid(22, 3) == kind)
                texts.append(l.mid(26));
        return texts;
    }
};

#ifdef Q_OS_UNIX
mode_t modeOf(const QString& path) {
    struct stat st = {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}
#endif

QStringList fileLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

class TestSessionLog : public QObject {
    Q_OBJECT

private slots:
    void escaping_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("printable") << QByteArray("AT+CMGS=\"+1\"") << "AT+CMGS=\"+1\"";
        QTest::newRow("line ends, Ctrl-Z, ESC")
            << QByteArray("\r\n\x1a\x1b") << "<CR><LF><SUB><ESC>";
        QTest::newRow("other controls, high bytes, NUL")
            << QByteArray("\x00\x7f\xff\t", 4) << "<x00><x7F><xFF><x09>";
        // A typed "<CR>" must not read as a line end.
        QTest::newRow("a literal <CR>") << QByteArray("<CR>") << "<x3C>CR>";
    }
    void escaping() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(escapedLineBytes(bytes), text);
    }

    void numberMask_data() {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("masked");
        QTest::newRow("India, the form's prefix") << kNumber << "+91########10";
        QTest::newRow("North America: one digit") << "+15551234567"
                                                  << "+1########67";
        QTest::newRow("three-digit code") << "+353861234567"
                                          << "+353#######67";
        QTest::newRow("national form: no code") << "0987654321"
                                                << "########21";
        QTest::newRow("only the prefix") << "+91"
                                         << "+91";
        QTest::newRow("service code") << "*121#"
                                      << "###1#";
    }
    void numberMask() {
        QFETCH(QString, number);
        QFETCH(QString, masked);
        QCOMPARE(maskedNumber(number), masked);
    }

    // Received lines end at a line end after something, after an echo's lone CR, after
    // a quiet gap, or when too long; sent lines at LF or Ctrl-Z.
    void lines_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<int>>("gapsBefore"); // byte indexes a quiet gap precedes
        QTest::addColumn<QStringList>("received");
        QTest::newRow("answer with echo off")
            << QByteArray("\r\nOK\r\n") << QList<int>{} << QStringList{"<CR><LF>OK<CR><LF>"};
        QTest::newRow("echo, then answer") << QByteArray("AT\r\r\nOK\r\n") << QList<int>{}
                                           << QStringList{"AT<CR>", "<CR><LF>OK<CR><LF>"};
        QTest::newRow("prompt, quiet, then more")
            << QByteArray("\r\n> \r\nOK\r\n") << QList<int>{4}
            << QStringList{"<CR><LF>> ", "<CR><LF>OK<CR><LF>"};
        QTest::newRow("a line split by a gap")
            << QByteArray("\r\nERR") << QList<int>{3} << QStringList{"<CR><LF>E", "RR"};
        QTest::newRow("a flood without line ends")
            << QByteArray(DialogueRecord::kLongestLine + 1, 'x') << QList<int>{}
            << QStringList{QString(DialogueRecord::kLongestLine, 'x'), "x"};
    }
    void lines() {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<int>, gapsBefore);
        QFETCH(QStringList, received);
        Logged log;
        LogTime at{};
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            at += gapsBefore.contains(int(i)) ? DialogueRecord::kQuietGap + 1ms : 1ms;
            log.record.received(bytes[i], at);
        }
        log.record.finish();
        QCOMPARE(log.of("<--"), received);
    }

    // Paced characters make one line with the times its first and last character left;
    // the other side's answer, and anything noted, come after it in order.
    void sentLineAndOrder() {
        Logged log;
        log.record.sent('A', 0ms);
        log.record.sent('T', 100ms);
        log.record.sent('\r', 200ms);
        log.record.received('A', 201ms); // a half-sent line ends where the answer starts
        log.record.sent('\n', 202ms);
        log.record.note(QStringLiteral("shown"), 250ms);
        QCOMPARE(
            log.lines,
            (QStringList{"       0.0      200.0 --> AT<CR>", "     201.0      201.0 <-- A",
                         "     202.0      202.0 --> <LF>", "     250.0            --- shown"}));
    }

    // However the echo arrives, in one piece, split anywhere into two or three pieces
    // with quiet gaps between, neither the number nor the text is ever in the log.
    void maskingHoldsAcrossEverySplit() {
        const qsizetype n = kEchoedSubmission.size();
        for (qsizetype i = 1; i < n; ++i) {
            for (qsizetype j = i; j < n; j += 7) { // j == i: one split only
                Logged log;
                log.record.beginSms(kNumber, kText);
                for (const char c : QByteArray("AT+CMGS=\"+919876543210\"\r\nHello 123 there\x1a"))
                    log.record.sent(c, 0ms);
                LogTime at = 1ms;
                for (qsizetype k = 0; k < n; ++k) {
                    at += (k == i || k == j) ? 50ms : 0ms;
                    log.record.received(kEchoedSubmission[k], at);
                }
                log.record.endSms();
                log.record.finish();
                const QString all = log.lines.join(QLatin1Char('\n'));
                QVERIFY2(
                    !all.contains(QStringLiteral("987654")) &&
                        !all.contains(QStringLiteral("Hello")),
                    qPrintable(QStringLiteral("split at %1 and %2:\n%3").arg(i).arg(j).arg(all)));
                QCOMPARE(log.of("<--").join(QString()), kMaskedSubmission);
                QCOMPARE(log.of("-->"), (QStringList{"AT+CMGS=\"+91########10\"<CR><LF>",
                                                     "<text: 15 characters><SUB>"}));
            }
        }
    }

    // Masks are for this submission only, and an echo that stops halfway is masked too.
    void maskingEnds_data() {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<bool>("endSmsFirst");
        QTest::addColumn<QString>("logged");
        QTest::newRow("after the verdict, digits are digits")
            << QByteArray("+919876543210") << true << "+919876543210";
        QTest::newRow("a number cut short") << QByteArray("+9198765") << false << "+91#####";
        QTest::newRow("a text cut short")
            << QByteArray("Hello") << false << "<text: 5 of 15 characters>";
        QTest::newRow("a lookalike start") << QByteArray("+CMS") << false << "+CMS";
    }
    void maskingEnds() {
        QFETCH(QByteArray, received);
        QFETCH(bool, endSmsFirst);
        QFETCH(QString, logged);
        Logged log;
        log.record.beginSms(kNumber, kText);
        if (endSmsFirst)
            log.record.endSms();
        for (const char c : received)
            log.record.received(c, 0ms);
        log.record.endSms();
        log.record.finish();
        QCOMPARE(log.of("<--"), QStringList{logged});
    }

    // Wherever the submission is cut (an interrupt, a device pulled out), and whatever
    // follows the cut (ESC, a note, the rest of the line, the next command), no digit
    // of the number and no character of the text is in the log.
    void maskingAtEveryCut_data() {
        QTest::addColumn<QByteArray>("sent");     // "|" stands for a note
        QTest::addColumn<QByteArray>("received"); // after what was sent
        QTest::addColumn<QStringList>("logged");  // the --> and <-- lines, in order
        const QByteArray command = "AT+CMGS=\"+919876543210\"\r\n";
        QTest::newRow("in the number, then ESC")
            << QByteArray("AT+CMGS=\"+91987\x1b") << QByteArray()
            << QStringList{"--> AT+CMGS=\"+91###<ESC>"};
        QTest::newRow("in the number, a note, then the rest of the line")
            << QByteArray("AT+CMGS=\"+91987|6543210\"\r\n") << QByteArray()
            << QStringList{"--> AT+CMGS=\"+91###", "--> #######\"<CR><LF>"};
        QTest::newRow("in the text, then ESC")
            << command + "Hel\x1b" << QByteArray()
            << QStringList{"--> AT+CMGS=\"+91########10\"<CR><LF>",
                           "--> <text: 3 of 15 characters><ESC>"};
        QTest::newRow("in the text, a note, the rest")
            << command + "Hel|lo 123 there\x1a" << QByteArray()
            << QStringList{"--> AT+CMGS=\"+91########10\"<CR><LF>",
                           "--> <text: 3 of 15 characters>",
                           "--> <text: 12 of 15 characters><SUB>"};
        QTest::newRow("the echo cut short, then the next command's")
            << QByteArray() << QByteArray("AT+CMGS=\"+9198AT\r\r\nERROR\r\n")
            << QStringList{"<-- AT+CMGS=\"+91##AT<CR>", "<-- <CR><LF>ERROR<CR><LF>"};
        QTest::newRow("part of the text echoed after the prompt")
            << QByteArray() << QByteArray("\r\n> Hello 1\r\nOK\r\n")
            << QStringList{"<-- <CR><LF>> <text: 7 of 15 characters><CR><LF>", "<-- OK<CR><LF>"};
        QTest::newRow("no echo after the prompt: the answer is the modem's")
            << QByteArray() << QByteArray("\r\n> \r\n+CMS ERROR: 500\r\n")
            << QStringList{"<-- <CR><LF>> <CR><LF>", "<-- +CMS ERROR: 500<CR><LF>"};
    }
    void maskingAtEveryCut() {
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, received);
        QFETCH(QStringList, logged);
        Logged log;
        log.record.beginSms(kNumber, kText);
        for (const char c : sent) {
            if (c == '|')
                log.record.note(QStringLiteral("interrupted"), 0ms);
            else
                log.record.sent(c, 0ms);
        }
        for (const char c : received)
            log.record.received(c, 1ms);
        log.record.endSms();
        log.record.finish();
        QStringList lines;
        for (const QString& l : log.lines)
            if (l.mid(22, 3) != QLatin1String("---"))
                lines << l.mid(22);
        QCOMPARE(lines.join(QLatin1Char('\n')), logged.join(QLatin1Char('\n')));
    }

    // The modem's IMEI, IMSI and ICCID in its answers, masked unless asked for.
    void identitiesMasked_data() {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<bool>("mask");
        QTest::addColumn<QString>("logged");
        QTest::newRow("IMEI") << QByteArray("356938035643809\r\n") << true
                              << "###############<CR><LF>";
        QTest::newRow("ICCID named") << QByteArray("+CCID: 89441000303163451234\r\n") << true
                                     << "+CCID: ####################<CR><LF>";
        QTest::newRow("short numbers stay")
            << QByteArray("+CSQ: 20,99\r\n") << true << "+CSQ: 20,99<CR><LF>";
        QTest::newRow("asked for")
            << QByteArray("356938035643809\r\n") << false << "356938035643809<CR><LF>";
    }
    void identitiesMasked() {
        QFETCH(QByteArray, received);
        QFETCH(bool, mask);
        QFETCH(QString, logged);
        QStringList lines;
        DialogueRecord record([&](const QString& l) { lines.append(l.mid(26)); }, mask);
        for (const char c : received)
            record.received(c, 0ms);
        record.finish();
        QCOMPARE(lines, QStringList{logged});
    }

    void personalDataWhenAskedFor() {
        QStringList lines;
        DialogueRecord record([&](const QString& l) { lines.append(l); }, false);
        record.beginSms(kNumber, kText);
        for (const char c : QByteArray("+919876543210 Hello 123 there\x1a"))
            record.sent(c, 0ms);
        QVERIFY(lines.join(QString()).contains(QStringLiteral("+919876543210 Hello 123 there")));
    }

    // The header first; the 10 newest files kept, this run's among them.
    void filesAndRotation() {
        QTemporaryDir dir;
        for (int i = 0; i < 12; ++i) {
            QFile old(dir.filePath(QStringLiteral("tarvex-2020-01-01_00-00-%1.000.log")
                                       .arg(i, 2, 10, QLatin1Char('0'))));
            QVERIFY(old.open(QIODevice::WriteOnly));
        }
        QFile other(dir.filePath(QStringLiteral("notes.txt")));
        QVERIFY(other.open(QIODevice::WriteOnly));
        QString path;
        {
            SessionLog log({dir.path(), false, {QStringLiteral("Tarvex 1.0.0")}});
            path = log.filePath();
            log.sent(QStringLiteral("AT\r\n"), log.now());
        }
        QCOMPARE(fileLines(path).first(), QStringLiteral("# Tarvex 1.0.0"));
        QVERIFY(fileLines(path).last().endsWith(QStringLiteral("--> AT<CR><LF>")));
        const QStringList logs =
            QDir(dir.path()).entryList({QStringLiteral("tarvex-*.log")}, QDir::Files, QDir::Name);
        QCOMPARE(logs.size(), SessionLog::kKeptFiles);
        QCOMPARE(logs.first(), QStringLiteral("tarvex-2020-01-01_00-00-03.000.log"));
        QVERIFY(QFile::exists(other.fileName()));
    }

    // A flood fills the file up to the cap; its last line says how much was left out.
    void sizeCap() {
        QTemporaryDir dir;
        QString path;
        {
            SessionLog log({dir.path(), false, {}});
            path = log.filePath();
            log.received(QString(SessionLog::kMaxFileBytes, QLatin1Char('x')));
        }
        QVERIFY(QFileInfo(path).size() <= SessionLog::kMaxFileBytes);
        QVERIFY(QFileInfo(path).size() > SessionLog::kMaxFileBytes - 1024);
        const QString last = fileLines(path).last();
        QVERIFY2(last.startsWith(QStringLiteral("# ")) &&
                     last.contains(QStringLiteral("bytes left out")),
                 qPrintable(last));
    }

    // The file removed under a running log: writing goes on, and nothing is thrown.
    void fileRemovedWhileRunning() {
        QTemporaryDir dir;
        SessionLog log({dir.path(), false, {}});
        QVERIFY(QFile::exists(log.filePath()));
        QFile::remove(log.filePath());
        log.sent(QStringLiteral("AT\r\n"), log.now());
        log.received(QStringLiteral("\r\nOK\r\n"));
        log.finish();
    }

    // A folder that cannot be made or written: no file, and nothing thrown.
    void unusableFolder() {
        QTemporaryDir dir;
        QFile blocker(dir.filePath(QStringLiteral("file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        SessionLog log({blocker.fileName() + QStringLiteral("/logs"), false, {}});
        QCOMPARE(log.filePath(), QString());
        log.sent(QStringLiteral("AT\r\n"), log.now());
        log.note(QStringLiteral("still running"));
        log.finish();
    }

#ifdef Q_OS_UNIX
    // The folder 0700 and the file 0600, whatever the umask; a folder of one's own that
    // others may read is narrowed, another user's is refused and left as it was.
    void onlyItsUserReads_data() {
        QTest::addColumn<QString>("folder"); // below the temporary folder; empty: none
        QTest::addColumn<int>("modeBefore");
        QTest::addColumn<bool>("otherOwner");
        QTest::addColumn<bool>("used");
        QTest::newRow("made under umask 000") << "state/tarvex" << 0 << false << true;
        QTest::newRow("own 0755 folder narrowed") << "tarvex" << 0755 << false << true;
        QTest::newRow("own 0777 folder narrowed") << "tarvex" << 0777 << false << true;
        QTest::newRow("another user's folder refused") << "tarvex" << 0755 << true << false;
    }
    void onlyItsUserReads() {
        QFETCH(QString, folder);
        QFETCH(int, modeBefore);
        QFETCH(bool, otherOwner);
        QFETCH(bool, used);
        QTemporaryDir dir;
        QString path = dir.filePath(folder);
        if (modeBefore != 0) {
            QVERIFY(QDir().mkdir(path));
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(modeBefore)), 0);
        }
        if (otherOwner) {
            if (::geteuid() == 0) // CI: root can give a folder away
                QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
            else // anyone else: a folder all may write in that root owns
                path = QStringLiteral("/tmp");
        }
        const mode_t before = modeOf(path);
        const mode_t oldMask = ::umask(0);
        SessionLog log({path, false, {}});
        ::umask(oldMask);
        QCOMPARE(!log.filePath().isEmpty(), used);
        if (used) {
            QCOMPARE(modeOf(path), mode_t(0700));
            QCOMPARE(modeOf(log.filePath()), mode_t(0600));
        } else {
            QCOMPARE(modeOf(path), before);
            QVERIFY(QDir(path).entryList({QStringLiteral("tarvex-*.log")}).isEmpty());
        }
    }

    // A link planted under a log's name, dangling or to a file, is not followed.
    void plantedLinkRefused_data() {
        QTest::addColumn<bool>("targetExists");
        QTest::newRow("dangling link") << false;
        QTest::newRow("link to a file") << true;
    }
    void plantedLinkRefused() {
        QFETCH(bool, targetExists);
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("elsewhere"));
        if (targetExists) {
            QFile file(target);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("theirs");
        }
        const QString name = dir.filePath(QStringLiteral("tarvex-next.log"));
        QVERIFY(QFile::link(target, name));
        QFile log(name);
        QVERIFY(!openNewLogFile(log));
        QCOMPARE(QFileInfo::exists(target), targetExists);
        if (targetExists)
            QCOMPARE(QFileInfo(target).size(), 6);
    }
#endif
};

QTEST_GUILESS_MAIN(TestSessionLog)
#include "tst_session_log.moc"
