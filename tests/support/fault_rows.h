#pragma once
// The faults a technician meets on the line, as tarvex-vmodem's switches and what
// the operator is shown: one table for the window on the real serial control
// (tests/faults) and for the real tarvex.exe under Wine (tests/wine).

#include <QList>
#include <QString>
#include <QStringList>
#include <QTest>

namespace tarvex::testing::fault_rows {

inline const QString kModemOk = QStringLiteral("GSM Modem OK");
inline const QString kRetry = QStringLiteral("Modem Not Found - Retry?");
inline const QString kSmsSend = QStringLiteral("SMS Send");

struct ModemTestRow {
    const char* name;
    QStringList args;
    QStringList expected; // every box after the test's click, in order; Retry answered No
};

inline QList<ModemTestRow> modemTestRows() {
    return {
        {"silent", {"--silent"}, {kRetry}},
        // Either side of the 2 s reply timer by far more than a loaded machine is late.
        {"answers after 0.5 s", {"--delay", "500"}, {kModemOk}},
        // The question comes first; the late OK still finds the modem.
        {"answers after 4 s", {"--delay", "4000"}, {kRetry, kModemOk}},
        // "ERROR" has an O but no K after it.
        {"ERROR to everything", {"--error-on", "*"}, {kRetry}},
        {"noise before and between answers",
         {"--noise", "200", "--noise-between", "50", "--seed", "11"},
         {kModemOk}},
    };
}

// As a technician does, the modem test comes first: until a test has finished, an
// O and a K in the SMS answers would count as the modem being found. A modem that
// answers ERROR to everything never passes it, so that row goes without.
struct SmsRow {
    const char* name;
    QStringList args;
    QString expected;
};

inline QList<SmsRow> smsRows() {
    return {
        {"accepted", {}, kSmsSend},
        {"ERROR to everything",
         {"--error-on", "*"},
         QStringLiteral("SMS Not Sent: the modem answered ERROR")},
        {"+CMS ERROR",
         {"--cms-error", "330"},
         QStringLiteral("SMS Not Sent: SMSC address unknown (CMS ERROR 330)")},
        {"noise between answers", {"--noise-between", "40", "--seed", "5"}, kSmsSend},
    };
}

// The tables as the data of a QtTest function: columns "args" and "expected".
inline void addModemTestRows() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("expected");
    for (const ModemTestRow& row : modemTestRows())
        QTest::newRow(row.name) << row.args << row.expected;
}
inline void addSmsRows() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("expected");
    for (const SmsRow& row : smsRows())
        QTest::newRow(row.name) << row.args << row.expected;
}

// 100 000 random bytes, written when the program's first byte arrives.
constexpr int kFloodBytes = 100'000;
inline QStringList floodArgs() {
    return {"--noise", QString::number(kFloodBytes), "--seed", "3"};
}

// The modem goes while the window waits for an SMS verdict: "AT+CMGF=1" CR LF,
// "AT+CMGS=" and the quoted number CR LF, then the text and Ctrl-Z are 38 bytes.
inline const QString kVanishNumber = QStringLiteral("+15551234567");
inline const QString kVanishText = QStringLiteral("Hi");
inline QStringList vanishWaitingForVerdictArgs() {
    return {"--silent", "--vanish-after-bytes", "38"};
}

} // namespace tarvex::testing::fault_rows
