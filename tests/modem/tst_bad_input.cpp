// Whatever the operator types or pastes into the number and the body: the message
// they see, and proof that nothing but a well-formed submission reaches the line.

#include "connected_suite.h"
#include "fake_world.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace tarvex;
using namespace tarvex::testing;

namespace {

// Expected outcome of a row: a message (nothing sent), or the submission on the line.
const QString kSent = QStringLiteral("<sent>");

QString ch(char16_t c) {
    return QString(QChar(c));
}

} // namespace

class TestBadInput : public ConnectedSuite<FakeWorld> {
    Q_OBJECT

private slots:
    void submission_data() {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("body"); // pasted: the box keeps what fits
        QTest::addColumn<QString>("outcome");
        const QString ok = QStringLiteral("Hello");
        const QString num = QStringLiteral("+15551234567");
        const QString badNumber = QStringLiteral("Invalid Mobile Number");
        const QString badBody = QStringLiteral("Invalid SMS Data");

        // A quote would end the quoted number and let the rest become a command.
        QTest::newRow("number: quote") << "+91\"98" << ok << badNumber;
        QTest::newRow("number: injected dial command") << "1\";ATD112;\"" << ok << badNumber;
        QTest::newRow("number: CR") << "+91\r98" << ok << badNumber;
        QTest::newRow("number: LF") << "+91\n98" << ok << badNumber;
        QTest::newRow("number: Ctrl-Z") << "+91" + ch(26) << ok << badNumber;
        QTest::newRow("number: ESC") << "+91" + ch(27) << ok << badNumber;
        QTest::newRow("number: NUL") << "+91" + ch(0) + "98" << ok << badNumber;
        QTest::newRow("number: tab") << "+91\t98" << ok << badNumber;
        QTest::newRow("number: emoji") << QStringLiteral("+91😀") << ok << badNumber;
        QTest::newRow("number: Arabic-Indic digits") << QStringLiteral("+٩١٢٣") << ok << badNumber;
        QTest::newRow("number: right-to-left mark") << "+91" + ch(0x200F) + "98" << ok << badNumber;
        QTest::newRow("number: empty") << "" << ok << "Enter Mobile Number";
        // Printable ASCII goes out as typed; the modem judges it.
        QTest::newRow("number: spaces only") << "   " << ok << kSent;
        QTest::newRow("number: with spaces and dashes") << "+91 98-76" << ok << kSent;
        // An SMS address holds 20 digits; with its "+" a number has 21 characters.
        QTest::newRow("number: 21 characters")
            << "+" + QString(20, QLatin1Char('9')) << ok << kSent;
        QTest::newRow("number: 22 characters")
            << "+" + QString(21, QLatin1Char('9')) << ok
            << "Invalid Mobile Number: 22 characters, at most 21 fit in an SMS (20 digits and a "
               "leading +)";
        // A line edit keeps 32 767 characters of a paste; refused before anything is sent.
        QTest::newRow("number: 40 000 digits pasted")
            << QString(40'000, QLatin1Char('9')) << ok
            << "Invalid Mobile Number: 32767 characters, at most 21 fit in an SMS (20 digits and "
               "a leading +)";

        QTest::newRow("body: quotes") << num << "say \"hi\" 'there'" << kSent;
        QTest::newRow("body: CR") << num << "one\rtwo" << badBody;
        QTest::newRow("body: LF") << num << "one\ntwo" << badBody;
        QTest::newRow("body: Ctrl-Z ends it early") << num << "one" + ch(26) + "AT" << badBody;
        QTest::newRow("body: ESC") << num << "one" + ch(27) << badBody;
        QTest::newRow("body: NUL") << num << "one" + ch(0) + "two" << badBody;
        QTest::newRow("body: tab") << num << "one\ttwo" << badBody;
        QTest::newRow("body: DEL") << num << "one" + ch(0x7F) << badBody;
        QTest::newRow("body: emoji") << num << QStringLiteral("hi 👋") << badBody;
        QTest::newRow("body: accented Latin-1") << num << QStringLiteral("café") << badBody;
        QTest::newRow("body: Hebrew, right to left") << num << QStringLiteral("שלום") << badBody;
        QTest::newRow("body: line separator") << num << "a" + ch(0x2028) + "b" << badBody;
        QTest::newRow("body: format directives") << num << "%s%n%d\\0{}" << kSent;
        QTest::newRow("body: AT command text") << num << "AT+CMGD=1,4" << kSent;
        QTest::newRow("body: spaces only") << num << "   " << kSent;
        QTest::newRow("body: 35 characters") << num << QString(35, QLatin1Char('x')) << kSent;
        QTest::newRow("body: 10 000 characters")
            << num << QString(10'000, QLatin1Char('y')) << kSent;
        QTest::newRow("body: empty") << num << ""
                                     << "Enter SMS Data";
        QTest::newRow("both bad: the number is named") << "+91\""
                                                       << "a\rb" << badNumber;
    }

    void submission() {
        QFETCH(QString, number);
        QFETCH(QString, body);
        QFETCH(QString, outcome);
        FakeWorld& world = *world_;
        world.window->txtMobileNo->clear();
        world.window->txtMobileNo->insert(number);
        world.window->txtDat->insert(body);
        const QString kept = world.window->txtDat->text();
        QCOMPARE(kept, body.left(34)); // what a paste leaves in the box
        const QString typed = world.window->txtMobileNo->text();
        QCOMPARE(typed, number.left(32767));

        const qint64 clicked = world.clock.now();
        world.window->Command7->click();

        if (outcome == kSent) {
            QVERIFY(world.boxes->shown.isEmpty());
            QCOMPARE(world.serial->wire(),
                     "AT+CMGF=1\r\nAT+CMGS=\"" + typed + "\"\r\n" + kept + QChar(26));
            QVERIFY(world.window->smsInProgress());
            return;
        }
        QCOMPARE(world.boxes->texts(), QStringList{outcome});
        // Refused at once: nothing on the line, no pause taken.
        QVERIFY2(world.serial->wire().isEmpty(), qPrintable(world.serial->wire().left(80)));
        QCOMPARE(world.clock.now(), clicked);
        QVERIFY(!world.window->smsInProgress());
        QVERIFY(world.window->Command7->isEnabled());
        QCOMPARE(world.window->txtMobileNo->text(), typed); // kept for correcting
        QCOMPARE(world.window->txtDat->text(), kept);
    }
};

QTEST_MAIN(TestBadInput)
#include "tst_bad_input.moc"
