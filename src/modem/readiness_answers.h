#pragma once
// Readers of the modem's answers to the readiness queries: one answer line in, what it
// says out, nothing when the line is not that answer. Field meanings after 3GPP 27.007
// and 27.005, as ModemManager reads them.

#include <QString>
#include <optional>

namespace tarvex {

// <stat> of +CREG, +CGREG and +CEREG.
enum class RegistrationStatus {
    NotSearching = 0,
    Home = 1,
    Searching = 2,
    Denied = 3,
    Unknown = 4,
    Roaming = 5,
    SmsOnlyHome = 6,
    SmsOnlyRoaming = 7,
    EmergencyOnly = 8,
    CsfbNotPreferredHome = 9,
    CsfbNotPreferredRoaming = 10,
    AttachedRlos = 11,
};

// <AcT> of the registration and operator answers.
enum class AccessTechnology {
    Gsm = 0,
    GsmCompact = 1,
    Utran = 2,
    Edge = 3,
    Hsdpa = 4,
    Hsupa = 5,
    Hspa = 6,
    Lte = 7,
    EcGsmIot = 8,
    NbIot = 9,
    LteTo5gCore = 10,
    NrTo5gCore = 11,
    NgRan = 12,
    LteNrDual = 13,
};

// The name a technician knows it by: "GSM", "EDGE", "LTE", "NB-IoT", ...
QString technologyName(AccessTechnology technology);
// 2 for GSM and its kin, 3 for UMTS and HSPA, 4 for LTE, 5 for NR: what an operator
// switches off as a whole.
int technologyGeneration(AccessTechnology technology);

struct Registration {
    RegistrationStatus status = RegistrationStatus::Unknown;
    QString area; // LAC or TAC as sent, without quotes; empty when not given
    QString cell; // cell id as sent, without quotes
    std::optional<AccessTechnology> technology;
};
// "+CREG: 0,1", "+CGREG: 2,1,\"00A8\",\"5355E8D\",7", "+CEREG: 1" and their kin.
std::optional<Registration> parseRegistration(const QString& line);

enum class SimLock {
    None,        // READY
    Pin,         // SIM PIN
    Puk,         // SIM PUK
    Pin2,        // SIM PIN2: only fixed dialling and the like need it
    Puk2,        // SIM PUK2: likewise
    PhoneSimPin, // PH-SIM PIN: the modem is locked to another SIM
    NetworkPin,  // PH-NET PIN: the modem is locked to another network
    OtherLock,   // the other personalisation locks (PH-NETSUB, PH-SP, PH-CORP, PH-FSIM)
    NotInserted, // "NOT INSERTED", as SIMCom says instead of an error
    NotReady,    // "NOT READY", as Quectel says while the SIM starts
};
struct SimStatus {
    SimLock lock = SimLock::None;
    QString code; // the modem's own words: "SIM PIN"
};
// "+CPIN: READY", "+CPIN: SIM PIN", "+CPIN: \"READY\"", ...
std::optional<SimStatus> parseSimStatus(const QString& line);

// The mobile equipment errors a readiness check meets.
inline constexpr int kCmeSimNotInserted = 10;
inline constexpr int kCmeSimPinRequired = 11;
inline constexpr int kCmeSimPukRequired = 12;
inline constexpr int kCmeSimFailure = 13;
inline constexpr int kCmeSimBusy = 14;
inline constexpr int kCmeSimWrong = 15;
inline constexpr int kCmeNoNetworkService = 30;

struct MeError {
    std::optional<int> code; // nothing when the modem's words are not in Tarvex's table
    QString words;
};
// "+CME ERROR: 10", or the same in words after +CMEE=2: "+CME ERROR: SIM not inserted".
std::optional<MeError> parseMeError(const QString& line);

struct NetworkOperator {
    int mode = 0;
    QString name; // empty when the modem has no operator ("+COPS: 0")
    std::optional<AccessTechnology> technology;
};
// "+COPS: 0,0,\"NOS\",7", "+COPS: 0".
std::optional<NetworkOperator> parseOperator(const QString& line);

struct SignalQuality {
    std::optional<int> rssiDbm; // nothing for 99, "not known or not detectable"
};
// "+CSQ: 20,99".
std::optional<SignalQuality> parseSignalQuality(const QString& line);

// +CESQ in ModemManager's convention, which several tools share: each level n stands for
// the lower edge of its step (RSRP -141 + n dBm, RSRQ -20 + n/2 dB, RSCP -121 + n dBm,
// Ec/N0 -24.5 + n/2 dB, rxlev -111 + n dBm), so RSRP 45 reads -96 dBm.
struct ExtendedSignal {
    std::optional<int> rxlevDbm;  // GSM
    std::optional<int> rscpDbm;   // UMTS
    std::optional<double> ecnoDb; // UMTS
    std::optional<double> rsrqDb; // LTE
    std::optional<int> rsrpDbm;   // LTE
};
// "+CESQ: 99,99,255,255,20,45".
std::optional<ExtendedSignal> parseExtendedSignal(const QString& line);

struct ServiceCentre {
    QString address;         // empty when none is set
    std::optional<int> type; // 145 international, 129 national
};
// "+CSCA: \"+48501200777\",145", "+CSCA: \"\",129".
std::optional<ServiceCentre> parseServiceCentre(const QString& line);

inline constexpr int kMinimumFunctionality = 0;
inline constexpr int kFullFunctionality = 1;
inline constexpr int kRadioOffFunctionality = 4;
// The +CFUN level: "+CFUN: 1" (full), 0 (minimum), 4 (radio off).
std::optional<int> parseFunctionality(const QString& line);

// Whether "+CMGF: (0,1)" offers text mode, which Tarvex sends in.
std::optional<bool> parseTextModeOffered(const QString& line);

// The answer of +CGMI, +CGMM, +CGMR or +CGSN (`name`): a plain line, or one prefixed
// with the name ("+CGMI: Quectel"); nothing for a line that is some other answer.
std::optional<QString> parseIdentity(const QString& line, const QString& name);

} // namespace tarvex
