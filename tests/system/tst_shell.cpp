// tarvex --check and --send as a shell runs them: the real program with no display
// at all, against the real tarvex-vmodem on its pseudo-terminal, in real time.

#include "qtry.h"
#include "virtual_modem.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace tarvex::testing;

namespace {

const QString kNumber = QStringLiteral("+15551234567");
const QString kBody = QStringLiteral("Meet at 10:30, gate \"B\" & 7%");

struct Outcome {
    int exit = -1;
    QString out;
    QString err;
};

// An X display on this machine that takes the connection and hangs up at once, as a
// server does that refuses the caller's cookie. Its number is -1 when none was free.
class RefusingDisplay {
public:
    RefusingDisplay() {
        for (int n = 90; n < 100 && number_ < 0; ++n) {
            fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            const QByteArray name = "/tmp/.X11-unix/X" + QByteArray::number(n);
            sockaddr_un address{};
            address.sun_family = AF_UNIX; // abstract: the name follows a NUL
            std::memcpy(address.sun_path + 1, name.constData(), std::size_t(name.size()));
            const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());
            if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address), length) == 0 &&
                ::listen(fd_, 8) == 0)
                number_ = n;
            else
                ::close(fd_);
        }
        if (number_ < 0)
            return;
        gate_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
        QObject::connect(gate_.get(), &QSocketNotifier::activated, [fd = fd_] {
            for (int caller; (caller = ::accept(fd, nullptr, nullptr)) >= 0;)
                ::close(caller);
        });
    }
    ~RefusingDisplay() {
        gate_.reset();
        if (number_ >= 0)
            ::close(fd_);
    }
    RefusingDisplay(const RefusingDisplay&) = delete;
    RefusingDisplay& operator=(const RefusingDisplay&) = delete;
    int number() const { return number_; }

private:
    int fd_ = -1;
    int number_ = -1;
    std::unique_ptr<QSocketNotifier> gate_;
};

// The program with no DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM, its `entry`
// (COM1 unless said) on `device`, its logs in a folder of the test's own, and a umask
// that would leave any file open to all.
class ShellRun {
public:
    ShellRun(const QString& device, const QStringList& arguments,
             const QString& entry = QStringLiteral("COM1")) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("TARVEX_") + entry, device);
        env.insert(QStringLiteral("XDG_STATE_HOME"), state_.path());
        process_.setProcessEnvironment(env);
        process_.setChildProcessModifier([] { ::umask(0); });
        process_.start(QStringLiteral(TARVEX_APP_PATH), arguments);
        process_.waitForStarted();
    }
    ~ShellRun() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }
    Outcome finish() {
        // The longest run here is a silent modem's 2 s; 120 s is the SMS verdict's wait.
        if (!process_.waitForFinished(130000))
            return {};
        return {process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1,
                QString::fromLocal8Bit(process_.readAllStandardOutput()),
                QString::fromLocal8Bit(process_.readAllStandardError())};
    }
    QProcess& process() { return process_; }
    QFileInfoList logs() const {
        return QDir(state_.filePath(QStringLiteral("tarvex"))).entryInfoList(QDir::Files);
    }
    QString folder() const { return state_.filePath(QStringLiteral("tarvex")); }

private:
    QTemporaryDir state_;
    QProcess process_;
};

QStringList withPort(QStringList arguments, const QString& port) {
    arguments.replaceInStrings(QStringLiteral("PORT"), port);
    return arguments;
}

// Each real run keeps one log, its user's alone, whatever the umask; it names the
// port as `entry` and records no button that nobody pressed.
void checkPrivateLog(const ShellRun& run, const QString& entry = QStringLiteral("COM1")) {
    const QFileInfoList logs = run.logs();
    QCOMPARE(logs.size(), 1);
    QCOMPARE(QFileInfo(run.folder()).permissions() & 0x0777, QFile::Permissions(0x0700));
    QCOMPARE(logs[0].permissions() & 0x0777, QFile::Permissions(0x0600));
    QFile file(logs[0].filePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray log = file.readAll();
    QVERIFY2(log.contains("--- opened " + entry.toLatin1() + " (") || !log.contains("opened"),
             log.constData());
    QVERIFY2(!log.contains(" pressed"), log.constData());
}

// What the program wrote to the line, once the modem has read all of it: a marker
// written behind it comes out of the pseudo-terminal after it. `interface` is a USB
// modem's port, -1 a modem's one port.
QByteArray writtenToModem(const VirtualModem& modem, int interface = -1) {
    const QString device = interface < 0 ? modem.device() : modem.devices()[interface];
    const int line = ::open(QFile::encodeName(device).constData(), O_WRONLY | O_NOCTTY);
    if (line < 0)
        return "(the line cannot be opened)";
    const char marker = '\x7f';
    const bool written = ::write(line, &marker, 1) == 1;
    ::close(line);
    const auto received = [&] { return modem.bytes(false, interface); };
    if (!written || !QTest::qWaitFor([&] { return received().endsWith(marker); }, 10000))
        return "(the modem never read the marker)";
    return received().chopped(1);
}

// Whether `written` is the scan's probe, once or once for each speed tried.
bool onlyProbes(const QByteArray& written) {
    const QByteArray probe("\x1b"
                           "AT\r");
    return !written.isEmpty() && written == probe.repeated(written.size() / probe.size());
}

} // namespace

class tst_shell : public QObject {
    Q_OBJECT

private slots:
    // A wrong command line: exit 64, the reason on standard error, and not one byte
    // written to the modem on COM1. Every refusal is a row of tst_command_line; these
    // are the ways it reaches the real program's exit status.
    void badCommandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("said");
        QTest::newRow("unknown option") << QStringList{"--check", "COM1", "--frob"} << "frob";
        QTest::newRow("a file") << QStringList{"--check", "PORT"} << "(it is a file)";
        QTest::newRow("text too long") << QStringList{"--send", "COM1", "+1555", QString(35, 'x')}
                                       << "Invalid SMS Data: 35 characters, at most 34";
    }
    void badCommandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, said);
        VirtualModem modem;
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("not-a-port"));
        QFile(file).open(QIODevice::WriteOnly);
        ShellRun run(modem.device(), withPort(arguments, file));
        const Outcome outcome = run.finish();
        QCOMPARE(outcome.exit, 64);
        QVERIFY2(outcome.err.contains(said), qPrintable(outcome.err));
        QVERIFY(outcome.out.isEmpty());
        QCOMPARE(QFileInfo(file).size(), 0);
        QVERIFY(run.logs().isEmpty());
        QCOMPARE(writtenToModem(modem), QByteArray());
    }

    // One row per verdict: what the terminal shows and the exit status.
    void verdict_data() {
        QTest::addColumn<QStringList>("modemOptions");
        QTest::addColumn<QString>("device"); // empty: the modem's; COMn: the modem's as COMn
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exit");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        const QStringList send{"--send", "COM1", kNumber, kBody};
        QTest::newRow("modem answers")
            << QStringList{} << QString() << QStringList{"--check", "PORT"} << 0 << "GSM Modem OK\n"
            << QString();
        QTest::newRow("silent modem")
            << QStringList{"--silent"} << QString() << QStringList{"--check", "COM1"} << 1
            << QString() << "Modem Not Found\n";
        QTest::newRow("silent modem, two tries")
            << QStringList{"--silent"} << QString()
            << QStringList{"--check", "COM1", "--tries", "2"} << 1 << QString()
            << "Modem Not Found - Retry? Yes (try 2 of 2)\nModem Not Found\n";
        QTest::newRow("a link to the modem")
            << QStringList{} << "/dev/tarvex-elsewhere" << QStringList{"--check", "LINK"} << 0
            << "GSM Modem OK\n"
            << QString();
        QTest::newRow("an entry's device")
            << QStringList{} << "COM7" << QStringList{"--check", "PORT"} << 0 << "GSM Modem OK\n"
            << QString();
        QTest::newRow("no device")
            << QStringList{} << "/dev/tarvex-no-such-modem" << QStringList{"--check", "COM1"} << 2
            << QString() << "COM1 (/dev/tarvex-no-such-modem): No such file or directory";
        QTest::newRow("SMS sent") << QStringList{} << QString() << send << 0
                                  << "GSM Modem OK\nSMS Send\n"
                                  << QString();
        QTest::newRow("a text after --")
            << QStringList{} << QString() << QStringList{"--send", "COM1", kNumber, "--", "-v"} << 0
            << "GSM Modem OK\nSMS Send\n"
            << QString();
        QTest::newRow("a HAT at 115200, asked at 9600")
            << QStringList{"--rate", "115200"} << QString() << QStringList{"--check", "COM1"} << 1
            << QString() << "Modem Not Found\n";
        QTest::newRow("a HAT at 115200, asked at 115200")
            << QStringList{"--rate", "115200"} << QString()
            << QStringList{"--check", "COM1", "--baud", "115200"} << 0 << "GSM Modem OK\n"
            << QString();
        QTest::newRow("SMS refused")
            << QStringList{"--cms-error", "330"} << QString() << send << 1 << "GSM Modem OK\n"
            << "SMS Not Sent: SMSC address unknown (CMS ERROR 330)\n";
    }
    void verdict() {
        QFETCH(QStringList, modemOptions);
        QFETCH(QString, device);
        QFETCH(QStringList, arguments);
        QFETCH(int, exit);
        QFETCH(QString, out);
        QFETCH(QString, err);
        VirtualModem modem(modemOptions);
        // PORT is the device path itself: the entry it is found under, or COM1; LINK
        // a link to it, followed to the device.
        QTemporaryDir links;
        const QString link = links.filePath(QStringLiteral("modem"));
        QVERIFY(QFile::link(modem.device(), link));
        arguments.replaceInStrings(QStringLiteral("LINK"), link);
        const QString entry = device.startsWith(QLatin1String("COM")) ? device : "COM1";
        if (device.isEmpty() || device == entry)
            device = modem.device();
        ShellRun run(device, withPort(arguments, modem.device()), entry);
        const Outcome outcome = run.finish();
        QCOMPARE(outcome.exit, exit);
        QCOMPARE(outcome.out, out);
        QVERIFY2(outcome.err.contains(err), qPrintable(outcome.err));
        checkPrivateLog(run, entry);
        if (modemOptions.contains(QStringLiteral("--silent"))) { // one AT and its wait a try
            const int tries =
                arguments.contains(QStringLiteral("--tries")) ? arguments.last().toInt() : 1;
            QCOMPARE(writtenToModem(modem), QByteArray("AT\r\n").repeated(tries));
        }
        if (exit == 0 && arguments.first() == QLatin1String("--send")) {
            QTRY_COMPARE(modem.messages().size(), 1);
            QCOMPARE(modem.messages()[0].value("number").toString(), kNumber);
            QCOMPARE(modem.messages()[0].value("text").toString(), arguments.last());
        }
    }

    // --status, one row per verdict on the virtual modem playing it: the words, or the
    // monitoring system's form, and the exit status. Whatever the state, the modem
    // receives the test, its ATE0 and the read-only queries, nothing else.
    void status_data() {
        QTest::addColumn<QStringList>("modemOptions");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exit");
        QTest::addColumn<QStringList>("out"); // each in standard output, or in --output
        QTest::addColumn<QString>("err");
        QTest::newRow("ready") << QStringList{} << QStringList{} << 0
                               << QStringList{"SIM: ready\n",
                                              "Network: registered, home network \"Tarvex\", LTE\n",
                                              "Signal: -73 dBm, good", "\nReady to send SMS.\n"}
                               << QString();
        QTest::newRow("json, roaming on GSM only")
            << QStringList{"--registration", "roaming", "--2g-only"}
            << QStringList{"--format", "json"} << 0
            << QStringList{"\"ready\": true", "\"registration\": \"roaming\"",
                           "\"technology\": \"GSM\"", "\"signal_dbm\": -73"}
            << QString();
        QTest::newRow("nagios, PIN")
            << QStringList{"--sim", "pin"} << QStringList{"--format", "nagios"} << 2
            << QStringList{"TARVEX CRITICAL - Not ready: the SIM asks "
                           "for its PIN",
                           " | 'signal_dBm'=-73;-90:;-100:;;\n"}
            << QString();
        QTest::newRow("prometheus to a file, weak signal")
            << QStringList{"--signal", "-103"} << QStringList{"--format", "prometheus", "--output"}
            << 0
            << QStringList{"\ntarvex_modem_ready 1\n", "\ntarvex_signal_dbm -103\n",
                           "tarvex_modem_info{manufacturer=\"Tarvex\",model=\"VModem\""}
            << QString();
        // Counted from the modem's start, and well past the queries before +CPIN? even
        // under an emulator, yet inside the program's 10 s.
        QTest::newRow("SIM busy for 6 s")
            << QStringList{"--sim-busy", "6000"} << QStringList{} << 0
            << QStringList{"SIM: ready\n"} << "SIM busy: waiting for it, up to 10 s";
        QTest::newRow("searching, nagios")
            << QStringList{"--registration", "searching"} << QStringList{"--format", "nagios"} << 2
            << QStringList{"TARVEX CRITICAL - Not ready"} << QString();
        QTest::newRow("silent modem, nagios")
            << QStringList{"--silent"} << QStringList{"--format", "nagios"} << 2
            << QStringList{"TARVEX CRITICAL - Modem Not Found"} << "Modem Not Found";
        QTest::newRow("no device, nagios")
            << QStringList{"GONE"} << QStringList{"--format", "nagios"} << 3
            << QStringList{"TARVEX UNKNOWN - COM1 (/dev/tarvex-no-such-modem)"}
            << "No such file or directory";
    }
    void status() {
        QFETCH(QStringList, modemOptions);
        QFETCH(QStringList, options);
        QFETCH(int, exit);
        QFETCH(QStringList, out);
        QFETCH(QString, err);
        const bool gone = modemOptions == QStringList{"GONE"};
        VirtualModem modem(gone ? QStringList{} : modemOptions);
        QTemporaryDir dir;
        const QString output = dir.filePath(QStringLiteral("tarvex.prom"));
        if (options.endsWith(QStringLiteral("--output")))
            options << output;
        ShellRun run(gone ? QStringLiteral("/dev/tarvex-no-such-modem") : modem.device(),
                     QStringList{"--status", "COM1"} + options);
        Outcome outcome = run.finish();
        QCOMPARE(outcome.exit, exit);
        QVERIFY2(outcome.err.contains(err), qPrintable(outcome.err));
        if (options.contains(output)) {
            QVERIFY(outcome.out.isEmpty());
            QFile file(output);
            QVERIFY(file.open(QIODevice::ReadOnly));
            outcome.out = QString::fromUtf8(file.readAll());
            QCOMPARE(file.permissions() & 0x0444,
                     QFile::Permissions(0x0444)); // a collector reads it
        }
        for (const QString& part : out)
            QVERIFY2(outcome.out.contains(part), qPrintable(outcome.out));
        QVERIFY2(!outcome.out.contains(QStringLiteral("GSM Modem OK")), qPrintable(outcome.out));
        checkPrivateLog(run);
        if (gone || modemOptions.contains(QStringLiteral("--silent")))
            return;
        QStringList sent = QString::fromLatin1(writtenToModem(modem))
                               .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        sent.removeDuplicates(); // +CPIN? again while the SIM is busy
        QCOMPARE(sent, (QStringList{"AT", "ATE0", "AT+CGMI", "AT+CGMM", "AT+CGMR", "AT+CGSN",
                                    "AT+CFUN?", "AT+CPIN?", "AT+CREG?", "AT+CGREG?", "AT+CEREG?",
                                    "AT+COPS?", "AT+CSQ", "AT+CESQ", "AT+CSCA?", "AT+CMGF=?"}));
    }

    // Ctrl-C wherever it lands in --send: exit 130, no SMS, nothing of the number or the
    // text in the log, and the modem left with an empty command line, so that the next
    // --check gets its OK. The signal is sent once the modem has read `after`; the
    // program may have sent a few characters more by the time it arrives, so a row
    // holds for a cut anywhere from there to the next cut point. A line cut short is
    // erased, which backspaces and a lone CR show; once AT+CMGS is whole, ESC takes
    // the message back. Once Ctrl-Z is out the message is the modem's: no ESC follows,
    // and the terminal says it may have gone (the modem holds its answers back 30 s
    // there, so the next --check is not asked of it). What the terminal says follows
    // from the wire's last byte.
    void interrupt_data() {
        QTest::addColumn<QStringList>("modemOptions");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QByteArray>("lastBytes"); // one of them ends the wire
        const QByteArray number = kNumber.toLatin1();
        QTest::newRow("in AT+CMGF=1") << QStringList{} << QByteArray("AT+CM") << QByteArray("\r\n");
        QTest::newRow("in the number")
            << QStringList{} << "AT+CMGS=\"" + number.left(5) << QByteArray("\r\x1b");
        QTest::newRow("at the prompt") << QStringList{} << "AT+CMGS=\"" + number + "\"\r\n"
                                       << QByteArray("\x1b");
        QTest::newRow("in the text")
            << QStringList{} << kBody.left(4).toLatin1() << QByteArray("\x1b");
        QTest::newRow("after Ctrl-Z")
            << QStringList{"--delay", "30000"} << QByteArray("\x1a") << QByteArray("\x1a");
    }
    void interrupt() {
        QFETCH(QStringList, modemOptions);
        QFETCH(QByteArray, after);
        QFETCH(QByteArray, lastBytes);
        VirtualModem modem(modemOptions);
        ShellRun run(modem.device(), {"--send", "COM1", kNumber, kBody});
        QTRY_VERIFY_WITH_TIMEOUT(modem.bytes(false).contains(after), 30000);
        ::kill(pid_t(run.process().processId()), SIGINT);
        const Outcome outcome = run.finish();
        QCOMPARE(outcome.exit, 130);
        const QByteArray written = writtenToModem(modem);
        QVERIFY2(!written.isEmpty() && lastBytes.contains(written.back()), written.constData());
        const char last = written.back();
        const QString said = last == '\x1a'   ? "it may have been sent"
                             : last == '\x1b' ? "taken back with ESC and not sent"
                                              : "Interrupted";
        QVERIFY2(outcome.err.contains(said), qPrintable(outcome.err));
        QVERIFY(written.count('\x1a') + written.count('\x1b') <= 1);
        checkPrivateLog(run);
        QFile file(run.logs()[0].filePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray log = file.readAll();
        QVERIFY(log.contains("--- interrupted"));
        // "at 10:30", not "10:30": the header's start time may hold that
        for (const QByteArray& secret : {QByteArray("5551234"), QByteArray("Meet"),
                                         QByteArray("gate"), QByteArray("at 10:30")})
            QVERIFY2(!log.contains(secret), log.constData());
        if (last == '\x1a')
            return;
        QVERIFY(modem.messages().isEmpty());
        ShellRun next(modem.device(), {"--check", "COM1"});
        const Outcome checked = next.finish();
        QCOMPARE(checked.out, QStringLiteral("GSM Modem OK\n"));
        QCOMPARE(checked.exit, 0);
    }

    // --scan on a whole USB modem (DIAG, NMEA, AT and a silent port), a port that
    // floods NULs and one another program holds: only the AT port says GSM Modem OK,
    // each other port is told apart, the held one gets not a byte, and every other
    // nothing but the probe.
    void scan_data() {
        QTest::addColumn<QString>("format");
        QTest::newRow("text") << "text";
        QTest::newRow("json") << "json";
    }
    void scan() {
        QFETCH(QString, format);
        VirtualModem usb({QStringLiteral("--usb-modem")});
        VirtualModem nul({QStringLiteral("--answer-as"), QStringLiteral("nul")});
        VirtualModem held;
        QSerialPort holder(held.device());
        QVERIFY(holder.open(QIODevice::ReadWrite));
        const QStringList ports = usb.devices() << nul.device() << held.device();
        // The held port's holder is this suite, or under qemu-user the emulator that
        // runs it: the same process.
        QStringList verdicts;
        for (const char* said :
             {"not a modem", "not a modem: it sends NMEA sentences, a GPS port", "GSM Modem OK",
              "no answer to AT at 9600, 115200, 57600, 38400 or 19200 baud",
              "not a modem: it sends a flood of NUL bytes"})
            verdicts << QRegularExpression::escape(QLatin1String(said));
        verdicts << QStringLiteral(R"(skipped: held by [^ ]+ \(pid %1\): not a byte sent)")
                        .arg(QCoreApplication::applicationPid());
        ShellRun run(ports[0], QStringList{"--scan", "--format", format} + ports);
        const Outcome outcome = run.finish();
        QCOMPARE(outcome.exit, 0);
        QVERIFY2(outcome.err.isEmpty(), qPrintable(outcome.err));
        if (format == QLatin1String("json")) {
            const QJsonArray array = QJsonDocument::fromJson(outcome.out.toUtf8()).array();
            QCOMPARE(array.size(), ports.size());
            for (qsizetype i = 0; i < ports.size(); ++i) {
                const QJsonObject port = array[i].toObject();
                QCOMPARE(port["device"].toString(), ports[i]);
                QCOMPARE(port["modem"].toBool(), i == 2);
                QVERIFY2(port["verdict"].toString().contains(
                             QRegularExpression(QLatin1Char('^') + verdicts[i])),
                         qPrintable(port["verdict"].toString()));
            }
            QCOMPARE(array[2].toObject()["baud"].toInt(), 9600);
            QCOMPARE(array[0].toObject()["entry"].toString(), QStringLiteral("COM1"));
        } else {
            const QStringList lines = outcome.out.split('\n', Qt::SkipEmptyParts);
            QCOMPARE(lines.filter(QStringLiteral("GSM Modem OK")).size(), 1);
            for (qsizetype i = 0; i < ports.size(); ++i) {
                const QStringList line = lines.filter(QStringLiteral(" %1 ").arg(ports[i]));
                QCOMPARE(line.size(), 1);
                QVERIFY2(line[0].contains(QRegularExpression(QStringLiteral("  ") + verdicts[i])),
                         qPrintable(line[0]));
            }
            QVERIFY2(lines.last().startsWith("Use it as tarvex --check " + ports[2] + ", or in"),
                     qPrintable(lines.last()));
        }
        for (int interface = 0; interface < 4; ++interface) {
            const QByteArray written = writtenToModem(usb, interface);
            QVERIFY2(onlyProbes(written), written.toHex(' ').constData());
        }
        QVERIFY(onlyProbes(writtenToModem(nul)));
        QCOMPARE(writtenToModem(held), QByteArray());
    }

    // A UART modem fixed at 115200: silent at 9600, found at 115200, and --check
    // reaches it there. Named twice (by its device and by its entry), it is probed once.
    void scanSpeeds() {
        VirtualModem uart({QStringLiteral("--rate"), QStringLiteral("115200")});
        ShellRun run(uart.device(), {"--scan", uart.device(), "COM1"});
        const Outcome outcome = run.finish();
        QCOMPARE(outcome.exit, 0);
        QCOMPARE(outcome.out.count(uart.device()), 2); // its line, and the last
        QVERIFY2(outcome.out.contains("COM1   " + uart.device() +
                                      "  -      -    GSM Modem OK at 115200 baud\n"),
                 qPrintable(outcome.out));
        QVERIFY2(outcome.out.endsWith(
                     QStringLiteral("Use it as tarvex --check %1 --baud 115200, or in the window "
                                    "as COM1 (tarvex --baud 115200).\n")
                         .arg(uart.device())),
                 qPrintable(outcome.out));
        QCOMPARE(writtenToModem(uart), QByteArray("\x1b"
                                                  "AT\r")
                                           .repeated(2));
        ShellRun check(uart.device(), {"--check", uart.device(), "--baud", "115200"});
        QCOMPARE(check.finish().out, QStringLiteral("GSM Modem OK\n"));
    }

    // Ctrl-C while the ports are being asked: 130, and every port closed.
    void scanInterrupted() {
        VirtualModem silent({QStringLiteral("--silent")});
        ShellRun run(silent.device(), {"--scan", silent.device()});
        QTRY_VERIFY_WITH_TIMEOUT(silent.bytes(false).contains("AT\r"), 10000);
        ::kill(pid_t(run.process().processId()), SIGINT);
        const Outcome outcome = run.finish();
        QCOMPARE(outcome.exit, 130);
        QCOMPARE(outcome.err, QStringLiteral("Interrupted: every port closed.\n"));
        QVERIFY(outcome.out.isEmpty());
    }

#if TARVEX_WITH_WINDOW
    // The window where no display answers: a paragraph with the ways on, exit 1,
    // not Qt's abort.
    void windowWithoutDisplay_data() {
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("said");
        QTest::newRow("none set") << QString() << "neither DISPLAY nor WAYLAND_DISPLAY";
        QTest::newRow("nobody there") << ":97"
                                      << "the X display :97 does not answer";
        QTest::newRow("turned away") << "refusing"
                                     << "would not let it in (under sudo";
    }
    void windowWithoutDisplay() {
        QFETCH(QString, display);
        QFETCH(QString, said);
        std::optional<RefusingDisplay> refusing;
        if (display == QLatin1String("refusing")) {
            refusing.emplace();
            QVERIFY2(refusing->number() >= 0, "no abstract X socket from :90 to :99 was free");
            display = QStringLiteral(":%1").arg(refusing->number());
        }
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        if (!display.isEmpty())
            env.insert(QStringLiteral("DISPLAY"), display);
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(TARVEX_APP_PATH), {"--no-log"});
        QTRY_COMPARE_WITH_TIMEOUT(program.state(), QProcess::NotRunning, 30000); // serves the gate
        const QString err = QString::fromLocal8Bit(program.readAllStandardError());
        QVERIFY2(program.exitStatus() == QProcess::NormalExit, qPrintable(err));
        QCOMPARE(program.exitCode(), 1);
        for (const QString& way :
             {said, QStringLiteral("ssh -X"), QStringLiteral("tarvex -platform vnc"),
              QStringLiteral("tarvex --check PORT")})
            QVERIFY2(err.contains(way), qPrintable(err));
    }
#else
    // Built without a window, a start without a command says so and names the shell's.
    void noWindowInThisBuild() {
        QProcess program;
        program.start(QStringLiteral(TARVEX_APP_PATH), {"--no-log"});
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitCode(), 1);
        const QString err = QString::fromLocal8Bit(program.readAllStandardError());
        for (const QString& said :
             {QStringLiteral("this Tarvex has no window"),
              QStringLiteral("the package tarvex has it"), QStringLiteral("tarvex --check PORT")})
            QVERIFY2(err.contains(said), qPrintable(err));
    }
#endif
};

QTEST_GUILESS_MAIN(tst_shell)
#include "tst_shell.moc"
