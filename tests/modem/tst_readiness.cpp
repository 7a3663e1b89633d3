// Will an SMS go: the modem's answers in the forms met in the field, what they add up
// to, and the report in the forms a person and a monitoring system read.

#include "fake_dialogue_world.h"
#include "modem/readiness_report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>
#include <iterator>

using namespace tarvex;
using namespace std::chrono_literals;

namespace {

constexpr int kNone = -1; // a column's "not given"

// An answer as a row writes it: "ERROR", "TIMEOUT", a "+CME ERROR: ...", or the
// information lines, one per \n, of an answer that ended in OK.
CommandAnswer answer(const QString& text) {
    CommandAnswer result;
    if (text == QLatin1String("TIMEOUT"))
        return result;
    result.finalLine = text;
    if (text == QLatin1String("ERROR")) {
        result.final = CommandAnswer::Final::Error;
    } else if (text.startsWith(QLatin1String("+CME ERROR"))) {
        result.final = CommandAnswer::Final::CmeError;
    } else {
        result.final = CommandAnswer::Final::Ok;
        result.finalLine = QStringLiteral("OK");
        result.lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    return result;
}

// A Quectel EC25 on LTE in its home network, ready to send.
const QHash<QString, QString> kReadyModem{
    {"+CGMI", "Quectel"},
    {"+CGMM", "EC25"},
    {"+CGMR", "Revision: EC25EFAR06A06M4G"},
    {"+CGSN", "867698041234567"},
    {"+CFUN?", "+CFUN: 1"},
    {"+CPIN?", "+CPIN: READY"},
    {"+CREG?", "+CREG: 0,1"},
    {"+CGREG?", "+CGREG: 0,1"},
    {"+CEREG?", "+CEREG: 0,1"},
    {"+COPS?", "+COPS: 0,0,\"NOS\",7"},
    {"+CSQ", "+CSQ: 20,99"},
    {"+CESQ", "+CESQ: 99,99,255,255,20,45"},
    {"+CSCA?", "+CSCA: \"+351911616161\",145"},
    {"+CMGF=?", "+CMGF: (0,1)"},
};

// The ready modem with some answers changed, each written "query|answer".
Findings findingsWith(const QStringList& changes) {
    QHash<QString, QString> texts = kReadyModem;
    for (const QString& change : changes)
        texts.insert(change.section(QLatin1Char('|'), 0, 0), change.section(QLatin1Char('|'), 1));
    QHash<QString, CommandAnswer> answers;
    for (auto it = texts.cbegin(); it != texts.cend(); ++it)
        answers.insert(it.key(), answer(it.value()));
    return findingsFrom(answers);
}

QJsonObject jsonOf(const Findings& findings) {
    QJsonParseError error;
    const auto document = QJsonDocument::fromJson(renderJson(findings).toUtf8(), &error);
    return error.error == QJsonParseError::NoError ? document.object() : QJsonObject();
}

// "rxlev -71 rsrq -10": the measurements a +CESQ answer gave, in its order.
QString measuredText(const ExtendedSignal& signal) {
    QStringList parts;
    const auto add = [&parts](const char* name, auto value) {
        if (value)
            parts << QString::fromLatin1(name) + QLatin1Char(' ') + QString::number(*value);
    };
    add("rxlev", signal.rxlevDbm);
    add("rscp", signal.rscpDbm);
    add("ecno", signal.ecnoDb);
    add("rsrq", signal.rsrqDb);
    add("rsrp", signal.rsrpDbm);
    return parts.join(QLatin1Char(' '));
}

const QStringList kSimAbsent{"+CPIN?|+CME ERROR: 10", "+CREG?|+CREG: 0,0", "+CGREG?|+CGREG: 0,0",
                             "+CEREG?|+CEREG: 0,0", "+COPS?|+COPS: 0"};

} // namespace

Q_DECLARE_METATYPE(tarvex::SimState)

class TestReadiness : public QObject {
    Q_OBJECT

private slots:
    void unsolicited_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("unsolicited");
        QTest::newRow("ring") << "RING"
                              << "+CSQ" << true;
        QTest::newRow("new message") << "+CMTI: \"SM\",3"
                                     << "+CSQ" << true;
        QTest::newRow("caller") << "+CLIP: \"+447700900123\",145"
                                << "+COPS?" << true;
        QTest::newRow("status report") << "+CDS: 25"
                                       << "+CSCA?" << true;
        QTest::newRow("message") << "+CMT: \"+447700900123\",,\"24/01/01,10:00:00+04\""
                                 << "+CSQ" << true;
        QTest::newRow("SIM came up") << "+CPIN: READY"
                                     << "+CSQ" << true;
        QTest::newRow("SIMCom start") << "SMS Ready"
                                      << "+CGMI" << true;
        QTest::newRow("Huawei signal") << "^RSSI: 20"
                                       << "+CSQ" << true;
        QTest::newRow("one-field CREG before the answer") << "+CREG: 1"
                                                          << "+CREG?" << true;
        QTest::newRow("CREG report with location") << "+CREG: 1,\"00A8\",\"5355E8D\",7"
                                                   << "+CREG?" << true;
        QTest::newRow("CREG report, hex unquoted") << "+CREG: 5,8BE3,2BAF"
                                                   << "+CREG?" << true;
        QTest::newRow("Novatel's empty location") << "+CREG: 2,,"
                                                  << "+CREG?" << true;
        QTest::newRow("two in one read: CGREG during CREG") << "+CGREG: 0"
                                                            << "+CREG?" << true;
        QTest::newRow("CREG during another query") << "+CREG: 0,1"
                                                   << "+CSQ" << true;
        QTest::newRow("answer n,stat") << "+CREG: 0,1"
                                       << "+CREG?" << false;
        QTest::newRow("answer with location") << "+CREG: 2,1,\"00A8\",\"5355E8D\",7"
                                              << "AT+CREG?" << false;
        QTest::newRow("answer, hex unquoted") << "+CREG: 2,1,8BE3,2BAF"
                                              << "+CREG?" << false;
        QTest::newRow("answer, two-digit stat") << "+CREG: 0,10"
                                                << "+CREG?" << false;
        QTest::newRow("answer with spaces") << "+CEREG: 2,1, 1F00, 20 ,79D903 ,7"
                                            << "+CEREG?" << false;
        QTest::newRow("the asked CPIN") << "+CPIN: READY"
                                        << "+CPIN?" << false;
        QTest::newRow("the asked CLIP") << "+CLIP: 0,1"
                                        << "AT+CLIP?" << false;
        QTest::newRow("plain answer") << "Quectel"
                                      << "+CGMI" << false;
        QTest::newRow("error") << "+CME ERROR: 10"
                               << "+CPIN?" << false;
        QTest::newRow("test answer") << "+CMGF: (0,1)"
                                     << "+CMGF=?" << false;
    }

    void unsolicited() {
        QFETCH(QString, line);
        QFETCH(QString, command);
        QFETCH(bool, unsolicited);
        QCOMPARE(isUnsolicited(line, command), unsolicited);
    }

    void registration_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("stat"); // kNone: not a registration
        QTest::addColumn<QString>("area");
        QTest::addColumn<QString>("cell");
        QTest::addColumn<int>("act");
        QTest::newRow("n,stat") << "+CREG: 0,1" << 1 << ""
                                << "" << kNone;
        QTest::newRow("quoted, AcT") << "+CREG: 2,1,\"00A8\",\"5355E8D\",7" << 1 << "00A8"
                                     << "5355E8D" << 7;
        QTest::newRow("quoted, no AcT") << "+CREG: 2,1,\"CE00\",\"01CEAD8F\"" << 1 << "CE00"
                                        << "01CEAD8F" << kNone;
        QTest::newRow("hex unquoted") << "+CREG: 2,1,8BE3,2BAF" << 1 << "8BE3"
                                      << "2BAF" << kNone;
        QTest::newRow("empty location: searching") << "+CREG: 2,," << 2 << ""
                                                   << "" << kNone;
        QTest::newRow("spaces, routing area") << "+CEREG: 2,1, 1F00, 20 ,79D903 ,7" << 1 << "1F00"
                                              << "79D903" << 7;
        QTest::newRow("CGREG routing area last")
            << "+CGREG: 2,5,\"00A8\",\"5355E8D\",2,\"01\"" << 5 << "00A8"
            << "5355E8D" << 2;
        QTest::newRow("reject cause") << "+CEREG: 3,3,\"1F00\",\"79D903\",7,0,15" << 3 << "1F00"
                                      << "79D903" << 7;
        QTest::newRow("report, one field") << "+CREG: 5" << 5 << ""
                                           << "" << kNone;
        QTest::newRow("report with location") << "+CGREG: 1,\"00A8\",\"5355E8D\",7" << 1 << "00A8"
                                              << "5355E8D" << 7;
        QTest::newRow("no blank after colon") << "+CEREG:0,6" << 6 << ""
                                              << "" << kNone;
        QTest::newRow("stat past 11 is unknown") << "+CREG: 0,12" << 4 << ""
                                                 << "" << kNone;
        QTest::newRow("AcT past 13") << "+CREG: 2,1,\"00A8\",\"5355E8D\",14" << 1 << "00A8"
                                     << "5355E8D" << kNone;
        QTest::newRow("empty stat") << "+CREG: " << kNone << ""
                                    << "" << kNone;
        QTest::newRow("another answer") << "+CSQ: 20,99" << kNone << ""
                                        << "" << kNone;
    }

    void registration() {
        QFETCH(QString, line);
        QFETCH(int, stat);
        const auto parsed = parseRegistration(line);
        QCOMPARE(parsed.has_value(), stat != kNone);
        if (!parsed)
            return;
        QFETCH(QString, area);
        QFETCH(QString, cell);
        QFETCH(int, act);
        QCOMPARE(int(parsed->status), stat);
        QCOMPARE(parsed->area, area);
        QCOMPARE(parsed->cell, cell);
        QCOMPARE(parsed->technology ? int(*parsed->technology) : kNone, act);
    }

    // Every <stat> and <AcT> through the whole path, to the words scripts match on.
    void registrationWords_data() {
        QTest::addColumn<int>("stat");
        QTest::addColumn<QString>("token");
        const char* tokens[] = {"not_searching",
                                "home",
                                "searching",
                                "denied",
                                "unknown",
                                "roaming",
                                "sms_only_home",
                                "sms_only_roaming",
                                "emergency_only",
                                "csfb_not_preferred_home",
                                "csfb_not_preferred_roaming",
                                "attached_rlos"};
        for (int stat = 0; stat < int(std::size(tokens)); ++stat)
            QTest::addRow("stat %d", stat) << stat << QString::fromLatin1(tokens[stat]);
    }

    void registrationWords() {
        QFETCH(int, stat);
        QFETCH(QString, token);
        const QString line = QStringLiteral("+CEREG?|+CEREG: 0,%1").arg(stat);
        const auto json = jsonOf(findingsWith({line, "+CREG?|+CREG: 0,0", "+CGREG?|+CGREG: 0,0"}));
        QCOMPARE(json.value("registration").toString(), token);
    }

    void technologyNames_data() {
        QTest::addColumn<int>("act");
        QTest::addColumn<QString>("name");
        const char* names[] = {"GSM",           "GSM Compact",
                               "UMTS",          "EDGE",
                               "HSDPA",         "HSUPA",
                               "HSPA",          "LTE",
                               "EC-GSM-IoT",    "NB-IoT",
                               "LTE (5G core)", "5G NR",
                               "5G NG-RAN",     "5G NSA (LTE and NR)"};
        for (int act = 0; act < int(std::size(names)); ++act)
            QTest::addRow("AcT %d", act) << act << QString::fromLatin1(names[act]);
    }

    void technologyNames() {
        QFETCH(int, act);
        QFETCH(QString, name);
        const QString line = QStringLiteral("+CEREG?|+CEREG: 2,1,\"1F00\",\"79D903\",%1").arg(act);
        QCOMPARE(jsonOf(findingsWith({line})).value("technology").toString(), name);
    }

    void sim_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("lock"); // kNone: not a SIM status
        using L = SimLock;
        QTest::newRow("ready") << "+CPIN: READY" << int(L::None);
        QTest::newRow("ready, quoted") << "+CPIN: \"READY\"" << int(L::None);
        QTest::newRow("no blank") << "+CPIN:READY" << int(L::None);
        QTest::newRow("PIN") << "+CPIN: SIM PIN" << int(L::Pin);
        QTest::newRow("PIN2 is not PIN") << "+CPIN: SIM PIN2" << int(L::Pin2);
        QTest::newRow("PUK") << "+CPIN: SIM PUK" << int(L::Puk);
        QTest::newRow("PUK2 is not PUK") << "+CPIN: SIM PUK2" << int(L::Puk2);
        QTest::newRow("phone to SIM") << "+CPIN: PH-SIM PIN" << int(L::PhoneSimPin);
        QTest::newRow("network lock") << "+CPIN: PH-NET PIN" << int(L::NetworkPin);
        QTest::newRow("other lock") << "+CPIN: PH-NETSUB PIN" << int(L::OtherLock);
        QTest::newRow("SIMCom, no SIM") << "+CPIN: NOT INSERTED" << int(L::NotInserted);
        QTest::newRow("Quectel, starting") << "+CPIN: NOT READY" << int(L::NotReady);
        QTest::newRow("unknown words") << "+CPIN: BLOCKED" << kNone;
        QTest::newRow("another answer") << "+CSQ: 1,1" << kNone;
    }

    void sim() {
        QFETCH(QString, line);
        QFETCH(int, lock);
        const auto status = parseSimStatus(line);
        QCOMPARE(status ? int(status->lock) : kNone, lock);
    }

    void meError_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("isError");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("words");
        QTest::newRow("10") << "+CME ERROR: 10" << true << 10 << "SIM not inserted (CME ERROR 10)";
        QTest::newRow("13") << "+CME ERROR: 13" << true << 13 << "SIM failure (CME ERROR 13)";
        QTest::newRow("14") << "+CME ERROR: 14" << true << 14 << "SIM busy (CME ERROR 14)";
        QTest::newRow("30") << "+CME ERROR: 30" << true << 30
                            << "no network service (CME ERROR 30)";
        QTest::newRow("words 10") << "+CME ERROR: SIM not inserted" << true << 10
                                  << "SIM not inserted";
        QTest::newRow("words 11") << "+CME ERROR: SIM PIN required" << true << 11
                                  << "SIM PIN required";
        QTest::newRow("words 12") << "+CME ERROR: SIM PUK required" << true << 12
                                  << "SIM PUK required";
        QTest::newRow("words 13") << "+CME ERROR: SIM failure" << true << 13 << "SIM failure";
        QTest::newRow("words 14") << "+CME ERROR: SIM busy" << true << 14 << "SIM busy";
        QTest::newRow("words 15") << "+CME ERROR: SIM wrong" << true << 15 << "SIM wrong";
        QTest::newRow("words 30") << "+CME ERROR: no network service" << true << 30
                                  << "no network service";
        QTest::newRow("words, other case") << "+CME ERROR: sim busy" << true << 14 << "sim busy";
        QTest::newRow("words outside the table")
            << "+CME ERROR: phone failure" << true << kNone << "phone failure";
        QTest::newRow("message service error") << "+CMS ERROR: 310" << false << kNone << "";
        QTest::newRow("plain ERROR") << "ERROR" << false << kNone << "";
    }

    void meError() {
        QFETCH(QString, line);
        QFETCH(bool, isError);
        QFETCH(int, code);
        QFETCH(QString, words);
        const auto error = parseMeError(line);
        QCOMPARE(error.has_value(), isError);
        if (!error)
            return;
        QCOMPARE(error->code.value_or(kNone), code);
        QCOMPARE(error->words, words);
    }

    void networkOperator_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("isOperator");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("act");
        QTest::newRow("name, LTE") << "+COPS: 0,0,\"NOS\",7" << true << "NOS" << 7;
        QTest::newRow("none") << "+COPS: 0" << true << "" << kNone;
        QTest::newRow("no AcT, as a SIM800")
            << "+COPS: 0,0,\"T-Mobile\"" << true << "T-Mobile" << kNone;
        QTest::newRow("numeric") << "+COPS: 1,2,\"26803\",2" << true << "26803" << 2;
        QTest::newRow("comma in the name")
            << "+COPS: 0,0,\"Orange, F\",0" << true << "Orange, F" << 0;
        QTest::newRow("test answer")
            << "+COPS: (2,\"NOS\",\"NOS\",\"26803\",7),,(0-4),(0-2)" << false << "" << kNone;
    }

    void networkOperator() {
        QFETCH(QString, line);
        QFETCH(bool, isOperator);
        QFETCH(QString, name);
        QFETCH(int, act);
        const auto parsed = parseOperator(line);
        QCOMPARE(parsed.has_value(), isOperator);
        if (!parsed)
            return;
        QCOMPARE(parsed->name, name);
        QCOMPARE(parsed->technology ? int(*parsed->technology) : kNone, act);
    }

    void signalQuality_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("isCsq");
        QTest::addColumn<int>("dbm"); // kNone: not known
        QTest::newRow("0 is -113 or less") << "+CSQ: 0,99" << true << -113;
        QTest::newRow("1") << "+CSQ: 1,99" << true << -111;
        QTest::newRow("20") << "+CSQ: 20,99" << true << -73;
        QTest::newRow("31 is -51 or more") << "+CSQ: 31,0" << true << -51;
        QTest::newRow("no blank") << "+CSQ:15,3" << true << -83;
        QTest::newRow("99 unknown") << "+CSQ: 99,99" << true << kNone;
        QTest::newRow("TD-SCDMA scale") << "+CSQ: 100,99" << true << kNone;
        QTest::newRow("another answer") << "+CESQ: 99,99,255,255,20,45" << false << kNone;
    }

    void signalQuality() {
        QFETCH(QString, line);
        QFETCH(bool, isCsq);
        QFETCH(int, dbm);
        const auto parsed = parseSignalQuality(line);
        QCOMPARE(parsed.has_value(), isCsq);
        if (parsed)
            QCOMPARE(parsed->rssiDbm.value_or(kNone), dbm);
    }

    void extendedSignal_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("isCesq");
        QTest::addColumn<QString>("measured");
        QTest::newRow("LTE fills RSRQ and RSRP")
            << "+CESQ: 99,99,255,255,20,45" << true << "rsrq -10 rsrp -96";
        QTest::newRow("nothing known") << "+CESQ: 99,99,255,255,255,255" << true << "";
        QTest::newRow("GSM") << "+CESQ: 40,0,255,255,255,255" << true << "rxlev -71";
        QTest::newRow("UMTS") << "+CESQ: 99,99,60,30,255,255" << true << "rscp -61 ecno -9.5";
        QTest::newRow("lowest levels")
            << "+CESQ: 0,0,0,0,0,0" << true << "rxlev -111 rscp -121 ecno -24.5 rsrq -20 rsrp -141";
        QTest::newRow("highest levels")
            << "+CESQ: 63,7,96,49,34,97" << true << "rxlev -48 rscp -25 ecno 0 rsrq -3 rsrp -44";
        QTest::newRow("past the highest") << "+CESQ: 64,99,97,50,35,98" << true << "";
        QTest::newRow("too few fields") << "+CESQ: 99,99,255" << false << "";
    }

    void extendedSignal() {
        QFETCH(QString, line);
        QFETCH(bool, isCesq);
        QFETCH(QString, measured);
        const auto parsed = parseExtendedSignal(line);
        QCOMPARE(parsed.has_value(), isCesq);
        if (parsed)
            QCOMPARE(measuredText(*parsed), measured);
    }

    void smallAnswers_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("read"); // what the reader of that answer makes of it
        QTest::newRow("SMSC") << "+CSCA: \"+48501200777\",145"
                              << "+48501200777 145";
        QTest::newRow("SMSC none") << "+CSCA: \"\",129"
                                   << " 129";
        QTest::newRow("SMSC in UCS2") << "+CSCA: \"002B0034003400370037\",145"
                                      << "+4477 145";
        QTest::newRow("SMSC national, not UCS2") << "+CSCA: \"0044\",129"
                                                 << "0044 129";
        QTest::newRow("full") << "+CFUN: 1"
                              << "1";
        QTest::newRow("minimum") << "+CFUN: 0"
                                 << "0";
        QTest::newRow("radio off") << "+CFUN: 4"
                                   << "4";
        QTest::newRow("with reset field") << "+CFUN: 1,0"
                                          << "1";
        QTest::newRow("text mode offered") << "+CMGF: (0,1)"
                                           << "text";
        QTest::newRow("text mode as range") << "+CMGF: (0-1)"
                                            << "text";
        QTest::newRow("PDU only") << "+CMGF: (0)"
                                  << "pdu";
        QTest::newRow("no modes") << "+CMGF: ()"
                                  << "";
    }

    void smallAnswers() {
        QFETCH(QString, line);
        QFETCH(QString, read);
        QString got;
        if (const auto centre = parseServiceCentre(line))
            got =
                centre->address + QLatin1Char(' ') + QString::number(centre->type.value_or(kNone));
        if (const auto level = parseFunctionality(line))
            got = QString::number(*level);
        if (const auto text = parseTextModeOffered(line))
            got = *text ? QStringLiteral("text") : QStringLiteral("pdu");
        QCOMPARE(got, read);
    }

    void identity_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("value"); // empty: not this answer
        QTest::newRow("plain") << "Quectel"
                               << "+CGMI"
                               << "Quectel";
        QTest::newRow("prefixed") << "+CGMI: Quectel"
                                  << "+CGMI"
                                  << "Quectel";
        QTest::newRow("quoted") << "+CGMM: \"SIMCOM_SIM800\""
                                << "+CGMM"
                                << "SIMCOM_SIM800";
        QTest::newRow("Quectel revision") << "Revision: EC25EFAR06A06M4G"
                                          << "+CGMR"
                                          << "EC25EFAR06A06M4G";
        QTest::newRow("SIMCom revision") << "+CGMR: 1418B04SIM800C24"
                                         << "+CGMR"
                                         << "1418B04SIM800C24";
        QTest::newRow("IMEI quoted") << "+CGSN: \"867698041234567\""
                                     << "+CGSN"
                                     << "867698041234567";
        QTest::newRow("Huawei report") << "^BOOT:12345,0,0,0,72"
                                       << "+CGMI"
                                       << "";
        QTest::newRow("another's answer") << "+CGMM: EC25"
                                          << "+CGMI"
                                          << "";
    }

    void identity() {
        QFETCH(QString, line);
        QFETCH(QString, query);
        QFETCH(QString, value);
        QCOMPARE(parseIdentity(line, query).value_or(QString()), value);
    }

    void verdict_data() {
        QTest::addColumn<QStringList>("changes");
        QTest::addColumn<int>("blocker");
        QTest::addColumn<QString>("words"); // in the text report
        using B = Blocker;
        QTest::newRow("ready, home, LTE") << QStringList{} << int(B::None) << "Ready to send SMS.";
        QTest::newRow("roaming") << QStringList{"+CEREG?|+CEREG: 0,5", "+CREG?|+CREG: 0,5",
                                                "+CGREG?|+CGREG: 0,5",
                                                "+COPS?|+COPS: 0,0,\"Vodafone UK\",7"}
                                 << int(B::None)
                                 << "Network: registered, roaming on \"Vodafone UK\", LTE";
        QTest::newRow("SMS only") << QStringList{"+CEREG?|+CEREG: 0,6", "+CREG?|+CREG: 0,0",
                                                 "+CGREG?|+CGREG: 0,0"}
                                  << int(B::None)
                                  << "Network: registered for SMS only, home network \"NOS\", LTE";
        QTest::newRow("LTE, registered on CEREG alone")
            << QStringList{"+CREG?|+CREG: 0,0", "+CGREG?|+CGREG: 0,2"} << int(B::None)
            << "Network: registered, home network \"NOS\", LTE";
        QTest::newRow("GSM only, with the 2G note")
            << QStringList{"+CREG?|+CREG: 2,1,\"00A8\",\"5355E8D\",0", "+CGREG?|+CGREG: 0,0",
                           "+CEREG?|+CEREG: 0,0", "+COPS?|+COPS: 0,0,\"NOS\",0"}
            << int(B::None) << "Note: Registered on 2G (GSM) only";
        QTest::newRow("modem without CEREG and CESQ")
            << QStringList{"+CEREG?|ERROR", "+CESQ|ERROR", "+COPS?|+COPS: 0,0,\"NOS\""}
            << int(B::None)
            << "home network \"NOS\", GSM (assumed: the modem knows no LTE)\n"
               "Signal: -73 dBm, good\n"
               "SMSC: +351911616161\n"
               "Not supported by this modem: AT+CEREG?, AT+CESQ";
        QTest::newRow("PIN2 does not stop SMS")
            << QStringList{"+CPIN?|+CPIN: SIM PIN2"} << int(B::None) << "SIM: ready (SIM PIN2";
        QTest::newRow("poor signal still goes")
            << QStringList{"+CSQ|+CSQ: 3,99"} << int(B::None) << "Signal: -107 dBm, poor";
        QTest::newRow("PIN") << QStringList{"+CPIN?|+CPIN: SIM PIN"} << int(B::SimPinRequired)
                             << "Not ready: the SIM asks for its PIN (SIM PIN).";
        QTest::newRow("PIN, refused as an error")
            << QStringList{"+CPIN?|+CME ERROR: 11"} << int(B::SimPinRequired)
            << "SIM: asks for its PIN (+CME ERROR: 11)";
        QTest::newRow("PUK") << QStringList{"+CPIN?|+CPIN: SIM PUK"} << int(B::SimPukRequired)
                             << "asks for its PUK";
        QTest::newRow("locked to a network")
            << QStringList{"+CPIN?|+CPIN: PH-NET PIN"} << int(B::SimLocked) << "(PH-NET PIN)";
        QTest::newRow("absent") << kSimAbsent << int(B::SimNotInserted)
                                << "Not ready: no SIM is inserted (+CME ERROR: 10).";
        QTest::newRow("absent, in words")
            << QStringList{"+CPIN?|+CME ERROR: SIM not inserted"} << int(B::SimNotInserted)
            << "SIM: not inserted (+CME ERROR: SIM not inserted)";
        QTest::newRow("failure") << QStringList{"+CPIN?|+CME ERROR: 13"} << int(B::SimFailure)
                                 << "the modem cannot use the SIM";
        QTest::newRow("busy after power-up")
            << QStringList{"+CPIN?|+CME ERROR: 14"} << int(B::SimBusy) << "still starting up";
        QTest::newRow("radio off, SIM off with it")
            << QStringList{"+CFUN?|+CFUN: 4", "+CPIN?|+CME ERROR: 13", "+CSQ|+CSQ: 99,99"}
            << int(B::RadioOff) << "Not ready: the modem's radio is off (+CFUN: 4).";
        QTest::newRow("minimum functionality")
            << QStringList{"+CFUN?|+CFUN: 0"} << int(B::RadioOff) << "(+CFUN: 0)";
        QTest::newRow("searching")
            << QStringList{"+CREG?|+CREG: 0,2", "+CGREG?|+CGREG: 0,2", "+CEREG?|+CEREG: 0,2"}
            << int(B::Searching) << "Network: not registered, searching";
        QTest::newRow("not searching")
            << QStringList{"+CREG?|+CREG: 0,0", "+CGREG?|+CGREG: 0,0", "+CEREG?|+CEREG: 0,0"}
            << int(B::NotSearching) << "not registered, and the modem is not searching";
        QTest::newRow("denied, LTE")
            << QStringList{"+CREG?|+CREG: 0,3", "+CGREG?|+CGREG: 0,3",
                           "+CEREG?|+CEREG: 2,3,\"1F00\",\"79D903\",7", "+COPS?|+COPS: 0"}
            << int(B::Denied) << "the SIM may not be allowed on LTE";
        QTest::newRow("emergency only")
            << QStringList{"+CREG?|+CREG: 0,8", "+CGREG?|+CGREG: 0,8", "+CEREG?|+CEREG: 0,8"}
            << int(B::EmergencyOnly) << "Network: emergency calls only";
        QTest::newRow("no registration answered")
            << QStringList{"+CREG?|TIMEOUT", "+CGREG?|ERROR", "+CEREG?|ERROR"}
            << int(B::NotRegistered) << "Network: registration not reported by the modem";
        QTest::newRow("no signal, and so searching")
            << QStringList{"+CSQ|+CSQ: 99,99", "+CESQ|+CESQ: 99,99,255,255,255,255",
                           "+CREG?|+CREG: 0,2", "+CEREG?|+CEREG: 0,2", "+CGREG?|+CGREG: 0,2"}
            << int(B::NoSignal) << "Signal: none (+CSQ: 99)";
        QTest::newRow("RSRP stands in for an unknown RSSI")
            << QStringList{"+CSQ|+CSQ: 99,99"} << int(B::None)
            << "Signal: LTE RSRP -96 dBm, fair (RSRQ -10 dB)";
        QTest::newRow("very weak") << QStringList{"+CSQ|+CSQ: 1,99"} << int(B::WeakSignal)
                                   << "Not ready: the signal is very weak (-111 dBm).";
        QTest::newRow("no SMSC") << QStringList{"+CSCA?|+CSCA: \"\",129"} << int(B::NoServiceCentre)
                                 << "SMSC: none set";
        QTest::newRow("no text mode")
            << QStringList{"+CMGF=?|+CMGF: (0)"} << int(B::NoTextMode) << "no SMS text mode";
    }

    void verdict() {
        QFETCH(QStringList, changes);
        QFETCH(int, blocker);
        QFETCH(QString, words);
        const Findings findings = findingsWith(changes);
        const Verdict verdict = verdictFor(findings);
        QCOMPARE(int(verdict.blocker), blocker);
        QCOMPARE(verdict.ready(), verdict.reason.isEmpty());
        QCOMPARE(exitStatus(findings), verdict.ready() ? 0 : 1);
        const QString text = renderText(findings);
        QVERIFY2(text.contains(words), qPrintable(text));
        if (!verdict.ready())
            QVERIFY(text.contains(QLatin1String("Not ready: ") + verdict.reason +
                                  QLatin1String(".\n") + verdict.action + QLatin1Char('\n')));
    }

    void textReport() {
        QCOMPARE(
            renderText(findingsWith({})),
            QStringLiteral("Modem: Quectel EC25, firmware EC25EFAR06A06M4G, IMEI 867698041234567\n"
                           "SIM: ready\n"
                           "Network: registered, home network \"NOS\", LTE\n"
                           "Signal: -73 dBm, good (LTE RSRP -96 dBm, RSRQ -10 dB)\n"
                           "SMSC: +351911616161\n"
                           "Ready to send SMS.\n"));
    }

    void nagios_data() {
        QTest::addColumn<QStringList>("changes");
        QTest::addColumn<int>("warning");
        QTest::addColumn<int>("critical");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("perfdata");
        const int w = kDefaultWarningDbm;
        const int c = kDefaultCriticalDbm;
        QTest::newRow("ready") << QStringList{} << w << c << 0
                               << "TARVEX OK - Ready to send SMS: registered, home network \"NOS\""
                               << "'signal_dBm'=-73;-90:;-100:;;";
        QTest::newRow("below warning") << QStringList{"+CSQ|+CSQ: 10,99"} << w << c << 1
                                       << "TARVEX WARNING - Signal below -90 dBm, ready"
                                       << "'signal_dBm'=-93;-90:;-100:;;";
        QTest::newRow("at the warning level")
            << QStringList{"+CSQ|+CSQ: 10,99"} << -93 << c << 0 << "TARVEX OK - "
            << "'signal_dBm'=-93;-93:;-100:;;";
        QTest::newRow("below critical") << QStringList{"+CSQ|+CSQ: 5,99"} << w << c << 2
                                        << "TARVEX CRITICAL - Signal below -100 dBm, ready"
                                        << "'signal_dBm'=-103;-90:;-100:;;";
        QTest::newRow("not ready") << QStringList{"+CPIN?|+CPIN: SIM PIN"} << w << c << 2
                                   << "TARVEX CRITICAL - Not ready: the SIM asks for its PIN"
                                   << "'signal_dBm'=-73;-90:;-100:;;";
        QTest::newRow("signal unknown")
            << QStringList{"+CSQ|ERROR", "+CESQ|ERROR"} << w << c << 0 << "TARVEX OK - "
            << "'signal_dBm'=U;-90:;-100:;;";
        QTest::newRow("a pipe in the operator's name")
            << QStringList{"+COPS?|+COPS: 0,0,\"A|B\",7"} << w << c << 0 << "home network \"A/B\""
            << "'signal_dBm'=-73;-90:;-100:;;";
    }

    void nagios() {
        QFETCH(QStringList, changes);
        QFETCH(int, warning);
        QFETCH(int, critical);
        QFETCH(int, status);
        QFETCH(QString, summary);
        QFETCH(QString, perfdata);
        const Findings findings = findingsWith(changes);
        const NagiosThresholds thresholds{warning, critical};
        QCOMPARE(int(nagiosStatus(findings, thresholds)), status);
        const QString line = renderNagios(findings, thresholds);
        QVERIFY2(line.endsWith(QLatin1String(" | ") + perfdata + QLatin1Char('\n')),
                 qPrintable(line));
        QCOMPARE(line.count(QLatin1Char('\n')), 1);
        QCOMPARE(line.count(QLatin1Char('|')), 1);
        QVERIFY2(line.contains(summary), qPrintable(line));
    }

    void json_data() {
        QTest::addColumn<QStringList>("changes");
        QTest::addColumn<QString>("expected"); // key=value, values as JSON writes them
        QTest::newRow("ready") << QStringList{}
                               << "ready=true sim=\"ready\" registration=\"home\" "
                                  "technology=\"LTE\" operator=\"NOS\" signal_dbm=-73 "
                                  "signal=\"good\" rsrp_dbm=-96 rsrq_db=-10 "
                                  "smsc=\"+351911616161\" manufacturer=\"Quectel\" "
                                  "model=\"EC25\" reason=null";
        QTest::newRow("no SIM")
            << kSimAbsent
            << "ready=false sim=\"not_inserted\" registration=\"not_searching\" "
               "technology=null operator=null";
        QTest::newRow("nothing measured") << QStringList{"+CSQ|ERROR", "+CESQ|TIMEOUT"}
                                          << "signal_dbm=null signal=null rsrp_dbm=null "
                                             "unsupported=[\"+CSQ\",\"+CESQ\"]";
        QTest::newRow("no SMSC is not an unknown one")
            << QStringList{"+CSCA?|+CSCA: \"\",129"} << "smsc=\"\" ready=false";
        QTest::newRow("SMSC not told") << QStringList{"+CSCA?|ERROR"} << "smsc=null ready=true";
    }

    void json() {
        QFETCH(QStringList, changes);
        QFETCH(QString, expected);
        const QJsonObject json = jsonOf(findingsWith(changes));
        QVERIFY(!json.isEmpty());
        for (const QString& pair : expected.split(QLatin1Char(' '))) {
            const QString key = pair.section(QLatin1Char('='), 0, 0);
            QVERIFY2(json.contains(key), qPrintable(key));
            const QJsonValue value = json.value(key);
            const QString written =
                value.isArray()
                    ? QString::fromUtf8(
                          QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact))
                    : QString::fromUtf8(
                          QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact))
                          .mid(1)
                          .chopped(1);
            QCOMPARE(written, pair.section(QLatin1Char('='), 1));
        }
    }

    void prometheus_data() {
        QTest::addColumn<QStringList>("changes");
        QTest::addColumn<QStringList>("samples"); // present, in order
        QTest::addColumn<QString>("absent");
        QTest::newRow("ready")
            << QStringList{}
            << QStringList{"tarvex_modem_ready 1",
                           "tarvex_signal_dbm -73",
                           "tarvex_modem_info{manufacturer=\"Quectel\",model=\"EC25\","
                           "firmware=\"EC25EFAR06A06M4G\"} 1",
                           "tarvex_registration_status 1",
                           "tarvex_network_info{registration=\"home\",technology=\"LTE\","
                           "operator=\"NOS\"} 1",
                           "tarvex_run_duration_seconds 1.250"}
            << "867698041234567";
        QTest::newRow("signal unknown: no sample")
            << QStringList{"+CSQ|+CSQ: 99,99", "+CESQ|ERROR", "+CREG?|+CREG: 0,2", "+CGREG?|ERROR",
                           "+CEREG?|ERROR"}
            << QStringList{"tarvex_modem_ready 0", "tarvex_registration_status 2"}
            << "tarvex_signal_dbm";
        QTest::newRow("label values escaped")
            << QStringList{"+COPS?|+COPS: 0,0,\"Say \"hi\" \\ there\",7"}
            << QStringList{"operator=\"Say \\\"hi\\\" \\\\ there\"} 1"} << "867698041234567";
    }

    void prometheus() {
        QFETCH(QStringList, changes);
        QFETCH(QStringList, samples);
        QFETCH(QString, absent);
        const QString text = renderPrometheus(findingsWith(changes), 1250ms);
        QVERIFY(text.endsWith(QLatin1Char('\n')));
        qsizetype from = 0;
        for (const QString& sample : samples) {
            const qsizetype at = text.indexOf(sample, from);
            QVERIFY2(at >= 0, qPrintable(sample + QStringLiteral(" in\n") + text));
            from = at;
        }
        QVERIFY2(!text.contains(absent), qPrintable(text));

        // The text format: each family's HELP and TYPE before its samples, one value each.
        // (A raw string holding a quote makes moc 6.4 lose the class: escapes it is.)
        static const QRegularExpression sample(QStringLiteral(
            "^(tarvex_[a-z_]+)(\\{([a-z_]+=\"([^\"\\\\]|\\\\.)*\",?)*\\})? -?[0-9.]+$"));
        QString family;
        for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            if (line.startsWith(QLatin1String("# HELP ")))
                family = line.section(QLatin1Char(' '), 2, 2);
            else if (line.startsWith(QLatin1String("# TYPE ")))
                QCOMPARE(line, QStringLiteral("# TYPE ") + family + QStringLiteral(" gauge"));
            else {
                const auto match = sample.match(line);
                QVERIFY2(match.hasMatch(), qPrintable(line));
                QCOMPARE(match.captured(1), family);
            }
        }
    }

    // On the dialogue: the queries go out one at a time, nothing else does, and a SIM
    // still starting up is asked again once a second for up to 10 s.
    void queriesOnTheDialogue_data() {
        QTest::addColumn<QStringList>("pinAnswers"); // to each +CPIN? in turn
        QTest::addColumn<int>("pinAsked");
        QTest::addColumn<SimState>("sim");
        const QString busy = QStringLiteral("\r\n+CME ERROR: 14\r\n");
        const QString ready = QStringLiteral("\r\n+CPIN: READY\r\n\r\nOK\r\n");
        QTest::newRow("ready at once") << QStringList{ready} << 1 << SimState::Ready;
        QTest::newRow("busy for two seconds")
            << QStringList{busy, busy, ready} << 3 << SimState::Ready;
        QTest::newRow("ERROR at +CMEE=0, then ready")
            << QStringList{"\r\nERROR\r\n", ready} << 2 << SimState::Ready;
        QTest::newRow("still busy after 10 s") << QStringList(11, busy) << 11 << SimState::Busy;
    }
    void queriesOnTheDialogue() {
        QFETCH(QStringList, pinAnswers);
        QFETCH(int, pinAsked);
        QFETCH(SimState, sim);
        testing::FakeDialogueWorld world;
        world.connectPort();
        std::optional<Findings> found;
        int waits = 0;
        QObject::connect(
            &world.dialogue, &ModemDialogue::readinessKnown,
            [&](const QHash<QString, CommandAnswer>& answers) { found = findingsFrom(answers); });
        QObject::connect(&world.dialogue, &ModemDialogue::waitingForSim, [&] { ++waits; });
        // As the shell runs it: the modem test, its OK, then the queries while the
        // detector's ATE0 is still being answered.
        world.dialogue.run([&] { world.dialogue.cmdTest_Click(); });
        world.serial->receive(QStringLiteral("\r\nOK\r\n"));
        world.dialogue.run([&] { world.dialogue.checkReadiness(); });
        world.serial->receive(QStringLiteral("\r\nOK\r\n"));
        QStringList asked;
        const qint64 started = world.clock.now();
        for (int step = 0; !found && step < 40; ++step) {
            const QString line = world.serial->wire().section(QStringLiteral("\r\n"), -2, -2);
            asked << line;
            if (line == QLatin1String("AT+CPIN?"))
                world.serial->receive(pinAnswers.value(asked.count(line) - 1, pinAnswers.last()));
            else
                world.serial->receive(QStringLiteral("\r\nOK\r\n"));
        }
        QVERIFY(found);
        QCOMPARE(asked.count(QStringLiteral("AT+CPIN?")), pinAsked);
        QCOMPARE(waits, pinAsked > 1 ? 1 : 0);
        QCOMPARE(found->sim, sim);
        // Every line written is one of the queries: nothing that changes the modem.
        asked.removeDuplicates();
        QStringList queries;
        for (const QString& query : kReadinessQueries)
            queries << QStringLiteral("AT") + query;
        QCOMPARE(asked, queries);
        QVERIFY(world.serial->wire().startsWith(QStringLiteral("AT\r\nATE0\r\nAT+CGMI\r\n")));
        QCOMPARE(world.serial->wire().count(QStringLiteral("\r\n")), 2 + 13 + pinAsked);
        QVERIFY(world.clock.now() - started >= (pinAsked - 1) * 1000);
    }
};

QTEST_GUILESS_MAIN(TestReadiness)
#include "tst_readiness.moc"
