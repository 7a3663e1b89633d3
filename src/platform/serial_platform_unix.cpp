#include "line_users_unix.h"
#include "port_names_unix.h"
#include "serial_platform.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tarvex::serial_platform {

std::optional<OpenFailure> checkBeforeOpen(const QString& device) {
    const QByteArray path = QFile::encodeName(device);
    // QSerialPort reports a missing device and a held one alike in places; ask the
    // file system first so the operator is told which of them it is.
    if (::access(path.constData(), F_OK) != 0)
        return OpenFailure{SerialError::Kind::NoSuchDevice,
                           QString::fromLocal8Bit(std::strerror(errno))};
    if (::access(path.constData(), R_OK | W_OK) != 0) {
        if (errno == EACCES || errno == EPERM)
            return OpenFailure{
                SerialError::Kind::PermissionDenied,
                QStringLiteral(
                    "Permission denied. Your user may need to be in the group that owns "
                    "serial devices (usually \"dialout\"); log in again after adding it.")};
        return OpenFailure{SerialError::Kind::Io, QString::fromLocal8Bit(std::strerror(errno))};
    }
    return std::nullopt;
}

Holder holderOf(const QString& device) {
    const auto tty = ttyId(device);
    if (!tty)
        return {};
    const LineRoots roots;
    Holder holder;
    if (const QString who = holderIn(*tty, roots); !who.isEmpty())
        holder.who = QStringLiteral("Held by ") + who;
    if (modemManagerProbesIn(*tty, roots)) {
        QList<PortInfo> one{PortInfo{}};
        one[0].device = device;
        lookUpDevicesIn(one, roots.sys);
        holder.advice = modemManagerAdvice(one[0].vidPid);
    }
    return holder;
}

QString holderBeforeOpen(const QString& device) {
    const auto tty = ttyId(device);
    return tty ? holderIn(*tty, LineRoots{}) : QString();
}

bool isLossError(QSerialPort::SerialPortError error) {
    return error == QSerialPort::ResourceError;
}

namespace {

bool lineHungUp(int fd) {
    pollfd line{fd, POLLIN | POLLOUT, 0};
    return ::poll(&line, 1, 0) == 1 && (line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

// A terminal whose device has gone (a USB adapter pulled, a pseudo-terminal whose
// other end closed) reads end of file for ever. Qt Serial Port up to 6.4 raised that
// as a ReadError with a stale errno, later versions read it quietly; neither closes
// the port, and its read notifier then fires on every pass of the event loop. So the
// line is watched here, through a descriptor of its own for the same open terminal
// (one notifier per descriptor), and the hang-up reported in the pass it shows.
class LineWatch final : public QObject {
public:
    LineWatch(int fd, std::function<void()> onHangUp)
        : fd_(::fcntl(fd, F_DUPFD_CLOEXEC, 0))
        , onHangUp_(std::move(onHangUp)) {
        if (fd_ < 0)
            return;
        notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
        QObject::connect(notifier_, &QSocketNotifier::activated, this, &LineWatch::check);
    }
    ~LineWatch() override {
        delete notifier_;
        if (fd_ >= 0)
            ::close(fd_);
    }

private:
    void check() {
        if (!lineHungUp(fd_))
            return; // characters: QSerialPort's own notifier reads them
        // What the modem sent before it went is read first; a hung-up terminal fails
        // FIONREAD, a closed pseudo-terminal still counts what it holds.
        int waiting = 0;
        if (::ioctl(fd_, FIONREAD, &waiting) == 0 && waiting > 0)
            return;
        notifier_->setEnabled(false);
        onHangUp_();
    }

    int fd_;
    std::function<void()> onHangUp_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace

bool hungUp(const QSerialPort& port) {
    return lineHungUp(static_cast<int>(port.handle()));
}

std::unique_ptr<QObject> watchLine(const QSerialPort& port, std::function<void()> onHangUp) {
    return std::make_unique<LineWatch>(static_cast<int>(port.handle()), std::move(onHangUp));
}

// The Unix backend reads from a socket notifier on the port's own thread: a wait
// that returns leaves nothing behind.
void afterBlockingWait(QSerialPort&) {}

// Pseudo-terminals have no modem-control lines; a real port has.
bool modemLinesUnsupported(const QSerialPort&, const QString& device, bool, bool) {
    return QFileInfo(device).canonicalFilePath().startsWith(QStringLiteral("/dev/pts/"));
}

} // namespace tarvex::serial_platform
