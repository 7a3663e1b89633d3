// The command set: what the modem answers to each command line.
#include "modem.h"

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

// Identification and status commands whose answers never change.
struct Fixed {
    std::string_view name;
    std::string_view execAnswer;
    std::string_view readAnswer;
};

constexpr Fixed kFixed[] = {
    {"+CGMI", kManufacturer, {}},
    {"+GMI", kManufacturer, {}},
    {"+CGMM", kModel, {}},
    {"+GMM", kModel, {}},
    {"+CGMR", kRevision, {}},
    {"+GMR", kRevision, {}},
    {"+CGSN", kImei, {}},
    {"+GSN", kImei, {}},
    {"+CIMI", kImsi, {}},
    {"+GCAP", "+GCAP: +CGSM", {}},
    {"+CSQ", "+CSQ: 20,99", {}},
    {"+CPIN", {}, "+CPIN: READY"},
    {"+CREG", {}, "+CREG: 0,1"},
    {"+CGREG", {}, "+CGREG: 0,1"},
    {"+COPS", {}, "+COPS: 0,0,\"Tarvex\""},
    {"+CFUN", {}, "+CFUN: 1"},
    {"+CSCA", {}, "+CSCA: \"+4915200000000\",145"},
};

} // namespace

std::string Modem::execute(std::string_view command) {
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

    for (const Fixed& fixed : kFixed) {
        if (cmd.name != fixed.name) {
            continue;
        }
        if (cmd.test()) {
            return Result::Ok;
        }
        if (cmd.exec() && !fixed.execAnswer.empty()) {
            info += line(fixed.execAnswer);
            return Result::Ok;
        }
        if (cmd.read() && !fixed.readAnswer.empty()) {
            info += line(fixed.readAnswer);
            return Result::Ok;
        }
        // Settings of status commands (network, power) are accepted and have no effect.
        return cmd.set() && !fixed.readAnswer.empty() ? Result::Ok : Result::Error;
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
