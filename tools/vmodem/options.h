#pragma once

#include "modem.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex::vmodem {

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
    ModemConfig modem;
};

struct ParsedOptions {
    Options options;
    std::string error; // empty when the command line was valid
};

ParsedOptions parseOptions(const std::vector<std::string_view>& args);

std::string usage(std::string_view program);

} // namespace tarvex::vmodem
