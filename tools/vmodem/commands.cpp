// The command set: what the modem answers to each command line.
#include "modem.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

namespace tarvex::vmodem {

namespace {

constexpr std::string_view kManufacturer = "Tarvex";
constexpr std::string_view kModel = "VModem";
constexpr std::string_view kRevision = "1.0.0";
constexpr std::string_view kImei = "356938035643809"; // Luhn-valid, like a real one.
constexpr std::string_view kImsi = "262019876543210";
constexpr std::string_view kOperator = "Tarvex";

// The +CME ERROR codes of a SIM that is not ready, and their words for +CMEE=2.
constexpr int kSimNotInserted = 10;
constexpr int kSimPinRequired = 11;
constexpr int kSimPukRequired = 12;
constexpr int kSimBusy = 14;

std::string_view cmeWords(int code) {
    switch (code) {
    case kSimNotInserted:
        return "SIM not inserted";
    case kSimPinRequired:
        return "SIM PIN required";
    case kSimPukRequired:
        return "SIM PUK required";
    case kSimBusy:
        return "SIM busy";
    default:
        return "unknown";
    }
}

// Commands that read or serve the SIM's SMS settings: they wait for the SIM.
constexpr std::string_view kNeedSim[] = {"+CIMI", "+CSCA", "+CMGF", "+CMGS", "+CSMP", "+CSDH"};

// The quality halves of +CESQ that --signal does not set: middling values,
// Ec/N0 -6 dB and RSRQ -10 dB.
constexpr int kEcNo = 37;
constexpr int kRsrq = 20;

// V.250: upper-case and drop spaces, except inside quoted strings.
std::string normalized(std::string_view command) {
    std::string out;
    bool quoted = false;
    for (const char c : command) {
        if (c == '"') {
            quoted = !quoted;
        }
        if (quoted || c == '"') {
            out += c;
        } else if (c != ' ') {
            out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    return out;
}

std::string line(std::string_view text) {
    return "\r\n" + std::string(text) + "\r\n";
}

std::optional<int> number(std::string_view text, int low, int high) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> quotedString(std::string_view text) {
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') {
        return std::nullopt;
    }
    text = text.substr(1, text.size() - 2);
    if (text.find('"') != std::string_view::npos) {
        return std::nullopt;
    }
    return std::string(text);
}

// An extended command split as +NAME then "", "?", "=?" or "=<args>".
struct Extended {
    std::string_view name;
    std::string_view suffix;

    bool exec() const { return suffix.empty(); }
    bool read() const { return suffix == "?"; }
    bool test() const { return suffix == "=?"; }
    std::optional<std::string_view> set() const {
        if (suffix.size() > 1 && suffix.front() == '=' && suffix != "=?") {
            return suffix.substr(1);
        }
        return std::nullopt;
    }
};

// Identification commands, whose answers never change.
struct Fixed {
    std::string_view name;
    std::string_view answer;
};

constexpr Fixed kFixed[] = {
    {"+CGMI", kManufacturer}, {"+GMI", kManufacturer},   {"+CGMM", kModel}, {"+GMM", kModel},
    {"+CGMR", kRevision},     {"+GMR", kRevision},       {"+CGSN", kImei},  {"+GSN", kImei},
    {"+CIMI", kImsi},         {"+GCAP", "+GCAP: +CGSM"},
};

// +CSQ's rssi: -113 + 2n dBm, 0 and 31 open-ended.
std::string csq(std::optional<int> dbm) {
    const int rssi = dbm ? std::clamp((*dbm + 113) / 2, 0, 31) : 99;
    return "+CSQ: " + std::to_string(rssi) + ",99";
}

// +CESQ fills only the measures of the technology in use, with n counted as
// ModemManager reads it back: RXLEV -111 + n, RSCP -121 + n, RSRP -141 + n dBm.
std::string cesq(std::optional<int> dbm, Technology technology) {
    int rxlev = 99, rscp = 255, ecno = 255, rsrq = 255, rsrp = 255;
    if (dbm && technology == Technology::Gsm) {
        rxlev = std::clamp(*dbm + 111, 0, 63);
    } else if (dbm && technology == Technology::Umts) {
        rscp = std::clamp(*dbm + 121, 0, 96);
        ecno = kEcNo;
    } else if (dbm) {
        rsrq = kRsrq;
        rsrp = std::clamp(*dbm + 141, 0, 97);
    }
    return "+CESQ: " + std::to_string(rxlev) + ",99," + std::to_string(rscp) + "," +
           std::to_string(ecno) + "," + std::to_string(rsrq) + "," + std::to_string(rsrp);
}

} // namespace

std::string Modem::execute(std::string_view command) {
    // An unterminated string is a syntax error and nothing on the line runs. It is
    // also what a line cut short by a closed port becomes once the next client's AT
    // lands in it: AT+CMGS="+1555AT.
    if (std::ranges::count(command, '"') % 2 != 0) {
        return line("ERROR");
    }
    const std::string cmd = normalized(command);
    std::string info;
    Result result = Result::Ok;
    std::size_t pos = 0;
    // Basic commands (E0, V1, &F...) may be strung together; one extended command may follow.
    while (result == Result::Ok && pos < cmd.size() && cmd[pos] != '+') {
        char prefix = 0;
        if (cmd[pos] == '&' && pos + 1 < cmd.size()) {
            prefix = cmd[pos++];
        }
        const char name = cmd[pos++];
        int value = 0;
        for (int digits = 0;
             pos < cmd.size() && std::isdigit(static_cast<unsigned char>(cmd[pos])) && digits < 3;
             ++digits) {
            value = value * 10 + (cmd[pos++] - '0');
        }
        result = basicCommand(prefix, name, value, info);
    }
    if (result == Result::Ok && pos < cmd.size()) {
        result = extendedCommand(std::string_view(cmd).substr(pos), info);
    }
    switch (result) {
    case Result::Ok:
        return info + line("OK");
    case Result::Prompt:
        return "\r\n> ";
    case Result::PduModeRefusal:
        return line("+CMS ERROR: 304");
    case Result::CmeError:
        if (cmee_ == 1) {
            return line("+CME ERROR: " + std::to_string(cmeCode_));
        }
        if (cmee_ == 2) {
            return line("+CME ERROR: " + std::string(cmeWords(cmeCode_)));
        }
        break;
    case Result::Error:
        break;
    }
    return line("ERROR");
}

Modem::Result Modem::basicCommand(char prefix, char name, int value, std::string& info) {
    if (prefix == '&') {
        if (name == 'F' && value == 0) {
            reset();
            return Result::Ok;
        }
        // Line-signal and profile settings mean nothing on a pty; accept them.
        return name == 'C' || name == 'D' || name == 'K' || name == 'W' ? Result::Ok
                                                                        : Result::Error;
    }
    switch (name) {
    case 'Z':
        reset();
        return value == 0 ? Result::Ok : Result::Error;
    case 'E':
        if (value > 1) {
            return Result::Error;
        }
        echo_ = value == 1;
        return Result::Ok;
    case 'I':
        info += line(std::string(kManufacturer) + " " + std::string(kModel) + " " +
                     std::string(kRevision));
        return value == 0 ? Result::Ok : Result::Error;
    case 'V': // Only verbose result codes are offered.
        return value == 1 ? Result::Ok : Result::Error;
    case 'Q':
        return value == 0 ? Result::Ok : Result::Error;
    case 'X':
        return value <= 4 ? Result::Ok : Result::Error;
    default:
        return Result::Error;
    }
}

Modem::Result Modem::extendedCommand(std::string_view command, std::string& info) {
    std::size_t nameEnd = 1;
    while (nameEnd < command.size() && std::isalnum(static_cast<unsigned char>(command[nameEnd]))) {
        ++nameEnd;
    }
    const Extended cmd{command.substr(0, nameEnd), command.substr(nameEnd)};

    if (!cmd.test() && std::ranges::find(kNeedSim, cmd.name) != std::end(kNeedSim)) {
        if (const auto code = simError()) {
            return cmeError(*code);
        }
    }

    for (const Fixed& fixed : kFixed) {
        if (cmd.name != fixed.name) {
            continue;
        }
        if (cmd.test()) {
            return Result::Ok;
        }
        if (cmd.exec()) {
            info += line(fixed.answer);
            return Result::Ok;
        }
        return Result::Error;
    }
    if (const auto result = readinessCommand(cmd.name, cmd.suffix, info)) {
        return *result;
    }

    if (cmd.name == "+CMEE") {
        if (cmd.read()) {
            info += line("+CMEE: " + std::to_string(cmee_));
        } else if (cmd.test()) {
            info += line("+CMEE: (0-2)");
        } else if (const auto v = cmd.set() ? number(*cmd.set(), 0, 2) : std::nullopt) {
            cmee_ = *v;
        } else {
            return Result::Error;
        }
        return Result::Ok;
    }
    if (cmd.name == "+CMGF") {
        if (cmd.read()) {
            info += line(std::string("+CMGF: ") + (textMode_ ? "1" : "0"));
        } else if (cmd.test()) {
            info += line("+CMGF: (0,1)");
        } else if (const auto v = cmd.set() ? number(*cmd.set(), 0, 1) : std::nullopt) {
            textMode_ = *v == 1;
        } else {
            return Result::Error;
        }
        return Result::Ok;
    }
    if (cmd.name == "+CSCS") {
        if (cmd.read()) {
            info += line("+CSCS: \"" + charset_ + "\"");
        } else if (cmd.test()) {
            info += line("+CSCS: (\"GSM\",\"IRA\")");
        } else if (const auto v = cmd.set() ? quotedString(*cmd.set()) : std::nullopt;
                   v && (*v == "GSM" || *v == "IRA")) {
            charset_ = *v;
        } else {
            return Result::Error;
        }
        return Result::Ok;
    }
    if (cmd.name == "+CSDH" || cmd.name == "+CSMP") {
        // Text-mode header and parameter settings: accepted, the log has what matters.
        const bool csdh = cmd.name == "+CSDH";
        if (cmd.read()) {
            info += line(csdh ? "+CSDH: 0" : "+CSMP: 17,167,0,0");
        } else if (cmd.test()) {
            if (csdh) {
                info += line("+CSDH: (0,1)");
            }
        } else if (!cmd.set() || (csdh && !number(*cmd.set(), 0, 1))) {
            return Result::Error;
        }
        return Result::Ok;
    }
    if (cmd.name == "+CHUP") {
        return cmd.exec() || cmd.test() ? Result::Ok : Result::Error;
    }
    if (cmd.name == "+CMGS") {
        return sendCommand(cmd.suffix);
    }
    return Result::Error;
}

// The queries that tell whether an SMS can go, answered from the states the
// switches set.
std::optional<Modem::Result> Modem::readinessCommand(std::string_view name, std::string_view suffix,
                                                     std::string& info) {
    const Extended cmd{name, suffix};
    const bool eps = name == "+CEREG";
    const bool registration = eps || name == "+CREG" || name == "+CGREG";
    const bool signal = name == "+CSQ" || name == "+CESQ";
    if (!registration && !signal && name != "+COPS" && name != "+CFUN" && name != "+CPIN" &&
        name != "+CSCA") {
        return std::nullopt;
    }
    if (config_.twoGOnly && (eps || name == "+CESQ")) {
        return Result::Error;
    }
    if (cmd.test()) {
        return Result::Ok;
    }
    if (signal) {
        if (!cmd.exec()) {
            return Result::Error;
        }
        info += line(name == "+CSQ" ? csq(signalDbm()) : cesq(signalDbm(), config_.technology));
        return Result::Ok;
    }
    if (!cmd.read()) {
        // Settings (network, power, PIN, SMSC) are accepted and have no effect.
        return cmd.set() ? Result::Ok : Result::Error;
    }
    const auto sim = simError();
    if (registration) {
        // GSM and UMTS register on the circuit and packet domains, LTE on EPS.
        const bool onThisOne = eps == (config_.technology == Technology::Lte);
        info +=
            line(std::string(name) + ": 0," + std::to_string(onThisOne ? registrationStat() : 0));
    } else if (name == "+COPS") {
        info += line(registered() ? "+COPS: 0,0,\"" + std::string(kOperator) + "\"," +
                                        std::to_string(static_cast<int>(config_.technology))
                                  : "+COPS: 0");
    } else if (name == "+CFUN") {
        info += line(config_.radioOff ? "+CFUN: 4" : "+CFUN: 1");
    } else if (name == "+CPIN") {
        if (sim == kSimNotInserted || sim == kSimBusy) {
            return cmeError(*sim);
        }
        info += line(sim == kSimPinRequired   ? "+CPIN: SIM PIN"
                     : sim == kSimPukRequired ? "+CPIN: SIM PUK"
                                              : "+CPIN: READY");
    } else {
        const bool international = config_.smsc.starts_with('+');
        info += line("+CSCA: \"" + config_.smsc + "\"," + (international ? "145" : "129"));
    }
    return Result::Ok;
}

Modem::Result Modem::cmeError(int code) {
    cmeCode_ = code;
    return Result::CmeError;
}

std::optional<int> Modem::simError() const {
    if (clock_() - started_ < config_.simBusy) {
        return kSimBusy;
    }
    switch (config_.sim) {
    case Sim::Pin:
        return kSimPinRequired;
    case Sim::Puk:
        return kSimPukRequired;
    case Sim::Absent:
        return kSimNotInserted;
    case Sim::Ready:
        break;
    }
    return std::nullopt;
}

// Nothing registers with the radio off or without a SIM that is ready.
int Modem::registrationStat() const {
    return config_.radioOff || simError() ? 0 : static_cast<int>(config_.registration);
}

bool Modem::registered() const {
    const auto stat = static_cast<Registration>(registrationStat());
    return stat == Registration::Home || stat == Registration::Roaming ||
           stat == Registration::SmsOnly;
}

std::optional<int> Modem::signalDbm() const {
    return config_.radioOff ? std::nullopt : config_.signalDbm;
}

// What a message submitted now meets: the answer that refuses it, or nothing.
std::string Modem::refusal() const {
    if (config_.cmsError) {
        return line("+CMS ERROR: " + std::to_string(*config_.cmsError));
    }
    if (config_.smsc.empty()) {
        return line("+CMS ERROR: 330"); // SMSC address unknown
    }
    if (!registered()) {
        return line("+CMS ERROR: 331"); // no network service
    }
    return {};
}

Modem::Result Modem::sendCommand(std::string_view suffix) {
    if (suffix == "=?") {
        return Result::Ok;
    }
    if (suffix.size() < 2 || suffix.front() != '=') {
        return Result::Error;
    }
    if (!textMode_) {
        return Result::PduModeRefusal;
    }
    std::string_view args = suffix.substr(1);
    // An optional type-of-address follows the number: "+49...",145
    if (const auto comma = args.rfind(',');
        comma != std::string_view::npos && comma > 0 && args[comma - 1] == '"') {
        if (!number(args.substr(comma + 1), 0, 255)) {
            return Result::Error;
        }
        args = args.substr(0, comma);
    }
    const auto destination = quotedString(args);
    if (!destination || destination->empty()) {
        return Result::Error;
    }
    pendingNumber_ = *destination;
    body_.clear();
    inBody_ = true;
    return Result::Prompt;
}

} // namespace tarvex::vmodem
