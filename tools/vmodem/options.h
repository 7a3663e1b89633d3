#pragma once

#include "modem.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex::vmodem {

// The kind of port the program plays, as --answer-as names it.
enum class PortKind {
    At,   // the AT command interpreter
    Nmea, // a GPS port: NMEA sentences from the start, no answers
    Diag, // a Qualcomm DIAG port: a binary frame for whatever arrives
    Nul,  // a line that floods NUL bytes from the start
};

struct Options {
    std::string link;
    std::string log;
    std::string stamps;
    bool silent = false;
    bool trace = false;
    bool help = false;
    bool logCommands = false;
    std::uint64_t delayMs = 0;
    std::uint64_t noise = 0;
    std::uint64_t noiseBetween = 0;
    std::optional<std::uint64_t> seed;
    std::optional<std::uint64_t> vanishAfterBytes;
    std::optional<std::uint64_t> vanishAfterMs;
    // A UART modem fixed at this many baud; none: it hears the line at any speed.
    std::optional<std::uint32_t> rate;
    PortKind answerAs = PortKind::At;
    // One process for a whole USB modem: see usbModemPorts().
    bool usbModem = false;
    ModemConfig modem;
};

struct ParsedOptions {
    Options options;
    std::string error; // empty when the command line was valid
};

ParsedOptions parseOptions(const std::vector<std::string_view>& args);

// The ports of --usb-modem, in USB interface order: if00 DIAG, if01 NMEA, if02 the
// AT port with every modem option given, if03 silent. Each port's --stamps and
// --link get its interface's suffix, ".if00" to ".if03".
std::vector<Options> usbModemPorts(const Options& options);

std::string usage(std::string_view program);

} // namespace tarvex::vmodem
