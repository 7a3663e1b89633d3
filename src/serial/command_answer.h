#pragma once
// One AT command's answer as the command runner gathers it, and the lines that come
// unasked in the middle of one.

#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace tarvex {

// One AT command's answer: the lines between the command and its final result code.
struct CommandAnswer {
    enum class Final { Ok, Error, CmeError, CmsError, TimedOut };
    Final final = Final::TimedOut;
    QStringList lines; // information lines, unsolicited ones already set aside
    QString finalLine; // "OK", "ERROR", "+CME ERROR: 14", ...; empty when timed out
};

// "+CREG" for the command "AT+CREG?", "+CREG?" or "+CMGF=?", and for the line "+CREG: 0,1";
// empty for a line without a name ("OK", "Quectel").
inline QString answerName(const QString& text) {
    QString name = text.trimmed();
    if (name.startsWith(QLatin1String("AT"), Qt::CaseInsensitive))
        name.remove(0, 2);
    if (!name.startsWith(QLatin1Char('+')) && !name.startsWith(QLatin1Char('^')))
        return {};
    static const QRegularExpression nameEnd(QStringLiteral("[:?=]"));
    const qsizetype end = name.indexOf(nameEnd);
    return (end < 0 ? name : name.left(end)).trimmed().toUpper();
}

// The fields after the colon, trimmed; a comma inside quotes stays in its field.
inline QStringList answerFields(const QString& line) {
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return {};
    QStringList fields{QString()};
    bool quoted = false;
    for (const QChar c : line.mid(colon + 1)) {
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        if (c == QLatin1Char(',') && !quoted)
            fields.append(QString());
        else
            fields.last().append(c);
    }
    for (QString& field : fields)
        field = field.trimmed();
    return fields;
}

// A +CREG/+CGREG/+CEREG line comes in two shapes: the read answer <n>,<stat>[,<lac>,<ci>...]
// and the unsolicited report <stat>[,<lac>,<ci>...]. Their second field tells them apart:
// a <stat> is a bare number of one or two digits, a <lac> is quoted or longer (or empty,
// as in the Novatel's "+CREG: 2,,"), much as ModemManager decides.
inline bool isRegistrationReport(const QStringList& fields) {
    static const QRegularExpression stat(QStringLiteral(R"(^\d{1,2}$)"));
    return fields.size() < 2 || !stat.match(fields.at(1)).hasMatch();
}

// Whether `line` came unasked while `command` was waiting for its answer: a ring, a new
// message, a caller's number, a status report, a registration change, a SIM that has
// just come up. None of them ends or belongs to the answer.
inline bool isUnsolicited(const QString& line, const QString& command) {
    const QString text = line.trimmed();
    // SIMCom and Quectel announce their start with bare words; a ring has no name either.
    static const QStringList bareWords{QStringLiteral("RING"), QStringLiteral("RDY"),
                                       QStringLiteral("Call Ready"), QStringLiteral("SMS Ready")};
    if (bareWords.contains(text))
        return true;
    const QString name = answerName(text);
    const QString asked = answerName(command);
    // Huawei's own reports (^RSSI, ^MODE, ^BOOT) only ever come unasked from Tarvex.
    if (name.startsWith(QLatin1Char('^')))
        return name != asked;
    static const QStringList reports{
        QStringLiteral("+CMTI"), QStringLiteral("+CMT"),  QStringLiteral("+CDS"),
        QStringLiteral("+CDSI"), QStringLiteral("+CBM"),  QStringLiteral("+CLIP"),
        QStringLiteral("+CIEV"), QStringLiteral("+CUSD"), QStringLiteral("+CPIN")};
    static const QStringList registrations{QStringLiteral("+CREG"), QStringLiteral("+CGREG"),
                                           QStringLiteral("+CEREG")};
    if (registrations.contains(name))
        return name != asked || isRegistrationReport(answerFields(text));
    return reports.contains(name) && name != asked;
}

} // namespace tarvex
