#include "ports.h"

#include <cstdint>
#include <cstdio>

namespace tarvex::vmodem {

namespace {

constexpr char kFlag = 0x7e;
constexpr char kEscape = 0x7d;
constexpr char kBadCommand = 0x13;
constexpr std::size_t kMaxEchoed = 64;

// Reflected CCITT polynomial, 0xffff in, complemented out: the frame check of HDLC.
std::uint16_t crc16(std::string_view bytes) {
    std::uint16_t crc = 0xffff;
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408)
                                 : static_cast<std::uint16_t>(crc >> 1);
        }
    }
    return static_cast<std::uint16_t>(~crc);
}

} // namespace

std::string nmeaSentence(std::string_view body) {
    unsigned char sum = 0;
    for (const char c : body) {
        sum ^= static_cast<unsigned char>(c);
    }
    char checksum[4];
    std::snprintf(checksum, sizeof checksum, "*%02X", sum);
    return "$" + std::string(body) + checksum + "\r\n";
}

std::string nmeaBurst() {
    return nmeaSentence("GPGGA,092750.00,5321.6802,N,00630.3372,W,1,08,1.03,61.7,M,55.2,M,,") +
           nmeaSentence("GPRMC,092750.00,A,5321.6802,N,00630.3372,W,0.02,31.66,280511,,,A") +
           nmeaSentence("GPTXT,01,01,02,ANTSTATUS=OK");
}

std::string diagAnswer(std::string_view request) {
    std::string payload(1, kBadCommand);
    payload += request.substr(0, kMaxEchoed);
    const std::uint16_t crc = crc16(payload);
    payload += static_cast<char>(crc & 0xff);
    payload += static_cast<char>(crc >> 8);
    std::string frame;
    for (const char c : payload) {
        if (c == kFlag || c == kEscape) {
            frame += kEscape;
            frame += static_cast<char>(c ^ 0x20);
        } else {
            frame += c;
        }
    }
    return frame + kFlag;
}

} // namespace tarvex::vmodem
