// The modem's command interpreter, bytes in and bytes out, without a pty.
#include "json_line.h"
#include "line_rate.h"
#include "modem.h"
#include "options.h"
#include "ports.h"

#include <QtTest>

using namespace tarvex::vmodem;

namespace {

struct Recorder final : ModemSink {
    QByteArray out;
    QStringList messages;

    void echo(std::string_view bytes) override {
        out.append(bytes.data(), qsizetype(bytes.size()));
    }
    void answer(std::string_view bytes) override {
        out.append(bytes.data(), qsizetype(bytes.size()));
    }
    void accepted(const Message& m) override {
        messages << QString::fromStdString(m.number + "|" + m.text + "|" + std::to_string(m.mr));
    }
    void commandLine(std::string_view) override {}
};

std::string_view view(const QByteArray& bytes) {
    return {bytes.constData(), std::size_t(bytes.size())};
}

const QByteArray ok = "\r\nOK\r\n";
const QByteArray error = "\r\nERROR\r\n";

QByteArray info(const QByteArray& text) {
    return "\r\n" + text + "\r\n" + ok;
}

QByteArray cme(const QByteArray& code) {
    return "\r\n+CME ERROR: " + code + "\r\n";
}

ParsedOptions parse(const QStringList& args) {
    std::vector<std::string> storage;
    for (const QString& a : args) {
        storage.push_back(a.toStdString());
    }
    return parseOptions(std::vector<std::string_view>(storage.begin(), storage.end()));
}

} // namespace

class TestModem : public QObject {
    Q_OBJECT

private slots:
    void commands_data() {
        QTest::addColumn<bool>("echo");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("AT echoed") << true << QByteArray("AT\r") << "AT\r" + ok;
        QTest::newRow("AT") << false << QByteArray("AT\r") << ok;
        QTest::newRow("lower case") << false << QByteArray("at+cgmi\r") << info("Tarvex");
        QTest::newRow("CR LF, LF echoed not run")
            << true << QByteArray("AT\r\nAT\r\n") << "AT\r" + ok + "\nAT\r" + ok + "\n";
        QTest::newRow("backspace edits")
            << true << QByteArray("ATX\bI\r") << "ATX\bI\r" + info("Tarvex VModem 1.0.0");
        QTest::newRow("noise before AT ignored") << false << QByteArray("\0\xff\x1b AT\r", 7) << ok;
        // A port scan's probe: the ESC that would end an SMS prompt, then AT.
        QTest::newRow("ESC before AT echoed, dropped") << true
                                                       << QByteArray("\x1b"
                                                                     "AT\r")
                                                       << "\x1b"
                                                          "AT\r" +
                                                              ok;
        QTest::newRow("line without AT ignored")
            << true << QByteArray("hello\r") << QByteArray("hello\r");
        QTest::newRow("spaces outside quotes") << false << QByteArray("AT + CMGF = 1\r") << ok;
        QTest::newRow("ATE0 echoes itself")
            << true << QByteArray("ATE0\rAT\r") << "ATE0\r" + ok + ok;
        QTest::newRow("ATE1") << false << QByteArray("ATE1\rAT\r") << ok + "AT\r" + ok;
        QTest::newRow("ATZ restores echo, PDU mode")
            << true << QByteArray("ATE0\rAT+CMGF=1\rATZ\rAT+CMGF?\r")
            << "ATE0\r" + ok + ok + ok + "AT+CMGF?\r" + info("+CMGF: 0");
        QTest::newRow("basic commands strung") << false << QByteArray("ATE0V1Q0\r") << ok;
        QTest::newRow("ATI") << false << QByteArray("ATI\r") << info("Tarvex VModem 1.0.0");
        QTest::newRow("CGMM") << false << QByteArray("AT+CGMM\r") << info("VModem");
        QTest::newRow("CGMR") << false << QByteArray("AT+CGMR\r") << info("1.0.0");
        QTest::newRow("CGSN") << false << QByteArray("AT+CGSN\r") << info("356938035643809");
        QTest::newRow("CMEE set and read")
            << false << QByteArray("AT+CMEE=2\rAT+CMEE?\r") << ok + info("+CMEE: 2");
        QTest::newRow("CMEE out of range") << false << QByteArray("AT+CMEE=3\r") << error;
        QTest::newRow("CMGF default") << false << QByteArray("AT+CMGF?\r") << info("+CMGF: 0");
        QTest::newRow("CMGF set and read")
            << false << QByteArray("AT+CMGF=1\rAT+CMGF?\r") << ok + info("+CMGF: 1");
        QTest::newRow("CMGF test") << false << QByteArray("AT+CMGF=?\r") << info("+CMGF: (0,1)");
        QTest::newRow("CMGF bad value") << false << QByteArray("AT+CMGF=2\r") << error;
        QTest::newRow("CMGF without suffix") << false << QByteArray("AT+CMGF\r") << error;
        QTest::newRow("CSCS") << false << QByteArray("AT+CSCS?\r") << info("+CSCS: \"GSM\"");
        QTest::newRow("CSCS unsupported") << false << QByteArray("AT+CSCS=\"UCS2\"\r") << error;
        QTest::newRow("CPIN") << false << QByteArray("AT+CPIN?\r") << info("+CPIN: READY");
        QTest::newRow("CSQ") << false << QByteArray("AT+CSQ\r") << info("+CSQ: 20,99");
        QTest::newRow("unknown") << false << QByteArray("AT+FOO\r") << error;
        QTest::newRow("unknown basic") << false << QByteArray("ATX9\r") << error;
        QTest::newRow("read of exec-only") << false << QByteArray("AT+CGMI?\r") << error;
        // A port closed in the middle of a line leaves it in the modem; the next
        // client's AT completes it.
        QTest::newRow("line cut short, completed by the next AT")
            << false << QByteArray("AT+CMGS=\"+1555AT\r") << error;
        QTest::newRow("unterminated quote runs nothing")
            << false << QByteArray("ATE1+CSCS=\"IRA\rAT+CSCS?\r") << error + info("+CSCS: \"GSM\"");
    }

    void commands() {
        QFETCH(bool, echo);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);
        ModemConfig config;
        config.echoAfterReset = echo;
        Modem modem(config);
        Recorder sink;
        modem.feed(view(input), sink);
        QCOMPARE(sink.out, expected);
    }

    // The states the switches play, read through the readiness queries; the
    // switches go through the real option parser. `elapsedMs` is the time since
    // the modem started.
    void states_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("elapsedMs");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("ready by default")
            << QStringList{} << 0
            << QByteArray("AT+CFUN?\rAT+CPIN?\rAT+CREG?\rAT+CGREG?\rAT+CEREG?\rAT+COPS?\r"
                          "AT+CSQ\rAT+CESQ\rAT+CSCA?\rAT+CMGF=?\r")
            << info("+CFUN: 1") + info("+CPIN: READY") + info("+CREG: 0,0") + info("+CGREG: 0,0") +
                   info("+CEREG: 0,1") + info("+COPS: 0,0,\"Tarvex\",7") + info("+CSQ: 20,99") +
                   info("+CESQ: 99,99,255,255,20,68") + info("+CSCA: \"+447700900100\",145") +
                   info("+CMGF: (0,1)");
        QTest::newRow("PIN: not registered, SMS commands refused")
            << QStringList{"--sim", "pin"} << 0
            << QByteArray("AT+CPIN?\rAT+CEREG?\rAT+CMEE=1\rAT+CMGF=1\rAT+CMGF=?\r")
            << info("+CPIN: SIM PIN") + info("+CEREG: 0,0") + ok + cme("11") + info("+CMGF: (0,1)");
        QTest::newRow("PUK") << QStringList{"--sim", "puk"} << 0
                             << QByteArray("AT+CPIN?\rAT+CSCA?\r")
                             << info("+CPIN: SIM PUK") + error;
        QTest::newRow("no SIM, in each +CMEE form")
            << QStringList{"--sim", "absent"} << 0
            << QByteArray("AT+CPIN?\rAT+CMEE=1\rAT+CPIN?\rAT+CMEE=2\rAT+CIMI\r")
            << error + ok + cme("10") + ok + cme("SIM not inserted");
        QTest::newRow("SIM busy at first")
            << QStringList{"--sim-busy", "5000"} << 4999
            << QByteArray("AT+CMEE=2\rAT+CPIN?\rAT+CMGF=1\rAT+CSQ\r")
            << ok + cme("SIM busy") + cme("SIM busy") + info("+CSQ: 20,99");
        QTest::newRow("SIM ready when busy ends")
            << QStringList{"--sim-busy", "5000"} << 5000 << QByteArray("AT+CPIN?\rAT+CMGF=1\r")
            << info("+CPIN: READY") + ok;
        const QByteArray network = "AT+CEREG?\rAT+COPS?\r";
        const QByteArray noOperator = info("+COPS: 0");
        const QByteArray sms = "AT+CMGF=1\rAT+CMGS=\"1\"\rHi\x1a";
        const QByteArray prompted = ok + "\r\n> ";
        QTest::newRow("roaming") << QStringList{"--registration", "roaming"} << 0 << network
                                 << info("+CEREG: 0,5") + info("+COPS: 0,0,\"Tarvex\",7");
        QTest::newRow("SMS only, sends")
            << QStringList{"--registration", "sms-only"} << 0 << network + sms
            << info("+CEREG: 0,6") + info("+COPS: 0,0,\"Tarvex\",7") + prompted +
                   "\r\n+CMGS: 1\r\n" + ok;
        QTest::newRow("searching, no SMS")
            << QStringList{"--registration", "searching"} << 0 << network + sms
            << info("+CEREG: 0,2") + noOperator + prompted + "\r\n+CMS ERROR: 331\r\n";
        QTest::newRow("denied") << QStringList{"--registration", "denied"} << 0 << network
                                << info("+CEREG: 0,3") + noOperator;
        QTest::newRow("none") << QStringList{"--registration", "none"} << 0 << network
                              << info("+CEREG: 0,0") + noOperator;
        QTest::newRow("GSM, odd dBm rounds down")
            << QStringList{"--technology", "gsm", "--signal", "-74"} << 0
            << QByteArray("AT+CREG?\rAT+CGREG?\rAT+CEREG?\rAT+COPS?\rAT+CSQ\rAT+CESQ\r")
            << info("+CREG: 0,1") + info("+CGREG: 0,1") + info("+CEREG: 0,0") +
                   info("+COPS: 0,0,\"Tarvex\",0") + info("+CSQ: 19,99") +
                   info("+CESQ: 37,99,255,255,255,255");
        QTest::newRow("UMTS") << QStringList{"--technology", "umts"} << 0
                              << QByteArray("AT+CGREG?\rAT+COPS?\rAT+CESQ\r")
                              << info("+CGREG: 0,1") + info("+COPS: 0,0,\"Tarvex\",2") +
                                     info("+CESQ: 99,99,48,37,255,255");
        const QByteArray signal = "AT+CSQ\rAT+CESQ\r";
        QTest::newRow("weakest") << QStringList{"--signal", "-120"} << 0 << signal
                                 << info("+CSQ: 0,99") + info("+CESQ: 99,99,255,255,20,21");
        QTest::newRow("strongest") << QStringList{"--signal=-40"} << 0 << signal
                                   << info("+CSQ: 31,99") + info("+CESQ: 99,99,255,255,20,97");
        QTest::newRow("no signal") << QStringList{"--signal", "none"} << 0 << signal
                                   << info("+CSQ: 99,99") + info("+CESQ: 99,99,255,255,255,255");
        QTest::newRow("radio off, no SMS")
            << QStringList{"--radio-off"} << 0 << "AT+CFUN?\r" + network + signal + sms
            << info("+CFUN: 4") + info("+CEREG: 0,0") + noOperator + info("+CSQ: 99,99") +
                   info("+CESQ: 99,99,255,255,255,255") + prompted + "\r\n+CMS ERROR: 331\r\n";
        QTest::newRow("no SMSC, no SMS")
            << QStringList{"--smsc", "none"} << 0 << "AT+CSCA?\r" + sms
            << info("+CSCA: \"\",129") + prompted + "\r\n+CMS ERROR: 330\r\n";
        QTest::newRow("2G only")
            << QStringList{"--2g-only"} << 0
            << QByteArray("AT+CEREG?\rAT+CEREG=?\rAT+CESQ\rAT+CREG?\rAT+COPS?\rAT+CSQ\r")
            << error + error + error + info("+CREG: 0,1") + info("+COPS: 0,0,\"Tarvex\",0") +
                   info("+CSQ: 20,99");
    }

    void states() {
        QFETCH(QStringList, args);
        QFETCH(int, elapsedMs);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);
        const ParsedOptions parsed = parse(args + QStringList{"--no-echo"});
        QCOMPARE(QString::fromStdString(parsed.error), QString());
        std::chrono::steady_clock::time_point now{};
        Modem modem(parsed.options.modem, [&now] { return now; });
        now += std::chrono::milliseconds(elapsedMs);
        Recorder sink;
        modem.feed(view(input), sink);
        QCOMPARE(sink.out, expected);
        QCOMPARE(sink.messages.size(), expected.contains("+CMGS:") ? 1 : 0);
    }

    void send_data() {
        QTest::addColumn<int>("cmsError"); // -1: none
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QStringList>("messages");

        const QByteArray text = "AT+CMGF=1\r";
        QTest::newRow("accepted, LF after CR not in body")
            << -1 << text + "AT+CMGS=\"+491701234567\"\r\nHello\x1a"
            << ok + "\r\n> \r\n+CMGS: 7\r\n" + ok << QStringList{"+491701234567|Hello|7"};
        QTest::newRow("reference counts up")
            << -1 << text + "AT+CMGS=\"1\"\rA\x1a" + "AT+CMGS=\"2\",129\rB\x1a"
            << ok + "\r\n> \r\n+CMGS: 7\r\n" + ok + "\r\n> \r\n+CMGS: 8\r\n" + ok
            << QStringList{"1|A|7", "2|B|8"};
        QTest::newRow("backspace and newline in body")
            << -1 << text + "at+cmgs=\"+1\"\rHelx\blo\r\nyou\x1a"
            << ok + "\r\n> \r\n+CMGS: 7\r\n" + ok << QStringList{"+1|Hello\r\nyou|7"};
        QTest::newRow("ESC cancels") << -1 << text + "AT+CMGS=\"1\"\rHi\x1b" + "AT\r"
                                     << ok + "\r\n> " + ok + ok << QStringList{};
        QTest::newRow("PDU mode refused")
            << -1
            << QByteArray("AT+CMGS=\"1\"\rHi\x1a"
                          "AT+CMGS=18\r")
            << QByteArray("\r\n+CMS ERROR: 304\r\n\r\n+CMS ERROR: 304\r\n") << QStringList{};
        QTest::newRow("cms error after body")
            << 500 << text + "AT+CMGS=\"1\"\rHi\x1a" + "AT\r"
            << ok + "\r\n> \r\n+CMS ERROR: 500\r\n" + ok << QStringList{};
        QTest::newRow("unquoted number")
            << -1 << text + "AT+CMGS=123\r" << ok + error << QStringList{};
        QTest::newRow("empty number")
            << -1 << text + "AT+CMGS=\"\"\r" << ok + error << QStringList{};
        QTest::newRow("bad address type")
            << -1 << text + "AT+CMGS=\"1\",999\r" << ok + error << QStringList{};
    }

    void send() {
        QFETCH(int, cmsError);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);
        QFETCH(QStringList, messages);
        ModemConfig config;
        config.echoAfterReset = false;
        if (cmsError >= 0) {
            config.cmsError = cmsError;
        }
        config.firstMr = 7;
        Modem modem(config);
        Recorder sink;
        modem.feed(view(input), sink);
        QCOMPARE(sink.out, expected);
        QCOMPARE(sink.messages, messages);
    }

    void bodyIsEchoedWithoutTerminator() {
        Modem modem(ModemConfig{});
        Recorder sink;
        modem.feed("AT+CMGF=1\r", sink);
        sink.out.clear();
        modem.feed("AT+CMGS=\"1\"\rHi\x1a", sink);
        QCOMPARE(sink.out, "AT+CMGS=\"1\"\r\r\n> Hi\r\n+CMGS: 1\r\n" + ok);
    }

    void errorOn_data() {
        QTest::addColumn<QStringList>("patterns");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("matching, any case")
            << QStringList{"AT+CMGF=1"} << QByteArray("at+cmgf=1\rAT+CMGF?\r")
            << error + info("+CMGF: 0");
        QTest::newRow("other commands unaffected")
            << QStringList{"AT+CMGF=1"} << QByteArray("AT+CMGF=0\r") << ok;
        QTest::newRow("repeatable") << QStringList{"ATI", "AT+CSQ"}
                                    << QByteArray("ATI\rAT+CSQ\rAT\r") << error + error + ok;
        QTest::newRow("star fails everything")
            << QStringList{"*"} << QByteArray("AT\rATE1\rAT\r") << error + error + error;
    }

    void errorOn() {
        QFETCH(QStringList, patterns);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);
        ModemConfig config;
        config.echoAfterReset = false;
        for (const QString& p : patterns) {
            config.errorOn.push_back(p.toStdString());
        }
        Modem modem(config);
        Recorder sink;
        modem.feed(view(input), sink);
        QCOMPARE(sink.out, expected);
    }

    void jsonLine_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("escaped");

        QTest::newRow("plain") << QByteArray("Hello") << QByteArray("Hello");
        QTest::newRow("quote, backslash") << QByteArray("a\"b\\c") << QByteArray("a\\\"b\\\\c");
        QTest::newRow("line ends, tab") << QByteArray("a\r\nb\tc") << QByteArray("a\\r\\nb\\tc");
        QTest::newRow("controls") << QByteArray("\0\x01\x1f\x7f", 4)
                                  << QByteArray("\\u0000\\u0001\\u001f\\u007f");
        QTest::newRow("non-ASCII bytes")
            << QByteArray("\xc3\xa9\xff") << QByteArray("\\u00c3\\u00a9\\u00ff");
    }

    void jsonLine() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, escaped);
        using namespace std::chrono;
        const auto when = sys_days{year{2024} / 3 / 5} + hours{6} + minutes{7} + seconds{8};
        const Message message{"+49\"1", text.toStdString(), 42};
        const QByteArray line = QByteArray::fromStdString(
            tarvex::vmodem::jsonLine(message, time_point_cast<system_clock::duration>(when)));
        QCOMPARE(line, "{\"number\":\"+49\\\"1\",\"text\":\"" + escaped +
                           "\",\"time\":\"2024-03-05T06:07:08Z\",\"mr\":42}\n");
        QJsonParseError parseError{};
        const auto doc = QJsonDocument::fromJson(line, &parseError);
        QCOMPARE(parseError.error, QJsonParseError::NoError);
        QCOMPARE(doc["text"].toString().toLatin1(), text);
    }

    void options_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("complaint");

        QTest::newRow("all") << QStringList{"--link",
                                            "/tmp/m",
                                            "--log=/tmp/l",
                                            "--stamps",
                                            "/tmp/s",
                                            "--mr",
                                            "9",
                                            "--silent",
                                            "--delay",
                                            "250",
                                            "--no-echo",
                                            "--cms-error",
                                            "500",
                                            "--error-on",
                                            "ATI",
                                            "--error-on",
                                            "*",
                                            "--noise",
                                            "3",
                                            "--noise-between",
                                            "4",
                                            "--seed",
                                            "5",
                                            "--vanish-after-bytes",
                                            "6",
                                            "--vanish-after-ms",
                                            "7",
                                            "--rate",
                                            "115200"}
                             << QString();
        QTest::newRow("unknown") << QStringList{"--bogus"} << "unknown option: --bogus";
        QTest::newRow("missing value")
            << QStringList{"--delay"} << "bad or missing value for --delay";
        QTest::newRow("not a number")
            << QStringList{"--noise", "x"} << "bad or missing value for --noise";
        QTest::newRow("reference too big")
            << QStringList{"--mr", "256"} << "bad or missing value for --mr";
        QTest::newRow("value on a flag")
            << QStringList{"--silent=1"} << "bad or missing value for --silent";
        QTest::newRow("unknown SIM state")
            << QStringList{"--sim", "locked"} << "bad or missing value for --sim";
        QTest::newRow("signal above 0 dBm")
            << QStringList{"--signal", "3"} << "bad or missing value for --signal";
        QTest::newRow("rate no UART runs at")
            << QStringList{"--rate", "100000"} << "bad or missing value for --rate";
        QTest::newRow("rate zero")
            << QStringList{"--rate", "0"} << "bad or missing value for --rate";
        QTest::newRow("2G only on LTE") << QStringList{"--2g-only", "--technology", "lte"}
                                        << "--2g-only needs --technology gsm";
        QTest::newRow("unknown kind of port")
            << QStringList{"--answer-as", "gps"} << "bad or missing value for --answer-as";
        QTest::newRow("kind of a USB modem's port")
            << QStringList{"--usb-modem", "--answer-as", "at"}
            << "--usb-modem fixes each port's kind: leave out --answer-as";
        QTest::newRow("USB modem at a fixed rate")
            << QStringList{"--usb-modem", "--rate", "115200"}
            << "--rate is for a UART modem; a USB modem's ports hear any speed";
        QTest::newRow("silent GPS")
            << QStringList{"--silent", "--answer-as", "nmea"}
            << "--silent is a kind of port of its own: leave out --answer-as";
    }

    void options() {
        QFETCH(QStringList, args);
        QFETCH(QString, complaint);
        const ParsedOptions parsed = parse(args);
        QCOMPARE(QString::fromStdString(parsed.error), complaint);
        if (!complaint.isEmpty()) {
            return;
        }
        const Options& o = parsed.options;
        QCOMPARE(o.link, "/tmp/m");
        QCOMPARE(o.log, "/tmp/l");
        QCOMPARE(o.stamps, "/tmp/s");
        QCOMPARE(o.modem.firstMr, 9u);
        QVERIFY(o.silent);
        QCOMPARE(o.delayMs, 250u);
        QVERIFY(!o.modem.echoAfterReset);
        QCOMPARE(o.modem.cmsError, 500);
        QCOMPARE(o.modem.errorOn, (std::vector<std::string>{"ATI", "*"}));
        QCOMPARE(o.noise, 3u);
        QCOMPARE(o.noiseBetween, 4u);
        QCOMPARE(o.seed, 5u);
        QCOMPARE(o.vanishAfterBytes, 6u);
        QCOMPARE(o.vanishAfterMs, 7u);
        QCOMPARE(o.rate, 115200u);
    }

    // The USB modem's ports in interface order: only the AT port takes the modem's
    // options and faults; each port gets its own stamps file and link.
    void usbModemPorts() {
        const ParsedOptions parsed =
            parse({"--usb-modem", "--no-echo", "--log", "/tmp/l", "--stamps", "/tmp/s", "--link",
                   "/tmp/m", "--trace", "--noise", "5", "--vanish-after-ms", "900"});
        QCOMPARE(QString::fromStdString(parsed.error), QString());
        QVERIFY(parsed.options.usbModem);
        const std::vector<Options> ports = tarvex::vmodem::usbModemPorts(parsed.options);
        QCOMPARE(ports.size(), 4u);
        const PortKind kinds[] = {PortKind::Diag, PortKind::Nmea, PortKind::At, PortKind::At};
        for (std::size_t n = 0; n < ports.size(); ++n) {
            const Options& port = ports[n];
            const bool at = n == 2;
            QCOMPARE(port.answerAs, kinds[n]);
            QCOMPARE(port.silent, n == 3);
            QVERIFY(!port.usbModem);
            QCOMPARE(port.stamps, "/tmp/s.if0" + std::to_string(n));
            QCOMPARE(port.link, "/tmp/m.if0" + std::to_string(n));
            QCOMPARE(port.log, at ? "/tmp/l" : "");
            QCOMPARE(port.trace, at);
            QCOMPARE(port.noise, at ? 5u : 0u);
            QCOMPARE(port.vanishAfterMs, at ? std::optional<std::uint64_t>(900) : std::nullopt);
            QCOMPARE(port.modem.echoAfterReset, !at);
        }
        // Without --stamps and --link, no port has them.
        for (const Options& port : tarvex::vmodem::usbModemPorts(parse({"--usb-modem"}).options)) {
            QVERIFY(port.stamps.empty() && port.link.empty());
        }
    }

    void nmeaSentence_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("sentence");
        QTest::newRow("antenna status") << QByteArray("GPTXT,01,01,02,ANTSTATUS=OK")
                                        << QByteArray("$GPTXT,01,01,02,ANTSTATUS=OK*3B\r\n");
        QTest::newRow("fix") << QByteArray(
                                    "GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,")
                             << QByteArray("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,"
                                           "46.9,M,,*47\r\n");
        QTest::newRow("checksum below 0x10 keeps its 0")
            << QByteArray("AB") << QByteArray("$AB*03\r\n");
    }

    void nmeaSentence() {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, sentence);
        QCOMPARE(QByteArray::fromStdString(tarvex::vmodem::nmeaSentence(view(body))), sentence);
    }

    // Frames worked out by hand: 0x13, the request, CRC-16/X.25 low byte first, 0x7e.
    void diagAnswer_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("a scan's probe") << QByteArray("\x1b"
                                                      "AT\r")
                                        << QByteArray("\x13\x1b"
                                                      "AT\r\x97\x56\x7e");
        QTest::newRow("flag and escape in the request")
            << QByteArray("\x7e\x7d") << QByteArray("\x13\x7d\x5e\x7d\x5d\x8b\x6e\x7e");
        QTest::newRow("escape in the CRC")
            << QByteArray("!,") << QByteArray("\x13!,\xb8\x7d\x5d\x7e");
        QByteArray longRequest;
        for (char c = 0x20; c < 0x20 + 70; ++c) {
            longRequest += c;
        }
        QTest::newRow("long request cut to 64 bytes")
            << longRequest << "\x13" + longRequest.left(64) + "\x77\xab\x7e";
    }

    void diagAnswer() {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, frame);
        QCOMPARE(QByteArray::fromStdString(tarvex::vmodem::diagAnswer(view(request))), frame);
    }

    // Each rate --rate takes must match the code a client sets it with, or the
    // modem would stay deaf at its own rate (or hear another).
    void rates_data() {
        QTest::addColumn<QString>("baud");
        QTest::addColumn<speed_t>("speed");
        QTest::newRow("1200") << "1200" << speed_t(B1200);
        QTest::newRow("2400") << "2400" << speed_t(B2400);
        QTest::newRow("4800") << "4800" << speed_t(B4800);
        QTest::newRow("9600") << "9600" << speed_t(B9600);
        QTest::newRow("19200") << "19200" << speed_t(B19200);
        QTest::newRow("38400") << "38400" << speed_t(B38400);
        QTest::newRow("57600") << "57600" << speed_t(B57600);
        QTest::newRow("115200") << "115200" << speed_t(B115200);
        QTest::newRow("230400") << "230400" << speed_t(B230400);
        QTest::newRow("460800") << "460800" << speed_t(B460800);
        QTest::newRow("921600") << "921600" << speed_t(B921600);
    }

    void rates() {
        QFETCH(QString, baud);
        QFETCH(speed_t, speed);
        const ParsedOptions parsed = parse({"--rate", baud});
        QCOMPARE(QString::fromStdString(parsed.error), QString());
        QCOMPARE(parsed.options.rate, baud.toUInt());
        QCOMPARE(baudOf(speed), baud.toUInt());
    }

    void noRateHearsEverySpeed() {
        QCOMPARE(parse({}).options.rate, std::nullopt);
        // Hang-up and rates nobody uses for a modem are no rate it could be fixed at.
        QCOMPARE(baudOf(B0), std::nullopt);
        QCOMPARE(baudOf(B300), std::nullopt);
        QCOMPARE(parse({"--rate", "300"}).error, "bad or missing value for --rate");
    }
};

QTEST_GUILESS_MAIN(TestModem)
#include "tst_modem.moc"
