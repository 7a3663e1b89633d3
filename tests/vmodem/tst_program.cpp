// The real tarvex-vmodem on its pseudo-terminal, seen from a client.
#include "qtry.h"
#include "virtual_modem.h"

#include <QtTest>
#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kDeadline = std::chrono::seconds(10);

int msLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return int(std::max<long long>(0, left.count()));
}

// /proc/PID/stat's fields after the command's name: state, parent, ...; none once
// the process is gone.
QList<QByteArray> statFields(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2).split(' ');
}

QList<pid_t> childrenOf(pid_t parent) {
    QList<pid_t> children;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool isPid = false;
        const pid_t pid = pid_t(entry.toInt(&isPid));
        if (isPid && statFields(pid).value(1).toInt() == parent) {
            children << pid;
        }
    }
    return children;
}

// Gone, or a zombie: it holds nothing open any more, it only waits to be reaped by
// whoever adopted it.
bool ended(pid_t pid) {
    const QList<QByteArray> fields = statFields(pid);
    return fields.isEmpty() || fields[0] == "Z";
}

// The whole lines in `bytes`, without their CR LF; a line still coming is left out.
QList<QByteArray> lines(const QByteArray& bytes) {
    QList<QByteArray> whole = bytes.split('\n');
    whole.removeLast();
    for (QByteArray& line : whole) {
        if (line.endsWith('\r')) {
            line.chop(1);
        }
    }
    return whole;
}

// A client descriptor on one device.
class Client {
public:
    Client() = default;
    explicit Client(const QString& path) { open(path); }
    ~Client() { close(); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool open(const QString& path) {
        fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        return fd >= 0;
    }
    void close() {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
    // As a program sets its serial port's speed, both ways.
    bool setSpeed(speed_t speed) const {
        termios tio{};
        return ::tcgetattr(fd, &tio) == 0 && ::cfsetispeed(&tio, speed) == 0 &&
               ::cfsetospeed(&tio, speed) == 0 && ::tcsetattr(fd, TCSANOW, &tio) == 0;
    }
    bool send(const QByteArray& bytes) const {
        return ::write(fd, bytes.constData(), std::size_t(bytes.size())) == bytes.size();
    }
    // Reads until `want` has arrived, or nothing more comes before `wait` runs out.
    QByteArray receive(const QByteArray& want, std::chrono::milliseconds wait = kDeadline) {
        return receiveUntil([&](const QByteArray& got) { return got.contains(want); }, wait);
    }
    QByteArray receiveBytes(qsizetype count) {
        return receiveUntil([&](const QByteArray& got) { return got.size() >= count; }, kDeadline);
    }
    template <typename Done> QByteArray receiveUntil(Done done, std::chrono::milliseconds wait) {
        const auto deadline = Clock::now() + wait;
        QByteArray got;
        while (!done(got)) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, msLeft(deadline)) <= 0 || (p.revents & POLLIN) == 0) {
                break;
            }
            char buffer[256];
            const auto n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            got.append(buffer, n);
        }
        return got;
    }
    // Everything that arrives within `wait`.
    QByteArray receiveFor(std::chrono::milliseconds wait) {
        return receiveUntil([](const QByteArray&) { return false; }, wait);
    }

    int fd = -1;
};

// The program under test plus a client descriptor on its (first) device.
class VModem : public Client {
public:
    explicit VModem(const QStringList& args) {
        process.start(QStringLiteral(VMODEM_PATH), args);
        const auto deadline = Clock::now() + kDeadline;
        const qsizetype ports = args.contains(QStringLiteral("--usb-modem")) ? 4 : 1;
        while (paths.size() < ports) {
            while (!process.canReadLine() && process.waitForReadyRead(msLeft(deadline))) {
            }
            if (!process.canReadLine()) {
                break;
            }
            paths << QString::fromUtf8(process.readLine()).trimmed();
        }
        path = paths.value(0);
    }
    ~VModem() {
        closeClient();
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }

    bool openClient() { return open(path); }
    void closeClient() { close(); }
    long cpuTicks() const {
        const QList<QByteArray> fields = statFields(pid_t(process.processId()));
        if (fields.isEmpty()) {
            return -1;
        }
        return fields.value(11).toLong() + fields.value(12).toLong(); // utime + stime
    }

    QProcess process;
    QString path;
    QStringList paths;
};

// The number of bytes the modem has received by the record of --stamps (lines
// without " sent"), waiting until there are `count` of them.
bool stampedReceived(const QString& path, qsizetype count) {
    const auto deadline = Clock::now() + kDeadline;
    for (;;) {
        QFile file(path);
        qsizetype received = 0;
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : file.readAll().split('\n')) {
                received += !line.isEmpty() && !line.endsWith(" sent");
            }
        }
        if (received >= count) {
            return received == count;
        }
        if (Clock::now() > deadline) {
            return false;
        }
        QThread::msleep(5);
    }
}

bool exists(const QString& path) {
    struct stat st = {};
    return ::lstat(path.toLocal8Bit().constData(), &st) == 0;
}

} // namespace

class TestProgram : public QObject {
    Q_OBJECT

private slots:
    void talksAndSurvivesReopen() {
        VModem modem({});
        QVERIFY(modem.path.startsWith("/dev/"));
        QVERIFY(modem.openClient());
        QVERIFY(modem.send("AT\r"));
        QCOMPARE(modem.receive("OK\r\n"), "AT\r\r\nOK\r\n");
        QVERIFY(modem.send("ATE0\rAT+CMGF=1\r"));
        QCOMPARE(modem.receive("OK\r\n\r\nOK\r\n"), "ATE0\r\r\nOK\r\n\r\nOK\r\n");
        QVERIFY(modem.send("AT+CMGS=\"+4917\"\r"));
        QCOMPARE(modem.receive("> "), "\r\n> ");
        QVERIFY(modem.send("Gr\xc3\xbc\xc3\x9f \"dich\"\x1a"));
        QCOMPARE(modem.receive("OK\r\n"), "\r\n+CMGS: 1\r\n\r\nOK\r\n");

        // The log line is written before the answer, so it is there now.
        QVERIFY(modem.process.canReadLine() || modem.process.waitForReadyRead(10'000));
        const QJsonObject logged = QJsonDocument::fromJson(modem.process.readLine()).object();
        QCOMPARE(logged["number"].toString(), "+4917");
        QCOMPARE(logged["text"].toString(), QString::fromLatin1("Gr\xc3\xbc\xc3\x9f \"dich\""));
        QCOMPARE(logged["mr"].toInt(), 1);
        QVERIFY(QDateTime::fromString(logged["time"].toString(), Qt::ISODate).isValid());

        modem.closeClient();
        QVERIFY(modem.openClient());
        QVERIFY(modem.send("AT+CMGF?\r"));
        QCOMPARE(modem.receive("OK\r\n"), "\r\n+CMGF: 1\r\n\r\nOK\r\n");

        // Idle with the client closed: poll() must block, not spin.
        modem.closeClient();
        const long before = modem.cpuTicks();
        QVERIFY(before >= 0);
        QVERIFY(modem.openClient());
        QCOMPARE(modem.receive("never", std::chrono::milliseconds(500)), QByteArray());
        QVERIFY2(modem.cpuTicks() - before <= 5, "the modem burns CPU while idle");
    }

    // A real modem keeps a line cut short by a closed port until the next CR, and
    // the next client's command is appended to it. The record shows what ran.
    void keepsUnfinishedLineAcrossReopen() {
        VModem modem({"--log-commands"});
        QVERIFY(modem.openClient());
        QVERIFY(modem.send("AT+CMGF=1\r"));
        QCOMPARE(modem.receive("OK\r\n"), "AT+CMGF=1\r\r\nOK\r\n");
        QVERIFY(modem.send("AT+CMGS=\"+1555"));
        QCOMPARE(modem.receive("1555"), "AT+CMGS=\"+1555"); // the modem has it
        modem.closeClient();
        QVERIFY(modem.openClient());
        QVERIFY(modem.send("AT\r"));
        QCOMPARE(modem.receive("ERROR\r\n"), "AT\r\r\nERROR\r\n");
        QVERIFY(modem.send("AT\r"));
        QCOMPARE(modem.receive("OK\r\n"), "AT\r\r\nOK\r\n");

        QStringList commands;
        while (commands.size() < 3 &&
               (modem.process.canReadLine() || modem.process.waitForReadyRead(10'000))) {
            commands << QJsonDocument::fromJson(modem.process.readLine())["command"].toString();
        }
        QCOMPARE(commands, (QStringList{"AT+CMGF=1", "AT+CMGS=\"+1555AT", "AT"}));
    }

    void delayKeepsEchoImmediate() {
        VModem modem({"--delay", "400"});
        QVERIFY(modem.openClient());
        const auto start = Clock::now();
        QVERIFY(modem.send("AT\r"));
        QCOMPARE(modem.receive("AT\r"), "AT\r");
        QCOMPARE(modem.receive("OK\r\n"), "\r\nOK\r\n");
        QVERIFY(Clock::now() - start >= std::chrono::milliseconds(400));
    }

    void noiseIsReproducibleAndSilentAnswersNothing() {
        const QStringList args{"--silent", "--noise", "300", "--seed", "42"};
        VModem first(args);
        VModem second(args);
        QVERIFY(first.openClient() && second.openClient());
        // Nothing until the program speaks: what a port holds before it opens is dropped.
        QCOMPARE(first.receive("never", std::chrono::milliseconds(300)), QByteArray());
        QVERIFY(first.send("AT\r") && second.send("AT\r"));
        const QByteArray noise = first.receiveBytes(300);
        QCOMPARE(noise.size(), 300);
        QVERIFY(noise.contains('\0') || noise.contains('\xff'));
        QCOMPARE(second.receiveBytes(300), noise);

        QVERIFY(first.send("AT\r"));
        QCOMPARE(first.receive("never", std::chrono::milliseconds(300)), QByteArray());
    }

    // A UART modem hears only the rate it is fixed at. What comes at another is line
    // noise: nothing echoed, answered or run, and nothing of it left in the line the
    // modem is typing for the next command.
    void rate_data() {
        QTest::addColumn<QString>("rate");
        QTest::addColumn<speed_t>("wrong");
        QTest::addColumn<speed_t>("right");
        QTest::newRow("SIM7600 HAT at 115200, program at 9600")
            << "115200" << speed_t(B9600) << speed_t(B115200);
        QTest::newRow("fixed at 9600, program at 115200")
            << "9600" << speed_t(B115200) << speed_t(B9600);
        QTest::newRow("921600, program one step below")
            << "921600" << speed_t(B460800) << speed_t(B921600);
    }

    void rate() {
        QFETCH(QString, rate);
        QFETCH(speed_t, wrong);
        QFETCH(speed_t, right);
        QTemporaryDir dir;
        const QString stamps = dir.filePath("stamps");
        VModem modem({"--rate", rate, "--log-commands", "--stamps", stamps});
        QVERIFY(modem.openClient());

        QVERIFY(modem.setSpeed(wrong));
        QVERIFY(modem.send("AT\r"));
        QCOMPARE(modem.receive("never", std::chrono::milliseconds(500)), QByteArray());

        // Half a command: kept, it would spoil the AT below into an ERROR. The record
        // shows the modem has read it before the speed changes.
        QVERIFY(modem.send("AT+CMGF=1"));
        QVERIFY(stampedReceived(stamps, 12));
        QVERIFY(modem.setSpeed(right));
        QVERIFY(modem.send("AT\r"));
        QCOMPARE(modem.receive("OK\r\n"), "AT\r\r\nOK\r\n");

        // Deaf again once the program leaves the rate: ATE0 must not run, so the
        // echo stays on. Any echo or answer to it would come ahead of this one.
        QVERIFY(modem.setSpeed(wrong));
        QVERIFY(modem.send("ATE0\r"));
        QVERIFY(stampedReceived(stamps, 12 + 3 + 5));
        QVERIFY(modem.setSpeed(right));
        QVERIFY(modem.send("AT\r"));
        QCOMPARE(modem.receive("OK\r\n"), "AT\r\r\nOK\r\n");

        QStringList commands;
        while (commands.size() < 2 &&
               (modem.process.canReadLine() || modem.process.waitForReadyRead(10'000))) {
            commands << QJsonDocument::fromJson(modem.process.readLine())["command"].toString();
        }
        QCOMPARE(commands, (QStringList{"AT", "AT"}));
    }

    // Without --rate the modem answers whatever speed the program sets, as a USB
    // modem's port does.
    void withoutRateAnySpeedIsHeard() {
        VModem modem({});
        QVERIFY(modem.openClient());
        for (const speed_t speed : {B1200, B9600, B115200, B921600}) {
            QVERIFY(modem.setSpeed(speed));
            QVERIFY(modem.send("AT\r"));
            QCOMPARE(modem.receive("OK\r\n"), "AT\r\r\nOK\r\n");
        }
    }

    void vanishes_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("input");
        QTest::newRow("after bytes")
            << QStringList{"--vanish-after-bytes", "3"} << QByteArray("AT\r");
        QTest::newRow("after ms") << QStringList{"--vanish-after-ms", "1000"} << QByteArray();
    }

    void vanishes() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, input);
        QTemporaryDir dir;
        const QString link = dir.filePath("modem");
        VModem modem(args + QStringList{"--link", link});
        QVERIFY(modem.openClient());
        QVERIFY(exists(link));
        QVERIFY(input.isEmpty() || modem.send(input));

        // A pulled cable: reads give what was already on its way, then end of file or
        // EIO. Which of the two depends on whether the hang-up overtook a read between
        // poll() and read(), so both are what a pulled cable looks like.
        const auto deadline = Clock::now() + kDeadline;
        const auto ended = [](ssize_t n) { return n == 0 || (n < 0 && errno == EIO); };
        for (;;) {
            pollfd p{modem.fd, POLLIN, 0};
            QVERIFY2(::poll(&p, 1, msLeft(deadline)) > 0, "the line did not hang up");
            char drain[256];
            const auto n = ::read(modem.fd, drain, sizeof drain);
            if (ended(n))
                break;
            QVERIFY2(n > 0 || errno == EAGAIN || errno == EINTR, std::strerror(errno));
        }
        // And it stays hung up.
        pollfd p{modem.fd, POLLIN, 0};
        QCOMPARE(::poll(&p, 1, 0), 1);
        QVERIFY(p.revents & POLLHUP);
        char byte;
        QVERIFY(ended(::read(modem.fd, &byte, 1)));
        QVERIFY(!exists(modem.path));

        QVERIFY(modem.process.waitForFinished(10'000));
        QCOMPARE(modem.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(modem.process.exitCode(), 0);
        QVERIFY(!exists(link));
    }

    void terminatesCleanly_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }

    void terminatesCleanly() {
        QFETCH(int, signal);
        QTemporaryDir dir;
        const QString link = dir.filePath("modem");
        VModem modem({"--link", link});
        // A modem that never started has PID 0, and kill(0) would signal the whole
        // process group: ctest and CI with it.
        const pid_t pid = pid_t(modem.process.processId());
        QVERIFY2(pid > 0 && !modem.path.isEmpty(), qPrintable(modem.process.errorString()));
        QCOMPARE(QFileInfo(link).symLinkTarget(), modem.path);
        QCOMPARE(::kill(pid, signal), 0);
        QVERIFY(modem.process.waitForFinished(10'000));
        QCOMPARE(modem.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(modem.process.exitCode(), 0);
        QVERIFY(!exists(link));
    }

    // Each kind of port, on its own and as a port of a USB modem, as a port scan sees
    // it: what it says unasked, then what it answers to the probe, ESC and AT. Only
    // an AT port may answer OK; a GPS's "ANTSTATUS=OK" must not look like one.
    void portKinds_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("kind");
        QTest::newRow("at") << QStringList{} << 0 << "at";
        QTest::newRow("nmea") << QStringList{"--answer-as", "nmea"} << 0 << "nmea";
        QTest::newRow("diag") << QStringList{"--answer-as", "diag"} << 0 << "diag";
        QTest::newRow("nul") << QStringList{"--answer-as", "nul"} << 0 << "nul";
        QTest::newRow("silent") << QStringList{"--silent"} << 0 << "silent";
        const QStringList usb{"--usb-modem"};
        QTest::newRow("USB modem if00") << usb << 0 << "diag";
        QTest::newRow("USB modem if01") << usb << 1 << "nmea";
        QTest::newRow("USB modem if02") << usb << 2 << "at";
        QTest::newRow("USB modem if03") << usb << 3 << "silent";
    }

    void portKinds() {
        QFETCH(QStringList, args);
        QFETCH(int, port);
        QFETCH(QString, kind);
        VModem modem(args);
        QVERIFY(port < modem.paths.size());
        Client client(modem.paths[port]);
        QVERIFY(client.fd >= 0);
        const QByteArray unasked = client.receiveFor(std::chrono::milliseconds(700));
        QVERIFY(client.send("\x1b"
                            "AT\r"));
        if (kind == "at") {
            QCOMPARE(unasked, QByteArray());
            QCOMPARE(client.receive("OK\r\n"), "\x1b"
                                               "AT\r\r\nOK\r\n");
            return;
        }
        const QByteArray answer = client.receiveFor(std::chrono::milliseconds(700));
        const QList<QByteArray> said = lines(unasked + answer);
        QVERIFY(!said.contains("OK"));
        if (kind == "nmea") {
            QVERIFY(unasked.contains("ANTSTATUS=OK"));
            QVERIFY2(said.size() >= 6, unasked.constData());
            // Sentences whole, one a line (their checksums are tst_modem's).
            for (const QByteArray& line : said) {
                QVERIFY2(line.startsWith("$GP") && line.size() > 3 &&
                             line.at(line.size() - 3) == '*',
                         line.constData());
            }
        } else if (kind == "diag") {
            QCOMPARE(unasked, QByteArray());
            QVERIFY2(answer.startsWith('\x13') && answer.endsWith('\x7e'), answer.toHex(' '));
            QVERIFY(std::ranges::any_of(answer, [](char c) { return uchar(c) > 0x7f; }));
        } else if (kind == "nul") {
            QVERIFY2(unasked.size() >= 100, QByteArray::number(unasked.size()));
            QCOMPARE(unasked + answer, QByteArray(unasked.size() + answer.size(), '\0'));
        } else {
            QCOMPARE(unasked + answer, QByteArray());
        }
    }

    // Each port of a USB modem stamps what it received in a file of its own; the AT
    // port's commands go to --log and --trace as a single modem's do, the others' not.
    void usbModemPortsKeepTheirOwnRecords() {
        tarvex::testing::VirtualModem modem({"--usb-modem", "--log-commands"});
        const QStringList devices = modem.devices();
        QCOMPARE(QSet<QString>(devices.begin(), devices.end()).size(), 4);
        QCOMPARE(modem.device(), devices[0]);
        for (int n = 0; n < 4; ++n) {
            QVERIFY(devices[n].startsWith("/dev/"));
            Client client(devices[n]);
            const QByteArray sent = "AT+PORT=" + QByteArray::number(n) + "\r";
            QVERIFY(client.send(sent));
            QTRY_COMPARE(modem.bytes(false, n), sent);
        }
        QCOMPARE(modem.bytes(false), QByteArray());
        QTRY_VERIFY(modem.bytes(true, 0).startsWith('\x13'));
        QTRY_VERIFY(modem.bytes(true, 1).startsWith("$GP"));
        QTRY_COMPARE(modem.bytes(true, 2), "AT+PORT=2\r\r\nERROR\r\n");
        QCOMPARE(modem.bytes(true, 3), QByteArray());

        QTRY_COMPARE(modem.messages().size(), 1);
        const QList<QJsonObject> logged = modem.messages();
        QCOMPARE(logged[0]["command"].toString(), "AT+PORT=2");
        QTRY_VERIFY(modem.trace().contains("AT+PORT=2"));
        QVERIFY(!modem.trace().contains("AT+PORT=0"));
    }

    // A USB modem's ports end together, and none outlives the program: not on a
    // signal, not when the AT port vanishes (the cable pulled), not when the program
    // is killed outright.
    void usbModemEndsWhole_data() {
        QTest::addColumn<int>("signal"); // 0: none, the AT port vanishes
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
        QTest::newRow("SIGKILL") << SIGKILL;
        QTest::newRow("AT port vanishes") << 0;
    }

    void usbModemEndsWhole() {
        QFETCH(int, signal);
        QTemporaryDir dir;
        const QString link = dir.filePath("modem");
        QStringList args{"--usb-modem", "--link", link};
        if (signal == 0) {
            // Time enough for the checks below to open every port first, under an
            // emulator too.
            args << "--vanish-after-ms"
                 << "3000";
        }
        VModem modem(args);
        // See terminatesCleanly: never kill(0).
        const pid_t pid = pid_t(modem.process.processId());
        QVERIFY2(pid > 0 && modem.paths.size() == 4, qPrintable(modem.process.errorString()));
        QList<pid_t> ports;
        QVERIFY(QTest::qWaitFor([&] { return (ports = childrenOf(pid)).size() == 4; }, 10'000));
        // A client on each port holds its number: other suites running beside this one
        // open pseudo-terminals too, and a number given back could be handed out again
        // before the check below.
        std::array<Client, 4> clients;
        for (int n = 0; n < 4; ++n) {
            QCOMPARE(QFileInfo(link + ".if0" + QString::number(n)).symLinkTarget(), modem.paths[n]);
            QVERIFY(clients[n].open(modem.paths[n]));
        }

        if (signal != 0) {
            QCOMPARE(::kill(pid, signal), 0);
        }
        QVERIFY(modem.process.waitForFinished(10'000));
        QVERIFY(QTest::qWaitFor([&] { return std::ranges::all_of(ports, ended); }, 10'000));
        for (int n = 0; n < 4; ++n) {
            // A process's first thread can show as ended while its others still hold
            // its files (qemu-user's do): the hang-up may come a little later.
            pollfd p{clients[n].fd, 0, 0};
            QCOMPARE(::poll(&p, 1, 10'000), 1);
            QVERIFY2(p.revents & POLLHUP, qPrintable(modem.paths[n]));
            QVERIFY2(!exists(modem.paths[n]), qPrintable(modem.paths[n]));
        }
        if (signal != SIGKILL) {
            QCOMPARE(modem.process.exitStatus(), QProcess::NormalExit);
            QCOMPARE(modem.process.exitCode(), 0);
            for (int n = 0; n < 4; ++n) {
                QVERIFY(!exists(link + ".if0" + QString::number(n)));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
