// Preloaded (LD_PRELOAD) into the Wine processes of the tests only; never shipped.
//
// A pseudo-terminal has no modem-status lines: TIOCMGET and the calls that set RTS
// and DTR fail on it with ENOTTY. Wine 10 asks for those lines while it waits for
// serial events, and when the question fails it completes the pending WaitCommEvent
// with an error, which Qt Serial Port reports as a resource error right after
// Connect. A real serial port answers, with DSR, CTS and CD up when a modem is
// plugged in; this gives the pty the same answer.
//
// Only ENOTTY is mended: a device that has the lines answers for itself, and any
// other failure (a bad descriptor, a device gone) is a real error and stays one.

#include <cerrno>
#include <cstdarg>
#include <dlfcn.h>
#include <sys/ioctl.h>

namespace {

using Ioctl = int (*)(int, unsigned long, ...);

Ioctl realIoctl() {
    static const auto real = reinterpret_cast<Ioctl>(::dlsym(RTLD_NEXT, "ioctl"));
    return real;
}

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);

    const int saved = errno;
    const int result = realIoctl()(fd, request, argument);
    if (result != -1 || errno != ENOTTY)
        return result;
    switch (request) {
    case TIOCMGET:
        *static_cast<int*>(argument) = TIOCM_DSR | TIOCM_CTS | TIOCM_CD | TIOCM_RTS | TIOCM_DTR;
        errno = saved;
        return 0;
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC:
        errno = saved;
        return 0;
    default:
        return result;
    }
}
