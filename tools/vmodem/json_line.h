#pragma once

#include "modem.h"

#include <chrono>
#include <string>
#include <string_view>

namespace tarvex::vmodem {

// JSON string literal; bytes outside printable ASCII become \u00XX so that a
// body in any charset survives as one valid line.
std::string jsonString(std::string_view bytes);

std::string isoUtc(std::chrono::system_clock::time_point when);

// One log line, newline included.
std::string jsonLine(const Message& message, std::chrono::system_clock::time_point when);

// One log line for a command line received, newline included.
std::string jsonCommandLine(std::string_view command, std::chrono::system_clock::time_point when);

} // namespace tarvex::vmodem
