#include "json_line.h"

#include <array>
#include <ctime>

namespace tarvex::vmodem {

std::string jsonString(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (u < 0x20 || u >= 0x7f) {
                out += "\\u00";
                out += kHex[u >> 4];
                out += kHex[u & 0xf];
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string isoUtc(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    std::array<char, 32> text{};
    const auto length = std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%SZ", &utc);
    return std::string(text.data(), length);
}

std::string jsonLine(const Message& message, std::chrono::system_clock::time_point when) {
    return "{\"number\":" + jsonString(message.number) + ",\"text\":" + jsonString(message.text) +
           ",\"time\":\"" + isoUtc(when) + "\",\"mr\":" + std::to_string(message.mr) + "}\n";
}

std::string jsonCommandLine(std::string_view command, std::chrono::system_clock::time_point when) {
    return "{\"command\":" + jsonString(command) + ",\"time\":\"" + isoUtc(when) + "\"}\n";
}

} // namespace tarvex::vmodem
