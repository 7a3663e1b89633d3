#include "serial_platform.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <poll.h>
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

bool isLossError(QSerialPort::SerialPortError error) {
    return error == QSerialPort::ResourceError;
}

// A vanished device may first surface as some other error (a pseudo-terminal whose
// far end closed fails a read with a stale errno) before QSerialPort reports a
// ResourceError; the line itself says whether it hung up.
bool hungUp(const QSerialPort& port) {
    pollfd line{static_cast<int>(port.handle()), POLLIN | POLLOUT, 0};
    return ::poll(&line, 1, 0) == 1 && (line.revents & (POLLHUP | POLLERR)) != 0;
}

// Pseudo-terminals have no modem-control lines; a real port has.
bool modemLinesUnsupported(const QSerialPort&, const QString& device, bool, bool) {
    return QFileInfo(device).canonicalFilePath().startsWith(QStringLiteral("/dev/pts/"));
}

} // namespace tarvex::serial_platform
