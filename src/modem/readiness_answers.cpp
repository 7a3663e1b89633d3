#include "readiness_answers.h"

#include "serial/command_answer.h"
#include "sms_errors.h"

#include <QRegularExpression>
#include <array>
#include <utility>

namespace tarvex {
namespace {

constexpr int kLastRegistrationStatus = static_cast<int>(RegistrationStatus::AttachedRlos);
constexpr int kLastAccessTechnology = static_cast<int>(AccessTechnology::LteNrDual);

// +CSQ: rssi 0 is -113 dBm or less, each step 2 dB more, 31 is -51 dBm or more.
constexpr int kCsqFloorDbm = -113;
constexpr int kCsqStepDb = 2;
constexpr int kCsqHighest = 31;

// +CESQ: the highest level of each measurement; 99 (rxlev) and 255 (the others) are
// "not known", and so is anything else past the highest.
constexpr int kRxlevHighest = 63;
constexpr int kRxlevFloorDbm = -111;
constexpr int kRscpHighest = 96;
constexpr int kRscpFloorDbm = -121;
constexpr int kEcnoHighest = 49;
constexpr double kEcnoFloorDb = -24.5;
constexpr int kRsrqHighest = 34;
constexpr double kRsrqFloorDb = -20.0;
constexpr int kRsrpHighest = 97;
constexpr int kRsrpFloorDbm = -141;
constexpr double kHalfDbStep = 0.5;
constexpr qsizetype kCesqFields = 6;

// A UCS2 character written in hex, as modems set to AT+CSCS="UCS2" give the SMSC.
constexpr qsizetype kUcs2HexDigits = 4;
constexpr int kHexBase = 16;

const QString kQuectelRevision = QStringLiteral("Revision:");

QString unquoted(const QString& field) {
    QString text = field.trimmed();
    if (text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"')))
        text = text.mid(1, text.size() - 2);
    return text;
}

std::optional<int> number(const QString& field) {
    bool ok = false;
    const int value = unquoted(field).toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

// The fields of `line` when it is the answer named `name`.
std::optional<QStringList> fieldsOf(const QString& line, QLatin1StringView name) {
    if (answerName(line) != name)
        return std::nullopt;
    return answerFields(line);
}

// What follows the colon, without its quotes: "+CPIN: \"READY\"" gives READY.
QString valueOf(const QString& line) {
    return unquoted(line.mid(line.indexOf(QLatin1Char(':')) + 1));
}

std::optional<AccessTechnology> technologyFrom(const QString& field) {
    const auto act = number(field);
    if (!act || *act < 0 || *act > kLastAccessTechnology)
        return std::nullopt;
    return static_cast<AccessTechnology>(*act);
}

std::optional<int> level(const QString& field, int highest) {
    const auto value = number(field);
    if (!value || *value < 0 || *value > highest)
        return std::nullopt;
    return value;
}

// Decodes "002B0034003400370037" to "+44477" when every character is one a number has;
// anything else is taken as written.
QString decodedAddress(const QString& address) {
    static const QString numberCharacters = QStringLiteral("+0123456789*#");
    if (address.isEmpty() || address.size() % kUcs2HexDigits != 0)
        return address;
    QString decoded;
    for (qsizetype i = 0; i < address.size(); i += kUcs2HexDigits) {
        bool ok = false;
        const auto code = address.mid(i, kUcs2HexDigits).toUShort(&ok, kHexBase);
        if (!ok || !numberCharacters.contains(QChar(code)))
            return address;
        decoded.append(QChar(code));
    }
    return decoded;
}

using SimCode = std::pair<QLatin1StringView, SimLock>;

// Longer codes first: "SIM PIN2" must not be read as "SIM PIN".
constexpr std::array kSimCodes{
    SimCode{QLatin1StringView("READY"), SimLock::None},
    SimCode{QLatin1StringView("SIM PIN2"), SimLock::Pin2},
    SimCode{QLatin1StringView("SIM PUK2"), SimLock::Puk2},
    SimCode{QLatin1StringView("SIM PIN"), SimLock::Pin},
    SimCode{QLatin1StringView("SIM PUK"), SimLock::Puk},
    SimCode{QLatin1StringView("PH-SIM PIN"), SimLock::PhoneSimPin},
    SimCode{QLatin1StringView("PH-NET PIN"), SimLock::NetworkPin},
    SimCode{QLatin1StringView("PH-"), SimLock::OtherLock},
    SimCode{QLatin1StringView("NOT INSERTED"), SimLock::NotInserted},
    SimCode{QLatin1StringView("NOT READY"), SimLock::NotReady},
};

using ErrorWords = std::pair<int, QLatin1StringView>;

// What a modem set to +CMEE=2 says instead of the numbers.
constexpr std::array kMeErrorWords{
    ErrorWords{kCmeSimNotInserted, QLatin1StringView("SIM not inserted")},
    ErrorWords{kCmeSimPinRequired, QLatin1StringView("SIM PIN required")},
    ErrorWords{kCmeSimPukRequired, QLatin1StringView("SIM PUK required")},
    ErrorWords{kCmeSimFailure, QLatin1StringView("SIM failure")},
    ErrorWords{kCmeSimBusy, QLatin1StringView("SIM busy")},
    ErrorWords{kCmeSimWrong, QLatin1StringView("SIM wrong")},
    ErrorWords{kCmeNoNetworkService, QLatin1StringView("no network service")},
};

} // namespace

QString technologyName(AccessTechnology technology) {
    static const std::array<QString, kLastAccessTechnology + 1> names{
        QStringLiteral("GSM"),           QStringLiteral("GSM Compact"),
        QStringLiteral("UMTS"),          QStringLiteral("EDGE"),
        QStringLiteral("HSDPA"),         QStringLiteral("HSUPA"),
        QStringLiteral("HSPA"),          QStringLiteral("LTE"),
        QStringLiteral("EC-GSM-IoT"),    QStringLiteral("NB-IoT"),
        QStringLiteral("LTE (5G core)"), QStringLiteral("5G NR"),
        QStringLiteral("5G NG-RAN"),     QStringLiteral("5G NSA (LTE and NR)")};
    return names.at(static_cast<std::size_t>(technology));
}

int technologyGeneration(AccessTechnology technology) {
    switch (technology) {
    case AccessTechnology::Gsm:
    case AccessTechnology::GsmCompact:
    case AccessTechnology::Edge:
    case AccessTechnology::EcGsmIot:
        return 2;
    case AccessTechnology::Utran:
    case AccessTechnology::Hsdpa:
    case AccessTechnology::Hsupa:
    case AccessTechnology::Hspa:
        return 3;
    case AccessTechnology::Lte:
    case AccessTechnology::NbIot:
    case AccessTechnology::LteTo5gCore:
        return 4;
    case AccessTechnology::NrTo5gCore:
    case AccessTechnology::NgRan:
    case AccessTechnology::LteNrDual:
        return 5;
    }
    return 0;
}

std::optional<Registration> parseRegistration(const QString& line) {
    const QString name = answerName(line);
    if (name != QLatin1String("+CREG") && name != QLatin1String("+CGREG") &&
        name != QLatin1String("+CEREG"))
        return std::nullopt;
    QStringList fields = answerFields(line);
    if (!isRegistrationReport(fields))
        fields.removeFirst(); // <n>, the modem's reporting setting
    const auto stat = number(fields.value(0));
    if (!stat || *stat < 0)
        return std::nullopt;
    Registration registration;
    registration.status = *stat <= kLastRegistrationStatus ? static_cast<RegistrationStatus>(*stat)
                                                           : RegistrationStatus::Unknown;
    // Some +CEREG answers carry a routing area between the area and the cell:
    // <stat>,<tac>,<rac>,<ci>,<AcT>. A +CGREG's routing area comes last instead.
    const bool routingAreaSecond = name == QLatin1String("+CEREG") && fields.size() == 5;
    registration.area = unquoted(fields.value(1));
    registration.cell = unquoted(fields.value(routingAreaSecond ? 3 : 2));
    registration.technology = technologyFrom(fields.value(routingAreaSecond ? 4 : 3));
    return registration;
}

std::optional<SimStatus> parseSimStatus(const QString& line) {
    if (answerName(line) != QLatin1String("+CPIN"))
        return std::nullopt;
    const QString code = valueOf(line);
    for (const auto& [words, lock] : kSimCodes) {
        if (code.startsWith(words, Qt::CaseInsensitive))
            return SimStatus{lock, code};
    }
    return std::nullopt;
}

std::optional<MeError> parseMeError(const QString& line) {
    static const QRegularExpression error(QStringLiteral(R"(^\+CME ERROR:\s*(.*)$)"));
    const auto match = error.match(line.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const QString said = unquoted(match.captured(1));
    if (const auto code = number(said))
        return MeError{code, smsErrorText(false, said)};
    for (const auto& [code, words] : kMeErrorWords) {
        if (said.compare(words, Qt::CaseInsensitive) == 0)
            return MeError{code, said};
    }
    return MeError{std::nullopt, said};
}

std::optional<NetworkOperator> parseOperator(const QString& line) {
    const auto fields = fieldsOf(line, QLatin1StringView("+COPS"));
    if (!fields)
        return std::nullopt;
    const auto mode = number(fields->value(0));
    if (!mode)
        return std::nullopt;
    return NetworkOperator{*mode, unquoted(fields->value(2)), technologyFrom(fields->value(3))};
}

std::optional<SignalQuality> parseSignalQuality(const QString& line) {
    const auto fields = fieldsOf(line, QLatin1StringView("+CSQ"));
    if (!fields)
        return std::nullopt;
    const auto rssi = number(fields->value(0));
    if (!rssi)
        return std::nullopt;
    // 99 is "not known"; 100 to 191 are TD-SCDMA's own scale, which no GSM modem sends.
    if (*rssi < 0 || *rssi > kCsqHighest)
        return SignalQuality{};
    return SignalQuality{kCsqFloorDbm + kCsqStepDb * *rssi};
}

std::optional<ExtendedSignal> parseExtendedSignal(const QString& line) {
    const auto fields = fieldsOf(line, QLatin1StringView("+CESQ"));
    if (!fields || fields->size() < kCesqFields)
        return std::nullopt;
    for (const QString& field : *fields) {
        if (!number(field))
            return std::nullopt;
    }
    ExtendedSignal signal;
    if (const auto rxlev = level(fields->at(0), kRxlevHighest))
        signal.rxlevDbm = kRxlevFloorDbm + *rxlev;
    if (const auto rscp = level(fields->at(2), kRscpHighest))
        signal.rscpDbm = kRscpFloorDbm + *rscp;
    if (const auto ecno = level(fields->at(3), kEcnoHighest))
        signal.ecnoDb = kEcnoFloorDb + kHalfDbStep * *ecno;
    if (const auto rsrq = level(fields->at(4), kRsrqHighest))
        signal.rsrqDb = kRsrqFloorDb + kHalfDbStep * *rsrq;
    if (const auto rsrp = level(fields->at(5), kRsrpHighest))
        signal.rsrpDbm = kRsrpFloorDbm + *rsrp;
    return signal;
}

std::optional<ServiceCentre> parseServiceCentre(const QString& line) {
    const auto fields = fieldsOf(line, QLatin1StringView("+CSCA"));
    if (!fields)
        return std::nullopt;
    return ServiceCentre{decodedAddress(unquoted(fields->value(0))), number(fields->value(1))};
}

std::optional<int> parseFunctionality(const QString& line) {
    const auto fields = fieldsOf(line, QLatin1StringView("+CFUN"));
    return fields ? number(fields->value(0)) : std::nullopt;
}

std::optional<bool> parseTextModeOffered(const QString& line) {
    if (answerName(line) != QLatin1String("+CMGF"))
        return std::nullopt;
    // "(0,1)", "(0-1)", "(0)": text mode is 1, the highest a modem offers.
    static const QRegularExpression modeNumber(QStringLiteral(R"(\d+)"));
    std::optional<int> highest;
    for (const auto& match : modeNumber.globalMatch(valueOf(line))) {
        const int mode = match.captured().toInt();
        highest = std::max(highest.value_or(mode), mode);
    }
    if (!highest)
        return std::nullopt;
    return *highest >= 1;
}

std::optional<QString> parseIdentity(const QString& line, const QString& name) {
    QString text = line.trimmed();
    if (const QString named = answerName(text); !named.isEmpty()) {
        if (named != answerName(name))
            return std::nullopt;
        text = text.mid(text.indexOf(QLatin1Char(':')) + 1);
    }
    // Quectel's firmware answer is "Revision: EC25EFAR06A06M4G".
    if (text.trimmed().startsWith(kQuectelRevision, Qt::CaseInsensitive))
        text = text.trimmed().mid(kQuectelRevision.size());
    text = unquoted(text);
    if (text.isEmpty())
        return std::nullopt;
    return text;
}

} // namespace tarvex
