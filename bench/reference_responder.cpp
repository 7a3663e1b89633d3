// The quickest answer this machine allows: wait on a pseudo-terminal with poll()
// and answer every "K" with one "A".
//   reference_responder DEVICE COUNT
// Prints "ready" once the device is open, and ends after COUNT answers.

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: reference_responder DEVICE COUNT\n");
        return 2;
    }
    const int fd = ::open(argv[1], O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    std::printf("ready\n");
    std::fflush(stdout);

    long answers = 0;
    const long count = std::atol(argv[2]);
    pollfd pfd{fd, POLLIN, 0};
    char buffer[256];
    while (answers < count) {
        if (::poll(&pfd, 1, -1) <= 0)
            continue;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] == 'K') {
                const char answer = 'A';
                if (::write(fd, &answer, 1) == 1)
                    ++answers;
            }
        }
    }
    ::close(fd);
    return 0;
}
