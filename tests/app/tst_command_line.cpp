// The command line, read once into one request: every refusal, the window's options
// beside Qt's own, and where "--" ends the options.

#include "app/command_line.h"
#include "platform/port_names.h"

#include <QTemporaryFile>
#include <QTest>

using namespace tarvex;

Q_DECLARE_METATYPE(tarvex::ShellRequest::Command)

namespace {

Request parsed(const QStringList& arguments) {
    return parseCommandLine(QStringList{QStringLiteral("tarvex")} + arguments);
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(file_.open()); }

    // A wrong command line for the shell: refused with the reason, before anything
    // is opened (the shell then exits 64).
    void refusal_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("said");
        const QString longNumber = QStringLiteral("+1234567890123456789012");
        QTest::newRow("unknown option") << QStringList{"--check", "COM1", "--frob"} << "frob";
        QTest::newRow("no PORT") << QStringList{"--check"} << "--check";
        QTest::newRow("no NUMBER") << QStringList{"--send", "COM1"} << "NUMBER and TEXT";
        QTest::newRow("no TEXT") << QStringList{"--send", "COM1", "+1555"} << "needs TEXT";
        QTest::newRow("COM0") << QStringList{"--check", "COM0"} << "COM0: no such port";
        // PORT beyond the entries: on Linux a path, a file or a folder refused before
        // anything opens it; on Windows any COM port is a device, a path none.
        if (namesADevice(QStringLiteral("/tmp"))) {
            QTest::newRow("COM99") << QStringList{"--check", "COM99"} << "COM99: no such port";
            QTest::newRow("a file") << QStringList{"--check", "FILE"} << "(it is a file)";
            QTest::newRow("a folder") << QStringList{"--check", "/tmp"} << "(it is a folder)";
            QTest::newRow("status not a tty, for Nagios")
                << QStringList{"--status", "FILE", "--format", "nagios"} << "(it is a file)";
        } else {
            QTest::newRow("a path") << QStringList{"--check", "/tmp"} << "/tmp: no such port";
            QTest::newRow("a path, for Nagios")
                << QStringList{"--status", "/tmp", "--format", "nagios"} << "no such port";
        }
        QTest::newRow("quote in number")
            << QStringList{"--send", "COM1", "+91\"\r\nATD112;", "hi"} << "Invalid Mobile Number";
        QTest::newRow("number too long") << QStringList{"--send", "COM1", longNumber, "hi"}
                                         << "Invalid Mobile Number: 23 characters, at most 21";
        QTest::newRow("text too long") << QStringList{"--send", "COM1", "+1555", QString(35, 'x')}
                                       << "Invalid SMS Data: 35 characters, at most 34";
        QTest::newRow("text not ASCII")
            << QStringList{"--send", "COM1", "+1555", "Grüße"} << "Invalid SMS Data";
        QTest::newRow("empty text")
            << QStringList{"--send", "COM1", "+1555", ""} << "Enter SMS Data";
        QTest::newRow("text in words")
            << QStringList{"--send", "COM1", "+1555", "Hello", "there"}
            << "put it in quotes, as in tarvex --send COM1 +1555 \"Hello there\"";
        QTest::newRow("check takes no more")
            << QStringList{"--check", "COM1", "extra"} << "--check takes only PORT";
        QTest::newRow("no tries") << QStringList{"--check", "COM1", "--tries", "0"} << "--tries";
        QTest::newRow("tries not a number")
            << QStringList{"--check", "COM1", "--tries=x"} << "not \"x\"";
        QTest::newRow("tries to send")
            << QStringList{"--send", "COM1", "+1", "hi", "--tries", "2"} << "--tries goes";
        QTest::newRow("check and send")
            << QStringList{"--check", "COM1", "--send", "COM1"} << "give one of them";
        QTest::newRow("status and check")
            << QStringList{"--status", "COM1", "--check", "COM1"} << "give one of them";
        QTest::newRow("format xml") << QStringList{"--status", "COM1", "--format", "xml"}
                                    << "--format is text, json, nagios or prometheus, not \"xml\"";
        QTest::newRow("warning below critical")
            << QStringList{"--status", "COM1", "--warning=-100", "--critical=-90"}
            << "--warning (-100 dBm) is below --critical (-90 dBm)";
        QTest::newRow("dBm out of range")
            << QStringList{"--status", "COM1", "--critical", "20"} << "not \"20\"";
        QTest::newRow("no timeout")
            << QStringList{"--status", "COM1", "--timeout", "0"} << "--timeout takes seconds";
        QTest::newRow("format without status")
            << QStringList{"--check", "COM1", "--format", "json"} << "--format goes with --status";
        QTest::newRow("tries to status")
            << QStringList{"--status", "COM1", "--tries", "2"} << "--status asks once";
        QTest::newRow("not a line speed") << QStringList{"--check", "COM1", "--baud", "115000"}
                                          << "--baud takes a line speed of 1200, 2400";
        QTest::newRow("scan with a speed")
            << QStringList{"--scan", "--baud", "115200"} << "--baud does not go with --scan";
        QTest::newRow("scan and check")
            << QStringList{"--scan", "--check", "COM1"} << "--check does not go with --scan";
        QTest::newRow("scan for Nagios")
            << QStringList{"--scan", "--format", "prometheus"} << "text or json with --scan";
        QTest::newRow("all and named ports")
            << QStringList{"--scan", "--all", "COM3"} << "--all goes with a scan that names no";
        QTest::newRow("all without scan")
            << QStringList{"--check", "COM3", "--all"} << "--all goes with --scan";
        QTest::newRow("scan a word") << QStringList{"--scan", "modem"} << "modem: no such port";
        if (namesADevice(QStringLiteral("/tmp"))) {
            QTest::newRow("scan a file") << QStringList{"--scan", "FILE"} << "(it is a file)";
            QTest::newRow("scan no tty")
                << QStringList{"--scan", "/dev/null"} << "(it is a device that is no terminal)";
            QTest::newRow("scan one's own terminal")
                << QStringList{"--scan", "/dev/tty"}
                << "(it is a terminal of this machine's own, no serial line)";
        }
        QTest::newRow("unknown option, for Nagios")
            << QStringList{"--status", "COM1", "--format", "nagios", "--bogus"} << "bogus";
    }
    void refusal() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, said);
        const Request request = parsed(arguments.replaceInStrings("FILE", file_.fileName()));
        const auto* refusal = std::get_if<Refusal>(&request);
        QVERIFY(refusal);
        QVERIFY2(refusal->why.contains(said), qPrintable(refusal->why));
        QVERIFY(refusal->shell);
        // A monitoring plugin's wrong command line is its UNKNOWN (exit 3), not 64.
        QCOMPARE(refusal->nagios, arguments.contains(QStringLiteral("nagios")));
    }

    // --status's options: the defaults a monitoring system gets, and negative dBm as
    // values rather than options.
    void statusOptions() {
        const auto defaults = std::get<ShellRequest>(parsed({"--status", "COM2"}));
        QCOMPARE(defaults.command, ShellRequest::Command::Status);
        QCOMPARE(defaults.format, ShellRequest::Format::Text);
        QCOMPARE(defaults.warningDbm, -90);
        QCOMPARE(defaults.criticalDbm, -100);
        QCOMPARE(defaults.timeoutSeconds, 30);
        QVERIFY(defaults.output.isEmpty());
        const auto given = std::get<ShellRequest>(
            parsed({"--status", "COM2", "--format", "prometheus", "--warning", "-85", "--critical",
                    "-95", "--timeout", "10", "--output", "/tmp/tarvex.prom"}));
        QCOMPARE(given.format, ShellRequest::Format::Prometheus);
        QCOMPARE(given.warningDbm, -85);
        QCOMPARE(given.criticalDbm, -95);
        QCOMPARE(given.timeoutSeconds, 10);
        QCOMPARE(given.output, QStringLiteral("/tmp/tarvex.prom"));
    }

    // What runs: the shell's command with its values, or the window, or a text.
    void request_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("kind");  // window, check, send, help, version
        QTest::addColumn<QString>("value"); // the port, or what --send sends
        QTest::newRow("nothing") << QStringList{} << "window" << QString();
        QTest::newRow("Qt's options are the window's")
            << QStringList{"-platform", "vnc", "-style=fusion", "--reverse"} << "window"
            << QString();
        QTest::newRow("a word for the window") << QStringList{"word"} << "window" << QString();
        QTest::newRow("check") << QStringList{"--check", "com3"} << "check"
                               << "3";
        QTest::newRow("check with =") << QStringList{"--check=COM40"} << "check"
                                      << "40";
        QTest::newRow("send") << QStringList{"--send", "COM2", "+1555", "Hi"} << "send"
                              << "2 +1555 Hi";
        QTest::newRow("a text that looks like an option")
            << QStringList{"--send", "COM1", "+1555", "--", "-v"} << "send"
            << "1 +1555 -v";
        QTest::newRow("a text like a Qt option")
            << QStringList{"--send", "COM1", "+1555", "--", "-style"} << "send"
            << "1 +1555 -style";
        QTest::newRow("help") << QStringList{"--check", "COM1", "-h"} << "help" << QString();
        QTest::newRow("version") << QStringList{"--version"} << "version" << QString();
        QTest::newRow("help after -- is a text")
            << QStringList{"--send", "COM1", "+1555", "--", "--help"} << "send"
            << "1 +1555 --help";
        QTest::newRow("--check after -- is no command")
            << QStringList{"--", "--check", "COM1"} << "window" << QString();
    }
    void request() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, kind);
        QFETCH(QString, value);
        const Request request = parsed(arguments);
        if (const auto* refusal = std::get_if<Refusal>(&request))
            QFAIL(qPrintable(refusal->why));
        QString got;
        QString gotValue;
        if (std::holds_alternative<WindowRequest>(request)) {
            got = QStringLiteral("window");
        } else if (const auto* text = std::get_if<TextRequest>(&request)) {
            got = text->kind == TextRequest::Kind::Help ? QStringLiteral("help")
                                                        : QStringLiteral("version");
        } else {
            const auto& shell = std::get<ShellRequest>(request);
            got = shell.commandName();
            gotValue = QString::number(shell.port);
            if (shell.command == ShellRequest::Command::Send)
                gotValue += QLatin1Char(' ') + shell.number + QLatin1Char(' ') + shell.text;
        }
        QCOMPARE(got, kind);
        QCOMPARE(gotValue, value);
    }

    // A device given as PORT reaches the dialogue as a value, the process's
    // environment untouched; -platform tells the window that Qt chooses.
    void valuesNotEnvironment() {
        const QString device = QStringLiteral("/dev/null");
        const Request request = parsed({QStringLiteral("--check"), device});
        if (const auto* refusal = std::get_if<Refusal>(&request)) {
            // /dev/null is a character device, but no tty: a refusal names it.
            QVERIFY2(refusal->why.contains(device), qPrintable(refusal->why));
        } else {
            const auto& shell = std::get<ShellRequest>(request);
            QCOMPARE(shell.device, device);
        }
        QVERIFY(qEnvironmentVariableIsEmpty("TARVEX_COM1"));
        qunsetenv("QT_QPA_PLATFORM");
        const Request window = parsed({QStringLiteral("-platform"), QStringLiteral("vnc")});
        QVERIFY(std::get<WindowRequest>(window).platformChosen);
        const bool chosenByNobody = std::get<WindowRequest>(parsed({})).platformChosen;
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QVERIFY(!chosenByNobody);
        QVERIFY(std::get<WindowRequest>(parsed({})).platformChosen);
    }

    // --baud reaches the window and every shell command; without it, 9600.
    void lineSpeed() {
        QCOMPARE(std::get<ShellRequest>(parsed({"--check", "COM1"})).baud, 9600);
        QCOMPARE(std::get<ShellRequest>(parsed({"--status", "COM1", "--baud", "115200"})).baud,
                 115200);
        QCOMPARE(std::get<ShellRequest>(parsed({"--send", "COM1", "+1", "x", "--baud=57600"})).baud,
                 57600);
        QCOMPARE(std::get<WindowRequest>(parsed({"--baud", "115200"})).baud, 115200);
        QCOMPARE(std::get<WindowRequest>(parsed({})).baud, 9600);
        const auto refusal = std::get<Refusal>(parsed({"--baud", "9601"}));
        QVERIFY(!refusal.shell); // the window's own start option
    }

    // --scan's ports: each with the entry that reaches it, or none; none named, the
    // system's choice.
    void scanPorts() {
        const auto chosen = std::get<ScanRequest>(parsed({"--scan"}));
        QVERIFY(chosen.ports.isEmpty());
        QVERIFY(!chosen.all);
        QVERIFY(!chosen.json);
        QVERIFY(std::get<ScanRequest>(parsed({"--scan", "--all", "--format=json"})).all);
        // A device reached by COM9 and then by no entry; nothing opens it, and a device
        // that is not there is the scan's to report.
        const QString device = namesADevice(QStringLiteral("/dev/tty"))
                                   ? QStringLiteral("/dev/tarvex-no-such-port")
                                   : "COM47";
        qputenv("TARVEX_COM9", device.toLocal8Bit());
        const auto named = std::get<ScanRequest>(parsed({"--scan", "com2", device, "--", "COM9"}));
        qunsetenv("TARVEX_COM9");
        QCOMPARE(named.ports.size(), 3);
        QCOMPARE(named.ports[0].entry, 2);
        QCOMPARE(named.ports[0].device, deviceForPort(2));
        QCOMPARE(named.ports[1].device, device);
        QCOMPARE(named.ports[1].entry, 9);
        QCOMPARE(named.ports[2].device, device);
    }

    void logOptions() {
        const auto request =
            std::get<ShellRequest>(parsed({"--check", "COM1", "--no-log", "--log-personal-info"}));
        QVERIFY(!request.log.log);
        QVERIFY(request.log.personalData);
        const auto window = std::get<WindowRequest>(parsed({}));
        QVERIFY(window.log.log);
        QVERIFY(!window.log.personalData);
    }

private:
    QTemporaryFile file_;
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
