#include "readiness_report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <array>

namespace tarvex {
namespace {

// Signal words after Teltonika's "Mobile Signal Strength Recommendations" (docs/monitoring.md):
// RSSI above -70 dBm excellent, down to -85 good, to -100 fair, above -110 poor, and
// below that very weak; RSRP from -80 dBm excellent, from -90 good, above -100 fair.
constexpr int kRssiExcellentAboveDbm = -70;
constexpr int kRssiGoodFromDbm = -85;
constexpr int kRssiFairFromDbm = -100;
constexpr int kRssiPoorAboveDbm = -110;
constexpr int kRsrpExcellentFromDbm = -80;
constexpr int kRsrpGoodFromDbm = -90;
constexpr int kRsrpFairAboveDbm = -100;

constexpr int kDurationDecimals = 3;

const QString kNotReported = QStringLiteral("not reported by the modem");
const QString kReady = QStringLiteral("Ready to send SMS.");

// The lowest first: of +CREG, +CGREG and +CEREG the one furthest along is reported,
// as an LTE modem is often registered on +CEREG alone.
constexpr std::array kRegistrationProgress{RegistrationStatus::NotSearching,
                                           RegistrationStatus::Unknown,
                                           RegistrationStatus::Denied,
                                           RegistrationStatus::Searching,
                                           RegistrationStatus::AttachedRlos,
                                           RegistrationStatus::EmergencyOnly,
                                           RegistrationStatus::SmsOnlyRoaming,
                                           RegistrationStatus::SmsOnlyHome,
                                           RegistrationStatus::CsfbNotPreferredRoaming,
                                           RegistrationStatus::CsfbNotPreferredHome,
                                           RegistrationStatus::Roaming,
                                           RegistrationStatus::Home};

std::ptrdiff_t progress(RegistrationStatus status) {
    return std::find(kRegistrationProgress.begin(), kRegistrationProgress.end(), status) -
           kRegistrationProgress.begin();
}

bool isRegistered(RegistrationStatus status) {
    return progress(status) >= progress(RegistrationStatus::SmsOnlyRoaming);
}

bool isRoaming(RegistrationStatus status) {
    return status == RegistrationStatus::Roaming || status == RegistrationStatus::SmsOnlyRoaming ||
           status == RegistrationStatus::CsfbNotPreferredRoaming;
}

bool isSmsOnly(RegistrationStatus status) {
    return status == RegistrationStatus::SmsOnlyHome ||
           status == RegistrationStatus::SmsOnlyRoaming;
}

// The words scripts match on, by <stat>.
constexpr auto kRegistrationStatuses =
    static_cast<std::size_t>(RegistrationStatus::AttachedRlos) + 1;
const std::array<QString, kRegistrationStatuses> kRegistrationTokens{
    QStringLiteral("not_searching"),
    QStringLiteral("home"),
    QStringLiteral("searching"),
    QStringLiteral("denied"),
    QStringLiteral("unknown"),
    QStringLiteral("roaming"),
    QStringLiteral("sms_only_home"),
    QStringLiteral("sms_only_roaming"),
    QStringLiteral("emergency_only"),
    QStringLiteral("csfb_not_preferred_home"),
    QStringLiteral("csfb_not_preferred_roaming"),
    QStringLiteral("attached_rlos")};

QString registrationToken(RegistrationStatus status) {
    return kRegistrationTokens.at(static_cast<std::size_t>(status));
}

// Each empty when the modem did not tell.
QString operatorName(const Findings& findings) {
    return findings.networkOperator ? findings.networkOperator->name : QString();
}

QString technologyText(const Findings& findings) {
    return findings.technology ? technologyName(*findings.technology) : QString();
}

QString registrationText(const Findings& findings) {
    return findings.registration ? registrationToken(findings.registration->status) : QString();
}

template <typename Parse>
auto firstAnswer(const CommandAnswer& answer, Parse parse) -> decltype(parse(QString())) {
    for (const QString& line : answer.lines) {
        if (auto found = parse(line))
            return found;
    }
    return std::nullopt;
}

SimState simStateOf(SimLock lock) {
    switch (lock) {
    case SimLock::None:
    case SimLock::Pin2: // PIN2 guards fixed dialling and the like, not SMS
    case SimLock::Puk2:
        return SimState::Ready;
    case SimLock::Pin:
        return SimState::PinRequired;
    case SimLock::Puk:
        return SimState::PukRequired;
    case SimLock::PhoneSimPin:
    case SimLock::NetworkPin:
    case SimLock::OtherLock:
        return SimState::Locked;
    case SimLock::NotInserted:
        return SimState::NotInserted;
    case SimLock::NotReady:
        return SimState::Busy;
    }
    return SimState::Unknown;
}

SimState simStateOf(const MeError& error) {
    switch (error.code.value_or(-1)) {
    case kCmeSimNotInserted:
        return SimState::NotInserted;
    case kCmeSimPinRequired:
        return SimState::PinRequired;
    case kCmeSimPukRequired:
        return SimState::PukRequired;
    case kCmeSimFailure:
        return SimState::Failure;
    case kCmeSimBusy:
        return SimState::Busy;
    case kCmeSimWrong:
        return SimState::Wrong;
    default:
        return SimState::Unknown;
    }
}

void readSim(const CommandAnswer& answer, Findings& findings) {
    if (const auto status = firstAnswer(answer, parseSimStatus)) {
        findings.sim = simStateOf(status->lock);
        findings.simAnswer = status->code;
        return;
    }
    // Without a SIM most modems refuse the question itself: "+CME ERROR: 10".
    const auto error = answer.final == CommandAnswer::Final::CmeError
                           ? parseMeError(answer.finalLine)
                           : std::nullopt;
    if (error && simStateOf(*error) != SimState::Unknown) {
        findings.sim = simStateOf(*error);
        findings.simAnswer = answer.finalLine.trimmed();
    }
    // Every modem knows +CPIN?; with its error reports off (+CMEE=0) a missing SIM, a
    // failed one and one that stayed busy through the dialogue's wait all say ERROR.
    if (answer.final == CommandAnswer::Final::Error) {
        findings.sim = SimState::Failure;
        findings.simAnswer = QStringLiteral("ERROR: no SIM, or one it cannot read");
    }
}

SignalWord rssiWord(int dbm) {
    if (dbm > kRssiExcellentAboveDbm)
        return SignalWord::Excellent;
    if (dbm >= kRssiGoodFromDbm)
        return SignalWord::Good;
    if (dbm >= kRssiFairFromDbm)
        return SignalWord::Fair;
    if (dbm > kRssiPoorAboveDbm)
        return SignalWord::Poor;
    return SignalWord::VeryWeak;
}

// Teltonika calls RSRP at -100 dBm and below "no signal"; a modem that measured a cell
// has one, so Tarvex calls it poor and leaves the verdict to the RSSI.
SignalWord rsrpWord(int dbm) {
    if (dbm >= kRsrpExcellentFromDbm)
        return SignalWord::Excellent;
    if (dbm >= kRsrpGoodFromDbm)
        return SignalWord::Good;
    if (dbm > kRsrpFairAboveDbm)
        return SignalWord::Fair;
    return SignalWord::Poor;
}

// For scripts; people read it with blanks for the underscores.
QString signalToken(SignalWord word) {
    static const std::array<QString, static_cast<std::size_t>(SignalWord::Excellent) + 1> words{
        QString(),
        QStringLiteral("none"),
        QStringLiteral("very_weak"),
        QStringLiteral("poor"),
        QStringLiteral("fair"),
        QStringLiteral("good"),
        QStringLiteral("excellent")};
    return words.at(static_cast<std::size_t>(word));
}

QString signalWords(SignalWord word) {
    return signalToken(word).replace(QLatin1Char('_'), QLatin1Char(' '));
}

// "LTE RSRP -96 dBm, RSRQ -10 dB": what +CESQ adds beyond the RSSI.
QString signalDetails(const ExtendedSignal& signal, bool withRsrp) {
    QStringList lte;
    if (withRsrp && signal.rsrpDbm)
        lte << QStringLiteral("RSRP %1 dBm").arg(*signal.rsrpDbm);
    if (signal.rsrqDb)
        lte << QStringLiteral("RSRQ %1 dB").arg(QString::number(*signal.rsrqDb));
    QStringList umts;
    if (signal.rscpDbm)
        umts << QStringLiteral("RSCP %1 dBm").arg(*signal.rscpDbm);
    if (signal.ecnoDb)
        umts << QStringLiteral("Ec/N0 %1 dB").arg(QString::number(*signal.ecnoDb));
    QStringList parts;
    if (!lte.isEmpty())
        parts << (withRsrp ? QStringLiteral("LTE ") : QString()) + lte.join(QStringLiteral(", "));
    if (!umts.isEmpty())
        parts << QStringLiteral("UMTS ") + umts.join(QStringLiteral(", "));
    return parts.join(QStringLiteral("; "));
}

QString signalDescription(const Findings& findings) {
    const SignalWord word = signalWord(findings);
    const ExtendedSignal extended = findings.extendedSignal.value_or(ExtendedSignal{});
    QString text;
    QString details;
    if (const auto dbm = signalDbm(findings)) {
        text = QStringLiteral("%1 dBm, ").arg(*dbm) + signalWords(word);
        details = signalDetails(extended, true);
    } else if (extended.rsrpDbm) {
        text = QStringLiteral("LTE RSRP %1 dBm, ").arg(*extended.rsrpDbm) + signalWords(word);
        details = signalDetails(extended, false);
    } else if (word == SignalWord::None) {
        return QStringLiteral("none (+CSQ: 99)");
    } else {
        details = signalDetails(extended, true);
        return details.isEmpty() ? kNotReported : details;
    }
    return details.isEmpty() ? text : text + QStringLiteral(" (") + details + QLatin1Char(')');
}

QString technologyDescription(const Findings& findings) {
    if (!findings.technology)
        return {};
    QString name = technologyName(*findings.technology);
    if (findings.technologyAssumed)
        name += QStringLiteral(" (assumed: the modem knows no LTE)");
    return name;
}

QString unregisteredWords(RegistrationStatus status) {
    switch (status) {
    case RegistrationStatus::NotSearching:
        return QStringLiteral("not registered, not searching");
    case RegistrationStatus::Searching:
        return QStringLiteral("not registered, searching");
    case RegistrationStatus::Denied:
        return QStringLiteral("registration denied");
    case RegistrationStatus::EmergencyOnly:
        return QStringLiteral("emergency calls only");
    case RegistrationStatus::AttachedRlos:
        return QStringLiteral("attached for restricted local operator services only");
    default:
        return QStringLiteral("registration state unknown");
    }
}

QString networkDescription(const Findings& findings) {
    const QString name = operatorName(findings);
    const QString quoted = name.isEmpty() ? QString() : QLatin1Char('"') + name + QLatin1Char('"');
    QString text;
    if (!findings.registration) {
        text = QStringLiteral("registration ") + kNotReported;
        if (!quoted.isEmpty())
            text += QStringLiteral(", operator ") + quoted;
    } else if (const RegistrationStatus status = findings.registration->status;
               isRegistered(status)) {
        text = isSmsOnly(status) ? QStringLiteral("registered for SMS only, ")
                                 : QStringLiteral("registered, ");
        if (isRoaming(status))
            text += quoted.isEmpty() ? QStringLiteral("roaming")
                                     : QStringLiteral("roaming on ") + quoted;
        else
            text += QStringLiteral("home network") +
                    (quoted.isEmpty() ? QString() : QLatin1Char(' ') + quoted);
    } else {
        text = unregisteredWords(status);
        if (!quoted.isEmpty())
            text += QStringLiteral(", ") + quoted;
    }
    const QString technology = technologyDescription(findings);
    return technology.isEmpty() ? text : text + QStringLiteral(", ") + technology;
}

struct SimWords {
    SimState state;
    QLatin1StringView token; // for scripts
    QLatin1StringView words; // for people
};
constexpr std::array kSimWords{
    SimWords{SimState::Ready, QLatin1StringView("ready"), QLatin1StringView("ready")},
    SimWords{SimState::PinRequired, QLatin1StringView("pin_required"),
             QLatin1StringView("asks for its PIN")},
    SimWords{SimState::PukRequired, QLatin1StringView("puk_required"),
             QLatin1StringView("blocked, asks for its PUK")},
    SimWords{SimState::Locked, QLatin1StringView("locked"),
             QLatin1StringView("the modem is locked to another SIM or network")},
    SimWords{SimState::NotInserted, QLatin1StringView("not_inserted"),
             QLatin1StringView("not inserted")},
    SimWords{SimState::Failure, QLatin1StringView("failure"), QLatin1StringView("failed")},
    SimWords{SimState::Wrong, QLatin1StringView("wrong"),
             QLatin1StringView("not accepted by the modem")},
    SimWords{SimState::Busy, QLatin1StringView("busy"), QLatin1StringView("still starting up")},
};

// Nothing for a SIM the modem did not tell of.
std::optional<SimWords> simWordsOf(SimState sim) {
    const auto found = std::find_if(kSimWords.begin(), kSimWords.end(),
                                    [sim](const SimWords& words) { return words.state == sim; });
    return found == kSimWords.end() ? std::nullopt : std::optional<SimWords>(*found);
}

QString simDescription(const Findings& findings) {
    const auto words = simWordsOf(findings.sim);
    if (!words)
        return kNotReported;
    const QString text = words->words;
    if (findings.sim == SimState::Ready &&
        findings.simAnswer.compare(QLatin1String("READY"), Qt::CaseInsensitive) != 0)
        return text + QStringLiteral(" (") + findings.simAnswer +
               QStringLiteral(" asked for, which SMS does not need)");
    if (findings.sim == SimState::Ready || findings.simAnswer.isEmpty())
        return text;
    return text + QStringLiteral(" (") + findings.simAnswer + QLatin1Char(')');
}

QString modemDescription(const Findings& findings) {
    QStringList parts;
    const QString name = (findings.manufacturer + QLatin1Char(' ') + findings.model).trimmed();
    if (!name.isEmpty())
        parts << name;
    if (!findings.firmware.isEmpty())
        parts << QStringLiteral("firmware ") + findings.firmware;
    if (!findings.imei.isEmpty())
        parts << QStringLiteral("IMEI ") + findings.imei;
    return parts.isEmpty() ? kNotReported : parts.join(QStringLiteral(", "));
}

QString serviceCentreDescription(const Findings& findings) {
    if (!findings.serviceCentre)
        return kNotReported;
    if (findings.serviceCentre->address.isEmpty())
        return QStringLiteral("none set");
    return findings.serviceCentre->address;
}

QString verdictLine(const Verdict& verdict) {
    return verdict.ready() ? kReady
                           : QStringLiteral("Not ready: ") + verdict.reason + QLatin1Char('.');
}

Verdict blocked(Verdict verdict, Blocker blocker, const QString& reason, const QString& action) {
    verdict.blocker = blocker;
    verdict.reason = reason;
    verdict.action = action;
    return verdict;
}

QStringList notesFor(const Findings& findings) {
    QStringList notes;
    if (!findings.registration || !isRegistered(findings.registration->status) ||
        !findings.technology)
        return notes;
    // Operators are closing their 2G and 3G networks; what works there today may not next year.
    const int generation = technologyGeneration(*findings.technology);
    constexpr int kLastClosingGeneration = 3;
    if (generation <= kLastClosingGeneration) {
        notes << QStringLiteral("Registered on %1G (%2) only: SMS goes only as long as the "
                                "operator keeps its %1G network running.")
                     .arg(QString::number(generation), technologyName(*findings.technology));
    }
    return notes;
}

Verdict simVerdict(const Verdict& verdict, const Findings& findings) {
    const QString answer = findings.simAnswer.isEmpty()
                               ? QString()
                               : QStringLiteral(" (") + findings.simAnswer + QLatin1Char(')');
    switch (findings.sim) {
    case SimState::NotInserted:
        return blocked(verdict, Blocker::SimNotInserted,
                       QStringLiteral("no SIM is inserted") + answer,
                       QStringLiteral("Power the modem off, insert a SIM the right way round, and "
                                      "check again."));
    case SimState::PinRequired:
        return blocked(verdict, Blocker::SimPinRequired,
                       QStringLiteral("the SIM asks for its PIN") + answer,
                       QStringLiteral("Enter the PIN once with another tool (AT+CPIN=\"<PIN>\"), "
                                      "or turn the PIN request off in a phone."));
    case SimState::PukRequired:
        return blocked(verdict, Blocker::SimPukRequired,
                       QStringLiteral("the SIM is blocked and asks for its PUK") + answer,
                       QStringLiteral("Unblock it in a phone with the PUK from the operator."));
    case SimState::Locked:
        return blocked(verdict, Blocker::SimLocked,
                       QStringLiteral("the modem is locked to another SIM or network") + answer,
                       QStringLiteral("Use a SIM of the network the modem is locked to, or ask "
                                      "its supplier for the unlock code."));
    case SimState::Failure:
    case SimState::Wrong:
        return blocked(verdict, Blocker::SimFailure,
                       QStringLiteral("the modem cannot use the SIM") + answer,
                       QStringLiteral("Power the modem off and reseat the SIM; if it fails in a "
                                      "phone too, ask the operator for a new one."));
    case SimState::Busy:
        return blocked(verdict, Blocker::SimBusy,
                       QStringLiteral("the SIM is still starting up") + answer,
                       QStringLiteral("Wait a few seconds and check again; if it stays busy, "
                                      "reseat the SIM."));
    case SimState::Unknown:
    case SimState::Ready:
        break;
    }
    return verdict;
}

Verdict registrationVerdict(const Verdict& verdict, const Findings& findings) {
    const RegistrationStatus status = findings.registration->status;
    const QString technology = findings.technology ? technologyName(*findings.technology)
                                                   : QStringLiteral("this technology");
    switch (status) {
    case RegistrationStatus::Searching:
        return blocked(verdict, Blocker::Searching,
                       QStringLiteral("not registered, the modem is still searching for a network"),
                       QStringLiteral("Wait a minute and check again; if it keeps searching, check "
                                      "the antenna, and that an operator runs the modem's "
                                      "technologies here."));
    case RegistrationStatus::NotSearching:
        return blocked(verdict, Blocker::NotSearching,
                       QStringLiteral("not registered, and the modem is not searching"),
                       QStringLiteral("Check that the SIM is active and that a network of the "
                                      "modem's technologies covers this place: operators have "
                                      "switched many 2G and 3G networks off."));
    case RegistrationStatus::Denied:
        return blocked(verdict, Blocker::Denied,
                       QStringLiteral("the network denied the registration: the SIM may not be "
                                      "allowed on ") +
                           technology,
                       QStringLiteral("Ask the operator whether the SIM is active, not barred, "
                                      "and allowed on ") +
                           technology +
                           QStringLiteral(" (an LTE-only modem needs a SIM with LTE service)."));
    case RegistrationStatus::EmergencyOnly:
        return blocked(verdict, Blocker::EmergencyOnly,
                       QStringLiteral("the network allows emergency calls only"),
                       QStringLiteral("Check that the SIM is active and may use this network "
                                      "(roaming allowed), or try another place."));
    default:
        return blocked(verdict, Blocker::NotRegistered,
                       QStringLiteral("not registered (") + networkDescription(findings) +
                           QLatin1Char(')'),
                       QStringLiteral("Check again in a minute; then check the antenna and the "
                                      "SIM."));
    }
}

QString labelValue(QString value) {
    value.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    value.replace(QLatin1Char('"'), QLatin1String("\\\""));
    value.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return QLatin1Char('"') + value + QLatin1Char('"');
}

void addMetric(QString& out, const QString& name, const QString& help, const QString& sample) {
    out += QStringLiteral("# HELP ") + name + QLatin1Char(' ') + help + QLatin1Char('\n');
    out += QStringLiteral("# TYPE ") + name + QStringLiteral(" gauge\n");
    out += name + sample + QLatin1Char('\n');
}

QJsonValue textOrNull(const QString& text) {
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

template <typename Number> QJsonValue numberOrNull(const std::optional<Number>& value) {
    return value ? QJsonValue(*value) : QJsonValue();
}

} // namespace

Findings findingsFrom(const QHash<QString, CommandAnswer>& answers) {
    Findings findings;
    const auto identity = [&answers](const QString& query) {
        const auto read = [&query](const QString& line) { return parseIdentity(line, query); };
        return firstAnswer(answers.value(query), read).value_or(QString());
    };
    findings.manufacturer = identity(QStringLiteral("+CGMI"));
    findings.model = identity(QStringLiteral("+CGMM"));
    findings.firmware = identity(QStringLiteral("+CGMR"));
    findings.imei = identity(QStringLiteral("+CGSN"));
    findings.functionality =
        firstAnswer(answers.value(QStringLiteral("+CFUN?")), parseFunctionality);
    readSim(answers.value(QStringLiteral("+CPIN?")), findings);

    const QString cereg = QStringLiteral("+CEREG?");
    for (const QString& query : {cereg, QStringLiteral("+CGREG?"), QStringLiteral("+CREG?")}) {
        const QString name = answerName(query);
        const auto read = [&name](const QString& line) {
            return answerName(line) == name ? parseRegistration(line) : std::nullopt;
        };
        const auto registration = firstAnswer(answers.value(query), read);
        if (registration && (!findings.registration || progress(registration->status) >
                                                           progress(findings.registration->status)))
            findings.registration = registration;
    }
    findings.networkOperator = firstAnswer(answers.value(QStringLiteral("+COPS?")), parseOperator);
    findings.signal = firstAnswer(answers.value(QStringLiteral("+CSQ")), parseSignalQuality);
    const QString cesq = QStringLiteral("+CESQ");
    findings.extendedSignal = firstAnswer(answers.value(cesq), parseExtendedSignal);
    findings.serviceCentre =
        firstAnswer(answers.value(QStringLiteral("+CSCA?")), parseServiceCentre);
    findings.textMode = firstAnswer(answers.value(QStringLiteral("+CMGF=?")), parseTextModeOffered);

    for (const QString& query : kReadinessQueries) {
        const auto answer = answers.find(query);
        if (answer != answers.end() && (answer->final == CommandAnswer::Final::Error ||
                                        answer->final == CommandAnswer::Final::TimedOut))
            findings.unsupported << query;
    }

    if (findings.registration && findings.registration->technology)
        findings.technology = findings.registration->technology;
    else if (findings.networkOperator && findings.networkOperator->technology)
        findings.technology = findings.networkOperator->technology;
    // A SIM800 or SIM900 names no technology anywhere; a modem that answers neither the LTE
    // registration nor the extended signal query, and names none, is taken to be one.
    const bool knowsNoLte =
        findings.unsupported.contains(cereg) && findings.unsupported.contains(cesq);
    if (!findings.technology && knowsNoLte && findings.registration &&
        isRegistered(findings.registration->status)) {
        findings.technology = AccessTechnology::Gsm;
        findings.technologyAssumed = true;
    }
    return findings;
}

std::optional<int> signalDbm(const Findings& findings) {
    if (findings.signal && findings.signal->rssiDbm)
        return findings.signal->rssiDbm;
    return findings.extendedSignal ? findings.extendedSignal->rxlevDbm : std::nullopt;
}

SignalWord signalWord(const Findings& findings) {
    if (const auto dbm = signalDbm(findings))
        return rssiWord(*dbm);
    const ExtendedSignal extended = findings.extendedSignal.value_or(ExtendedSignal{});
    if (extended.rsrpDbm)
        return rsrpWord(*extended.rsrpDbm);
    const bool measured = extended.rscpDbm || extended.ecnoDb || extended.rsrqDb;
    if ((findings.signal || findings.extendedSignal) && !measured)
        return SignalWord::None;
    return SignalWord::Unknown;
}

Verdict verdictFor(const Findings& findings) {
    Verdict verdict;
    verdict.notes = notesFor(findings);
    if (findings.functionality == kMinimumFunctionality ||
        findings.functionality == kRadioOffFunctionality)
        return blocked(
            verdict, Blocker::RadioOff,
            QStringLiteral("the modem's radio is off (+CFUN: %1)").arg(*findings.functionality),
            QStringLiteral("Switch it on with AT+CFUN=1, or find what switched it off: "
                           "a flight-mode pin, or another program."));
    if (const Verdict sim = simVerdict(verdict, findings); !sim.ready())
        return sim;
    const SignalWord word = signalWord(findings);
    // With no signal at all the registration only repeats it; the antenna is the news.
    if (word == SignalWord::None)
        return blocked(verdict, Blocker::NoSignal, QStringLiteral("there is no signal (+CSQ: 99)"),
                       QStringLiteral("Check the antenna and its cable, and try a place with "
                                      "coverage."));
    // One registration query may fail on its own; with none answered, nothing says an SMS goes.
    if (!findings.registration)
        return blocked(verdict, Blocker::NotRegistered,
                       QStringLiteral("the modem does not tell whether it is registered"),
                       QStringLiteral("Check again in a minute; if it still does not tell, "
                                      "restart the modem."));
    if (!isRegistered(findings.registration->status))
        return registrationVerdict(verdict, findings);
    if (word == SignalWord::VeryWeak)
        return blocked(verdict, Blocker::WeakSignal,
                       QStringLiteral("the signal is very weak (%1 dBm)").arg(*signalDbm(findings)),
                       QStringLiteral("Move the antenna higher or nearer a window, or fit a "
                                      "better one."));
    if (findings.serviceCentre && findings.serviceCentre->address.isEmpty())
        return blocked(verdict, Blocker::NoServiceCentre,
                       QStringLiteral("no SMS centre (SMSC) address is set, and sending would end "
                                      "in +CMS ERROR: 330"),
                       QStringLiteral("Ask the operator for its SMSC number and set it with "
                                      "AT+CSCA=\"<number>\"."));
    if (findings.textMode == false)
        return blocked(verdict, Blocker::NoTextMode,
                       QStringLiteral("the modem offers no SMS text mode (+CMGF=1), in which "
                                      "Tarvex sends"),
                       QStringLiteral("Send from a modem that offers text mode."));
    return verdict;
}

QString renderText(const Findings& findings) {
    const Verdict verdict = verdictFor(findings);
    QStringList lines{QStringLiteral("Modem: ") + modemDescription(findings),
                      QStringLiteral("SIM: ") + simDescription(findings),
                      QStringLiteral("Network: ") + networkDescription(findings),
                      QStringLiteral("Signal: ") + signalDescription(findings),
                      QStringLiteral("SMSC: ") + serviceCentreDescription(findings)};
    if (!findings.unsupported.isEmpty())
        lines << QStringLiteral("Not supported by this modem: AT") +
                     findings.unsupported.join(QStringLiteral(", AT"));
    lines << verdictLine(verdict);
    if (!verdict.ready())
        lines << verdict.action;
    for (const QString& note : verdict.notes)
        lines << QStringLiteral("Note: ") + note;
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString renderJson(const Findings& findings) {
    const Verdict verdict = verdictFor(findings);
    const ExtendedSignal extended = findings.extendedSignal.value_or(ExtendedSignal{});
    QJsonObject report;
    report[QStringLiteral("ready")] = verdict.ready();
    report[QStringLiteral("verdict")] = verdictLine(verdict);
    report[QStringLiteral("reason")] = textOrNull(verdict.reason);
    report[QStringLiteral("action")] = textOrNull(verdict.action);
    report[QStringLiteral("notes")] = QJsonArray::fromStringList(verdict.notes);
    const auto sim = simWordsOf(findings.sim);
    report[QStringLiteral("sim")] = sim ? QJsonValue(QString(sim->token)) : QJsonValue();
    report[QStringLiteral("registration")] = textOrNull(registrationText(findings));
    report[QStringLiteral("technology")] = textOrNull(technologyText(findings));
    report[QStringLiteral("operator")] = textOrNull(operatorName(findings));
    report[QStringLiteral("signal_dbm")] = numberOrNull(signalDbm(findings));
    report[QStringLiteral("signal")] = textOrNull(signalToken(signalWord(findings)));
    report[QStringLiteral("rsrp_dbm")] = numberOrNull(extended.rsrpDbm);
    report[QStringLiteral("rsrq_db")] = numberOrNull(extended.rsrqDb);
    // "" is an SMSC the SIM has none of; null, one the modem did not tell.
    report[QStringLiteral("smsc")] =
        findings.serviceCentre ? QJsonValue(findings.serviceCentre->address) : QJsonValue();
    report[QStringLiteral("manufacturer")] = textOrNull(findings.manufacturer);
    report[QStringLiteral("model")] = textOrNull(findings.model);
    report[QStringLiteral("firmware")] = textOrNull(findings.firmware);
    report[QStringLiteral("imei")] = textOrNull(findings.imei);
    report[QStringLiteral("unsupported")] = QJsonArray::fromStringList(findings.unsupported);
    return QString::fromUtf8(QJsonDocument(report).toJson(QJsonDocument::Indented));
}

NagiosStatus nagiosStatus(const Findings& findings, const NagiosThresholds& thresholds) {
    if (!verdictFor(findings).ready())
        return NagiosStatus::Critical;
    const auto dbm = signalDbm(findings);
    if (dbm && *dbm < thresholds.criticalDbm)
        return NagiosStatus::Critical;
    if (dbm && *dbm < thresholds.warningDbm)
        return NagiosStatus::Warning;
    return NagiosStatus::Ok;
}

QString nagiosLine(NagiosStatus status, const QString& summary, const QString& perfdata) {
    static const std::array<QString, 4> names{QStringLiteral("OK"), QStringLiteral("WARNING"),
                                              QStringLiteral("CRITICAL"),
                                              QStringLiteral("UNKNOWN")};
    // A "|" would start the performance data early, a line break a second output line;
    // Nagios shows a ";" as ":", which would read as a label.
    QString text = summary.simplified();
    text.replace(QLatin1Char('|'), QLatin1Char('/')).replace(QLatin1Char(';'), QLatin1Char(','));
    QString line = QStringLiteral("TARVEX ") + names.at(static_cast<std::size_t>(status)) +
                   QStringLiteral(" - ") + text;
    if (!perfdata.isEmpty())
        line += QStringLiteral(" | ") + perfdata;
    return line + QLatin1Char('\n');
}

QString renderNagios(const Findings& findings, const NagiosThresholds& thresholds) {
    const Verdict verdict = verdictFor(findings);
    const NagiosStatus status = nagiosStatus(findings, thresholds);
    const auto dbm = signalDbm(findings);
    const QString facts =
        networkDescription(findings) + QStringLiteral("; signal ") + signalDescription(findings);
    QString summary;
    if (!verdict.ready())
        summary = verdictLine(verdict);
    else if (status == NagiosStatus::Ok)
        summary = QStringLiteral("Ready to send SMS: ") + facts;
    else {
        const int limit =
            status == NagiosStatus::Critical ? thresholds.criticalDbm : thresholds.warningDbm;
        summary = QStringLiteral("Signal below %1 dBm; ready to send SMS: ").arg(limit) + facts;
    }
    // The Monitoring Plugins' "U" stands for a value that could not be measured.
    const QString perfdata =
        QStringLiteral("'signal_dBm'=%1;%2:;%3:;;")
            .arg(dbm ? QString::number(*dbm) : QStringLiteral("U"),
                 QString::number(thresholds.warningDbm), QString::number(thresholds.criticalDbm));
    return nagiosLine(status, summary, perfdata);
}

QString renderPrometheus(const Findings& findings, std::chrono::milliseconds runDuration) {
    const Verdict verdict = verdictFor(findings);
    QString out;
    addMetric(out, QStringLiteral("tarvex_modem_ready"),
              QStringLiteral("Whether an SMS would go from the modem now (1) or not (0)."),
              QStringLiteral(" %1").arg(verdict.ready() ? 1 : 0));
    // Left out when the modem does not know it: a made-up number would draw a false line.
    if (const auto dbm = signalDbm(findings))
        addMetric(out, QStringLiteral("tarvex_signal_dbm"),
                  QStringLiteral("Received signal strength (RSSI) in dBm."),
                  QStringLiteral(" %1").arg(*dbm));
    addMetric(out, QStringLiteral("tarvex_modem_info"),
              QStringLiteral("The modem's maker, model and firmware."),
              QStringLiteral("{manufacturer=%1,model=%2,firmware=%3} 1")
                  .arg(labelValue(findings.manufacturer), labelValue(findings.model),
                       labelValue(findings.firmware)));
    if (findings.registration)
        addMetric(out, QStringLiteral("tarvex_registration_status"),
                  QStringLiteral("Network registration as the modem's <stat>: 1 home, 5 roaming, "
                                 "6 and 7 SMS only, 2 searching, 3 denied, 0 not searching."),
                  QStringLiteral(" %1").arg(static_cast<int>(findings.registration->status)));
    addMetric(out, QStringLiteral("tarvex_network_info"),
              QStringLiteral("The registration in words, the technology and the operator."),
              QStringLiteral("{registration=%1,technology=%2,operator=%3} 1")
                  .arg(labelValue(registrationText(findings)), labelValue(technologyText(findings)),
                       labelValue(operatorName(findings))));
    const double seconds = std::chrono::duration<double>(runDuration).count();
    addMetric(out, QStringLiteral("tarvex_run_duration_seconds"),
              QStringLiteral("How long the check took, from opening the port to the verdict."),
              QStringLiteral(" ") + QString::number(seconds, 'f', kDurationDecimals));
    return out;
}

int exitStatus(const Findings& findings) {
    return verdictFor(findings).ready() ? 0 : 1;
}

} // namespace tarvex
