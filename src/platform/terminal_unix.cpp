#include "terminal.h"

#include <QByteArray>
#include <QDir>
#include <QObject>
#include <QSocketNotifier>
#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace tarvex::terminal {
namespace {

// Lock-free, so that a handler on whichever thread the signal lands is safe with it.
std::atomic<int> interruptions{0};
static_assert(std::atomic<int>::is_always_lock_free);
int wakeUp[2] = {-1, -1};

extern "C" void onSignal(int) {
    if (interruptions.fetch_add(1) > 0)
        ::_exit(kInterruptedExit);
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeUp[1], &byte, 1);
}

bool connects(int family, const sockaddr* address, socklen_t length) {
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    // A display host that drops the packets would otherwise hold the start for the
    // system's whole TCP time-out; Linux's connect() keeps to the send time-out.
    const timeval patience = {2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
    const bool ok = ::connect(fd, address, length) == 0;
    ::close(fd);
    return ok;
}

bool unixSocketAnswers(const QByteArray& path, bool abstract) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t offset = abstract ? 1 : 0; // an abstract name starts with a NUL
    if (path.size() + offset >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path + offset, path.constData(), std::size_t(path.size()));
    const auto length =
        socklen_t(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));
    return connects(AF_UNIX, reinterpret_cast<const sockaddr*>(&address), length);
}

bool tcpAnswers(const QByteArray& host, int port) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.constData(), QByteArray::number(port).constData(), &hints, &found) != 0)
        return false;
    bool ok = false;
    for (const addrinfo* a = found; a && !ok; a = a->ai_next)
        ok = connects(a->ai_family, a->ai_addr, a->ai_addrlen);
    ::freeaddrinfo(found);
    return ok;
}

// DISPLAY is [host]:number[.screen]; an empty host (or "unix") is this machine's
// socket, abstract or in /tmp/.X11-unix, and ssh -X gives localhost:10.0 over TCP.
bool xServerAnswers() {
    const QByteArray display = qgetenv("DISPLAY");
    const qsizetype colon = display.lastIndexOf(':');
    if (colon < 0)
        return false;
    const QByteArray host = display.left(colon);
    bool isNumber = false;
    const int number = display.mid(colon + 1).split('.').value(0).toInt(&isNumber);
    if (!isNumber)
        return false;
    if (host.isEmpty() || host == "unix") {
        const QByteArray path = "/tmp/.X11-unix/X" + QByteArray::number(number);
        return unixSocketAnswers(path, true) || unixSocketAnswers(path, false);
    }
    return tcpAnswers(host, 6000 + number);
}

bool waylandAnswers() {
    const QByteArray name = qgetenv("WAYLAND_DISPLAY");
    if (name.isEmpty())
        return false;
    const QByteArray path = name.startsWith('/') ? name : qgetenv("XDG_RUNTIME_DIR") + '/' + name;
    return unixSocketAnswers(path, false);
}

} // namespace

void onInterrupt(QObject* context, std::function<void()> handler) {
    if (wakeUp[0] < 0 && ::pipe2(wakeUp, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(wakeUp[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context,
                     [handler = std::move(handler)] {
                         char drained[16];
                         while (::read(wakeUp[0], drained, sizeof drained) > 0) {
                         }
                         handler();
                     });
    constexpr int kStops[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : kStops) // one handler at a time: the second always ends it
        sigaddset(&action.sa_mask, signal);
    action.sa_flags = SA_RESTART; // a pause or a write goes on; the pause checks the flag after
    for (const int signal : kStops) {
        // What nohup, or a script's "&", set to be ignored stays ignored.
        struct sigaction before = {};
        if (::sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN)
            continue;
        ::sigaction(signal, &action, nullptr);
    }
    // A reader that went away (tarvex --send ... | tee, then Ctrl-C) makes a line fail,
    // not the run end before it has closed the port and its log.
    keepGoingOnBrokenPipe();
}

void keepGoingOnBrokenPipe() {
    ::signal(SIGPIPE, SIG_IGN);
}

bool interrupted() {
    return interruptions.load() > 0;
}

void runEnded() {}

void attach() {}

QString missingDisplay() {
    if (xServerAnswers() || waylandAnswers())
        return {};
    const QByteArray display = qgetenv("DISPLAY");
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    QString why;
    if (display.isEmpty() && wayland.isEmpty())
        why = QStringLiteral("neither DISPLAY nor WAYLAND_DISPLAY is set");
    else if (!display.isEmpty())
        why =
            QStringLiteral("the X display %1 does not answer").arg(QString::fromLocal8Bit(display));
    else
        why = QStringLiteral("the Wayland display %1 does not answer")
                  .arg(QString::fromLocal8Bit(wayland));
    return why;
}

} // namespace tarvex::terminal
