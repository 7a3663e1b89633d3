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

    // Every code of either table reads "words (CMS ERROR n)", checked over the tables
    // themselves: a code added there is covered here without a second copy.
    void everyKnownCodeHasItsWords_data() {
        QTest::addColumn<bool>("network");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("words");
        for (const bool network : {true, false}) {
            QVERIFY(!smsErrorTable(network).empty());
            for (const auto& [code, words] : smsErrorTable(network))
                QTest::addRow("%s %d", network ? "CMS" : "CME", code)
                    << network << code << QString::fromLatin1(words);
        }
    }
    void everyKnownCodeHasItsWords() {
        QFETCH(bool, network);
        QFETCH(int, code);
        QFETCH(QString, words);
        QVERIFY(!words.trimmed().isEmpty());
        // A code listed twice would give the first words for both: the second fails here.
        QCOMPARE(smsErrorText(network, QString::number(code)),
                 QStringLiteral("%1 (%2 ERROR %3)")
                     .arg(words, network ? QStringLiteral("CMS") : QStringLiteral("CME"))
                     .arg(code));
    }

    // What the tables cannot say about themselves: that each prefix reads its own
    // table, and what a code outside them, or no code at all, gives.
    void errorWords_data() {
        QTest::addColumn<bool>("network");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("words");
        QTest::newRow("CMS 10 is a network cause") << true << "10"
                                                   << "call barred (CMS ERROR 10)";
        QTest::newRow("CME 10 is the SIM") << false << "10"
                                           << "SIM not inserted (CME ERROR 10)";
        QTest::newRow("CMS 0: no such code") << true << "0"
                                             << "CMS ERROR 0";
        QTest::newRow("CME 0: the phone") << false << "0"
                                          << "phone failure (CME ERROR 0)";
        QTest::newRow("unknown CMS code") << true << "777"
                                          << "CMS ERROR 777";
        QTest::newRow("unknown CME code") << false << "777"
                                          << "CME ERROR 777";
        QTest::newRow("negative") << true << "-1"
                                  << "CMS ERROR -1";
        QTest::newRow("largest number") << true << "2147483647"
                                        << "CMS ERROR 2147483647";
        QTest::newRow("beyond any number: said as sent") << true << "2147483648"
                                                         << "2147483648";
        QTest::newRow("digits and more: said as sent") << true << "30x"
                                                       << "30x";
        QTest::newRow("words from the modem") << false << "SIM busy"
                                              << "SIM busy";
        QTest::newRow("nothing after CMS") << true << ""
                                           << "CMS ERROR";
        QTest::newRow("nothing after CME") << false << ""
                                           << "CME ERROR";
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
