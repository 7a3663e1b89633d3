// Reading the modem's answer lines: what decides, what never does.

#include "modem/sms_answer.h"
#include "modem/sms_errors.h"

#include <QTest>

using namespace tarvex;

class TestSmsAnswer : public QObject {
    Q_OBJECT

private slots:
    void classify_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("kind");
        using K = AnswerLine::Kind;
        QTest::newRow("accepted") << "+CMGS: 7" << int(K::Accepted);
        QTest::newRow("accepted, no blank") << "+CMGS:255" << int(K::Accepted);
        QTest::newRow("accepted with timestamp")
            << "+CMGS: 7,\"24/01/01,10:00:00+04\"" << int(K::Accepted);
        QTest::newRow("no reference") << "+CMGS: " << int(K::Other);
        QTest::newRow("echoed command") << "AT+CMGS=\"+91\"" << int(K::Other);
        QTest::newRow("test answer") << "+CMGS: (0-255)" << int(K::Other);
        QTest::newRow("ERROR") << "ERROR" << int(K::Refused);
        QTest::newRow("ERROR with blanks") << "  ERROR " << int(K::Refused);
        QTest::newRow("CMS") << "+CMS ERROR: 42" << int(K::Refused);
        QTest::newRow("CME") << "+CME ERROR: 3" << int(K::Refused);
        QTest::newRow("OK") << "OK" << int(K::Other);
        QTest::newRow("inside a word") << "NOERROR" << int(K::Other);
        QTest::newRow("lower case") << "error" << int(K::Other);
        QTest::newRow("unsolicited") << "+CMTI: \"SM\",1" << int(K::Other);
    }

    void classify() {
        QFETCH(QString, line);
        QFETCH(int, kind);
        QCOMPARE(int(classifyAnswerLine(line).kind), kind);
    }

    void errorWords_data() {
        QTest::addColumn<bool>("network");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("words");
        QTest::newRow("CMS 300") << true << "300"
                                 << "ME failure (CMS ERROR 300)";
        QTest::newRow("CMS 302") << true << "302"
                                 << "operation not allowed (CMS ERROR 302)";
        QTest::newRow("CMS 303") << true << "303"
                                 << "operation not supported (CMS ERROR 303)";
        QTest::newRow("CMS 304") << true << "304"
                                 << "invalid PDU mode parameter (CMS ERROR 304)";
        QTest::newRow("CMS 305") << true << "305"
                                 << "invalid text mode parameter (CMS ERROR 305)";
        QTest::newRow("CMS 310") << true << "310"
                                 << "SIM not inserted (CMS ERROR 310)";
        QTest::newRow("CMS 311") << true << "311"
                                 << "SIM PIN required (CMS ERROR 311)";
        QTest::newRow("CMS 313") << true << "313"
                                 << "SIM failure (CMS ERROR 313)";
        QTest::newRow("CMS 314") << true << "314"
                                 << "SIM busy (CMS ERROR 314)";
        QTest::newRow("CMS 322") << true << "322"
                                 << "memory full (CMS ERROR 322)";
        QTest::newRow("CMS 330") << true << "330"
                                 << "SMSC address unknown (CMS ERROR 330)";
        QTest::newRow("CMS 331") << true << "331"
                                 << "no network service (CMS ERROR 331)";
        QTest::newRow("CMS 332") << true << "332"
                                 << "network timeout (CMS ERROR 332)";
        QTest::newRow("CMS 500") << true << "500"
                                 << "unknown error (CMS ERROR 500)";
        QTest::newRow("cause 1") << true << "1"
                                 << "unassigned (unallocated) number (CMS ERROR 1)";
        QTest::newRow("cause 8") << true << "8"
                                 << "operator determined barring (CMS ERROR 8)";
        QTest::newRow("cause 10") << true << "10"
                                  << "call barred (CMS ERROR 10)";
        QTest::newRow("cause 21") << true << "21"
                                  << "short message transfer rejected (CMS ERROR 21)";
        QTest::newRow("cause 38") << true << "38"
                                  << "network out of order (CMS ERROR 38)";
        QTest::newRow("cause 41") << true << "41"
                                  << "temporary failure (CMS ERROR 41)";
        QTest::newRow("cause 42") << true << "42"
                                  << "congestion (CMS ERROR 42)";
        QTest::newRow("cause 50") << true << "50"
                                  << "requested facility not subscribed (CMS ERROR 50)";
        QTest::newRow("CME 10 is not CMS 10") << false << "10"
                                              << "SIM not inserted (CME ERROR 10)";
        QTest::newRow("unknown") << true << "777"
                                 << "CMS ERROR 777";
        QTest::newRow("words from the modem") << false << "SIM busy"
                                              << "SIM busy";
        QTest::newRow("nothing") << true << ""
                                 << "CMS ERROR";
    }

    void errorWords() {
        QFETCH(bool, network);
        QFETCH(QString, code);
        QFETCH(QString, words);
        QCOMPARE(smsErrorText(network, code), words);
    }

    void readerSplitsAndDecidesOnce() {
        SmsAnswerReader reader;
        QVERIFY(!reader.feed(QStringLiteral("\r\n+CMGS: 1\r\n")));
        reader.start(QStringLiteral("hi"));
        QVERIFY(!reader.feed(QStringLiteral("\r\n+CMG")));
        const auto outcome = reader.feed(QStringLiteral("S: 1\r"));
        QVERIFY(outcome && outcome->accepted);
        QVERIFY(!reader.active());
        QVERIFY(!reader.feed(QStringLiteral("\r\nERROR\r\n")));
    }

    void overlongLineIsDropped() {
        SmsAnswerReader reader;
        reader.start(QStringLiteral("hi"));
        // Noise without a line end must neither grow without bound nor hide an answer
        // behind it: the line it ends in is dropped, the next one counts.
        QVERIFY(!reader.feed(QString(100000, QLatin1Char('E')) + QStringLiteral("\r\nERROR")));
        const auto outcome = reader.feed(QStringLiteral("\r\n"));
        QVERIFY(outcome && !outcome->accepted);
    }
};

QTEST_GUILESS_MAIN(TestSmsAnswer)
#include "tst_sms_answer.moc"
