// Stands in for a serial getty: takes the device as its controlling terminal, as
// agetty does, says "ready", and waits until its standard input closes. It never
// reads or writes the device, so the modem behind it hears nothing of it.

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: stand-in-getty DEVICE\n", stderr);
        return 2;
    }
    // A new session without a terminal: the first terminal it opens becomes its own.
    if (::setsid() < 0 || ::open(argv[1], O_RDWR) < 0) {
        std::perror("stand-in-getty");
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    char byte;
    while (::read(STDIN_FILENO, &byte, 1) > 0) {
    }
    return 0;
}
