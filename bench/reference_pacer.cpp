// The best pacing this machine allows: one byte to a pseudo-terminal every period,
// each write on an absolute deadline so that no late wake-up shifts the ones after it.
//   reference_pacer DEVICE COUNT PERIOD_MS

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

int main(int argc, char* argv[]) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: reference_pacer DEVICE COUNT PERIOD_MS\n");
        return 2;
    }
    const int fd = ::open(argv[1], O_RDWR | O_NOCTTY);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    const long count = std::atol(argv[2]);
    const long periodNs = std::atol(argv[3]) * 1000000L;

    timespec next{};
    ::clock_gettime(CLOCK_MONOTONIC, &next);
    for (long i = 0; i < count; ++i) {
        const char byte = static_cast<char>('0' + i % 10);
        if (::write(fd, &byte, 1) != 1)
            return 1;
        next.tv_nsec += periodNs;
        while (next.tv_nsec >= 1000000000L) {
            next.tv_nsec -= 1000000000L;
            ++next.tv_sec;
        }
        while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) != 0) {
        }
    }
    ::tcdrain(fd);
    ::close(fd);
    return 0;
}
