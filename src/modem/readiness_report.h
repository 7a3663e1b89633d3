#pragma once
// Will an SMS go from here: what the readiness queries found, the verdict with what to
// do, and the report in the forms a person, a script and a monitoring system read.

#include "modem/readiness_answers.h"
#include "serial/command_answer.h"

#include <QHash>
#include <QStringList>
#include <chrono>

namespace tarvex {

// The readiness queries, in the order they are asked; the keys of their answers.
inline const QStringList kReadinessQueries{
    QStringLiteral("+CGMI"),  QStringLiteral("+CGMM"),   QStringLiteral("+CGMR"),
    QStringLiteral("+CGSN"),  QStringLiteral("+CFUN?"),  QStringLiteral("+CPIN?"),
    QStringLiteral("+CREG?"), QStringLiteral("+CGREG?"), QStringLiteral("+CEREG?"),
    QStringLiteral("+COPS?"), QStringLiteral("+CSQ"),    QStringLiteral("+CESQ"),
    QStringLiteral("+CSCA?"), QStringLiteral("+CMGF=?")};

enum class SimState {
    Unknown,
    Ready,
    PinRequired,
    PukRequired,
    Locked,
    NotInserted,
    Failure,
    Wrong,
    Busy
};

struct Findings {
    QString manufacturer; // each empty when the modem did not say
    QString model;
    QString firmware;
    QString imei;
    std::optional<int> functionality; // the +CFUN level
    SimState sim = SimState::Unknown;
    QString simAnswer; // what the modem said of its SIM: "SIM PIN", "+CME ERROR: 10"
    std::optional<Registration> registration; // the best of +CREG, +CGREG and +CEREG
    std::optional<NetworkOperator> networkOperator;
    std::optional<AccessTechnology> technology; // of the registration, else of the operator
    bool technologyAssumed = false;      // no <AcT> anywhere from a modem that knows no LTE: GSM
    std::optional<SignalQuality> signal; // +CSQ
    std::optional<ExtendedSignal> extendedSignal; // +CESQ
    std::optional<ServiceCentre> serviceCentre;
    std::optional<bool> textMode;
    QStringList unsupported; // the queries answered with ERROR, or not in time
};

// `answers` is keyed by the query as sent, without "AT": "+CREG?" (see kReadinessQueries).
// A query missing from it was not asked; one that failed tells nothing, and is listed.
Findings findingsFrom(const QHash<QString, CommandAnswer>& answers);

enum class SignalWord { Unknown, None, VeryWeak, Poor, Fair, Good, Excellent };

// The received signal strength in dBm: +CSQ's RSSI, else +CESQ's GSM rxlev.
std::optional<int> signalDbm(const Findings& findings);
// The word for it; from LTE's RSRP when the modem gives no RSSI.
SignalWord signalWord(const Findings& findings);

// Why an SMS would not go; the first in this order is the one reported.
enum class Blocker {
    None,
    RadioOff,
    SimNotInserted,
    SimPinRequired,
    SimPukRequired,
    SimLocked,
    SimFailure,
    SimBusy,
    NoSignal,
    Searching,
    NotSearching,
    Denied,
    EmergencyOnly,
    NotRegistered,
    WeakSignal,
    NoServiceCentre,
    NoTextMode,
};

struct Verdict {
    Blocker blocker = Blocker::None;
    QString reason;    // why not, without a full stop; empty when ready
    QString action;    // what to do, a sentence; empty when ready
    QStringList notes; // what does not stop an SMS but should be known
    bool ready() const { return blocker == Blocker::None; }
};
Verdict verdictFor(const Findings& findings);

// One line per subject, words first and figures after, then the verdict.
QString renderText(const Findings& findings);

// One object for scripts and Zabbix.
QString renderJson(const Findings& findings);

// check_gsm_signal's defaults: below -90 dBm warns, below -100 dBm is critical.
inline constexpr int kDefaultWarningDbm = -90;
inline constexpr int kDefaultCriticalDbm = -100;

struct NagiosThresholds {
    int warningDbm = kDefaultWarningDbm;
    int criticalDbm = kDefaultCriticalDbm;
};
enum class NagiosStatus { Ok = 0, Warning = 1, Critical = 2, Unknown = 3 };

NagiosStatus nagiosStatus(const Findings& findings, const NagiosThresholds& thresholds);
// "TARVEX CRITICAL - summary | perfdata" on one line, as the Monitoring Plugins
// guidelines ask; for the caller's own ends too (a port that failed is UNKNOWN).
QString nagiosLine(NagiosStatus status, const QString& summary, const QString& perfdata = {});
QString renderNagios(const Findings& findings, const NagiosThresholds& thresholds);

// node_exporter's textfile collector format; no IMEI, IMSI or ICCID in any series.
QString renderPrometheus(const Findings& findings, std::chrono::milliseconds runDuration);

// For text, json and prometheus: 0 ready, 1 not. Nagios exits with nagiosStatus().
int exitStatus(const Findings& findings);

} // namespace tarvex
