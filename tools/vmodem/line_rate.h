#pragma once
// The UART speeds --rate takes, and the termios codes a client sets them with.

#include <cstdint>
#include <optional>
#include <termios.h>

namespace tarvex::vmodem {

// True for the common UART rates, 1200 to 921600 baud.
bool isCommonRate(std::uint64_t baud);

// The rate in baud that a termios speed code stands for, if it is a common one.
std::optional<std::uint32_t> baudOf(speed_t speed);

// The speed the client has set on the pty whose master is `fd`, in baud; none when
// it cannot be read or is not a common rate.
std::optional<std::uint32_t> lineBaud(int fd);

} // namespace tarvex::vmodem
