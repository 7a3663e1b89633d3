#include "line_rate.h"

#include <algorithm>
#include <utility>

namespace tarvex::vmodem {

namespace {

constexpr std::pair<std::uint32_t, speed_t> kRates[] = {
    {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
    {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
    {230400, B230400}, {460800, B460800}, {921600, B921600},
};

} // namespace

bool isCommonRate(std::uint64_t baud) {
    return std::ranges::any_of(kRates, [&](const auto& rate) { return rate.first == baud; });
}

std::optional<std::uint32_t> baudOf(speed_t speed) {
    const auto* found =
        std::ranges::find_if(kRates, [&](const auto& rate) { return rate.second == speed; });
    if (found == std::ranges::end(kRates)) {
        return std::nullopt;
    }
    return found->first;
}

std::optional<std::uint32_t> lineBaud(int fd) {
    // Linux answers tcgetattr on a pty's master with the client end's settings, so
    // the device end sees the speed the program chose without holding a descriptor
    // of the client end (a second one would keep Pty::close() from hanging up).
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        return std::nullopt;
    }
    // The speed the program transmits at: a UART has one divisor, and Linux's serial
    // drivers set it from the output speed, so that is what the modem hears.
    return baudOf(cfgetospeed(&tio));
}

} // namespace tarvex::vmodem
