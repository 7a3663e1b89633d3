// The real tarvex-vmodem on its pseudo-terminal, seen from a client.
#include <QtTest>
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

// The program under test plus a client descriptor on its device.
class VModem {
public:
    explicit VModem(const QStringList& args) {
        process.start(QStringLiteral(VMODEM_PATH), args);
        const auto deadline = Clock::now() + kDeadline;
        while (!process.canReadLine() && process.waitForReadyRead(msLeft(deadline))) {
        }
        path = QString::fromUtf8(process.readLine()).trimmed();
    }
    ~VModem() {
        closeClient();
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }

    bool openClient() {
        fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        return fd >= 0;
    }
    void closeClient() {
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
    long cpuTicks() const {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(process.processId()));
        if (!stat.open(QIODevice::ReadOnly)) {
            return -1;
        }
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        return fields.value(11).toLong() + fields.value(12).toLong(); // utime + stime
    }

    QProcess process;
    QString path;
    int fd = -1;
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
};

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
