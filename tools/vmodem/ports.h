#pragma once
// What the ports of a USB modem that are not its AT port say: the GPS port's NMEA
// sentences and the DIAG port's binary frames.

#include <string>
#include <string_view>

namespace tarvex::vmodem {

// "$<body>*<checksum>\r\n": the checksum is the XOR of the body's bytes, in hex.
std::string nmeaSentence(std::string_view body);

// What a GPS port writes each time it talks: a fix, and the antenna's status,
// whose "OK" must not pass for a modem's answer.
std::string nmeaBurst();

// A DIAG port's answer to bytes it cannot parse as a command: a bad-command frame,
// 0x13 and the request (its first 64 bytes) with their CRC-16/X.25, low byte
// first, 0x7d and 0x7e escaped HDLC-style, then the 0x7e that ends a frame.
std::string diagAnswer(std::string_view request);

} // namespace tarvex::vmodem
