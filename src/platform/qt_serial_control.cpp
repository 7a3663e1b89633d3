#include "qt_serial_control.h"

#include "port_names.h"

#include <QFileInfo>
#include <QMetaObject>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace tarvex {
namespace {

// A write that has not reached the device within this time is a dead line: no
// handshaking is used, so only a vanished or wedged device holds bytes back.
constexpr int kWriteTimeoutMs = 2000;

// The line has hung up: the device under the open port is gone. A vanished device
// may first surface as some other error (a pseudo-terminal whose far end closed
// fails a read with a stale errno) before QSerialPort reports a ResourceError.
bool hungUp(const QSerialPort& port) {
    pollfd line{static_cast<int>(port.handle()), POLLIN | POLLOUT, 0};
    return ::poll(&line, 1, 0) == 1 && (line.revents & (POLLHUP | POLLERR)) != 0;
}

bool isPseudoTerminal(const QString& device) {
    return QFileInfo(device).canonicalFilePath().startsWith(QStringLiteral("/dev/pts/"));
}

} // namespace

QtSerialControl::QtSerialControl(QObject* parent)
    : SerialControl(parent) {
    // The window's own defaults until the port is configured.
    port_.setBaudRate(QSerialPort::Baud9600);
    port_.setParity(QSerialPort::NoParity);
    port_.setDataBits(QSerialPort::Data8);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);

    QObject::connect(&port_, &QSerialPort::readyRead, this, &QtSerialControl::scheduleReceive);
    QObject::connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialControl::onError);
}

QString QtSerialControl::portDescription() const {
    return device_.isEmpty() ? comName(commPort_)
                             : QStringLiteral("%1 (%2)").arg(comName(commPort_), device_);
}

void QtSerialControl::fail(SerialError::Kind kind, const QString& cause) const {
    throw SerialError(kind, portDescription(), cause);
}

void QtSerialControl::failIo(const QString& what) const {
    const auto error = port_.error();
    if (error == QSerialPort::ResourceError)
        fail(SerialError::Kind::DeviceLost,
             QStringLiteral("the device went away (%1)").arg(port_.errorString()));
    if (hungUp(port_)) // the error text is of no use to the operator then
        fail(SerialError::Kind::DeviceLost, QStringLiteral("the device went away (hung up)"));
    fail(SerialError::Kind::Io, QStringLiteral("%1 failed: %2").arg(what, port_.errorString()));
}

void QtSerialControl::setCommPort(qint16 port) {
    if (port_.isOpen())
        fail(SerialError::Kind::InvalidSetting, QStringLiteral("the port is already open."));
    commPort_ = port;
    device_.clear();
    device_ = deviceForPort(port); // a port outside the list throws the operator's explanation
}

void QtSerialControl::setHandshaking(Handshaking mode) {
    if (mode != Handshaking::None)
        fail(SerialError::Kind::InvalidSetting, QStringLiteral("unsupported handshaking."));
    port_.setFlowControl(QSerialPort::NoFlowControl);
}

void QtSerialControl::setRThreshold(qint16 count) {
    rThreshold_ = count;
}

void QtSerialControl::setRTSEnable(bool on) {
    rtsEnable_ = on;
    if (port_.isOpen())
        applyModemLines();
}

void QtSerialControl::setSettings(const QString& settings) {
    // "9600,n,8,1": baud, parity, data bits, stop bits.
    const QStringList parts = settings.split(QLatin1Char(','));
    bool baudOk = false;
    const int baud = parts.value(0).toInt(&baudOk);
    const QString parity = parts.value(1).toLower();
    const QString dataBits = parts.value(2);
    const QString stopBits = parts.value(3);
    if (parts.size() != 4 || !baudOk || baud <= 0 || parity != QLatin1String("n") ||
        dataBits != QLatin1String("8") || stopBits != QLatin1String("1"))
        fail(SerialError::Kind::InvalidSetting,
             QStringLiteral("invalid line settings \"%1\".").arg(settings));
    port_.setBaudRate(baud);
    port_.setParity(QSerialPort::NoParity);
    port_.setDataBits(QSerialPort::Data8);
    port_.setStopBits(QSerialPort::OneStop);
}

void QtSerialControl::setSThreshold(qint16 count) {
    // Transmit notifications are never used: writes complete before Output returns.
    Q_UNUSED(count);
}

void QtSerialControl::setInputLen(qint16 count) {
    inputLen_ = count;
}

void QtSerialControl::setPortOpen(bool open) {
    if (open && !port_.isOpen())
        this->open();
    else if (!open && port_.isOpen())
        close();
}

void QtSerialControl::open() {
    if (device_.isEmpty())
        device_ = deviceForPort(commPort_);
    const QByteArray path = QFile::encodeName(device_);
    // QSerialPort reports a missing device and a held one alike in places; ask the
    // file system first so the operator is told which of them it is.
    if (::access(path.constData(), F_OK) != 0)
        fail(SerialError::Kind::NoSuchDevice, QString::fromLocal8Bit(std::strerror(errno)));
    if (::access(path.constData(), R_OK | W_OK) != 0) {
        if (errno == EACCES || errno == EPERM)
            fail(SerialError::Kind::PermissionDenied,
                 QStringLiteral(
                     "Permission denied. Your user may need to be in the group that owns "
                     "serial devices (usually \"dialout\"); log in again after adding it."));
        fail(SerialError::Kind::Io, QString::fromLocal8Bit(std::strerror(errno)));
    }

    port_.setPortName(device_);
    if (!port_.open(QIODevice::ReadWrite)) {
        const auto error = port_.error();
        const QString why = port_.errorString();
        port_.clearError();
        switch (error) {
        case QSerialPort::DeviceNotFoundError:
            fail(SerialError::Kind::NoSuchDevice, why);
        case QSerialPort::PermissionError:
            fail(SerialError::Kind::Busy,
                 QStringLiteral("the port is busy: another program is holding it (%1). Close that "
                                "program, or choose another port.")
                     .arg(why));
        default:
            fail(SerialError::Kind::Io, why);
        }
    }
    lostReported_ = false;
    commEvent_ = CommEventCode::None;
    try {
        applyModemLines();
    } catch (...) {
        close();
        throw;
    }
    if (port_.bytesAvailable() > 0)
        scheduleReceive();
}

void QtSerialControl::close() {
    port_.close();
    port_.clearError();
    receivePending_ = false;
}

void QtSerialControl::applyModemLines() {
    // Pseudo-terminals have no modem-control lines; there it is no fault that RTS
    // and DTR cannot be set. On a real port it is.
    const bool rtsOk = port_.setRequestToSend(rtsEnable_);
    const bool dtrOk = port_.setDataTerminalReady(dtrEnable_);
    if ((!rtsOk || !dtrOk) && !isPseudoTerminal(device_)) {
        const QString why = port_.errorString();
        port_.clearError();
        fail(SerialError::Kind::Io, QStringLiteral("cannot set the RTS/DTR lines: %1").arg(why));
    }
    port_.clearError();
}

void QtSerialControl::Output(const QString& text) {
    if (!port_.isOpen())
        fail(SerialError::Kind::NotOpen, QStringLiteral("the port is not open."));
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() > 0xFF)
            fail(SerialError::Kind::InvalidSetting,
                 QStringLiteral("character U+%1 cannot be sent on the line.")
                     .arg(c.unicode(), 4, 16, QLatin1Char('0')));
        bytes.append(static_cast<char>(c.unicode()));
    }
    if (port_.write(bytes) != bytes.size())
        failIo(QStringLiteral("writing"));
    // QSerialPort only queues the bytes; hand them to the device now, or a blocking
    // pause after this call would hold them back and the pacing would be lost.
    while (port_.bytesToWrite() > 0) {
        if (!port_.waitForBytesWritten(kWriteTimeoutMs))
            failIo(QStringLiteral("writing"));
    }
}

QString QtSerialControl::Input() {
    if (!port_.isOpen())
        fail(SerialError::Kind::NotOpen, QStringLiteral("the port is not open."));
    const QByteArray bytes = inputLen_ > 0 ? port_.read(inputLen_) : port_.readAll();
    // The rest is delivered by later notifications, one read each.
    if (port_.bytesAvailable() > 0)
        scheduleReceive();
    return QString::fromLatin1(bytes);
}

void QtSerialControl::scheduleReceive() {
    if (receivePending_ || rThreshold_ <= 0)
        return;
    receivePending_ = true;
    QMetaObject::invokeMethod(this, &QtSerialControl::deliverReceive, Qt::QueuedConnection);
}

void QtSerialControl::deliverReceive() {
    receivePending_ = false;
    if (!port_.isOpen() || port_.bytesAvailable() < rThreshold_)
        return;
    notify(CommEventCode::Receive);
    // A handler that returned without reading still leaves characters waiting.
    if (port_.isOpen() && port_.bytesAvailable() > 0)
        scheduleReceive();
}

void QtSerialControl::onError(QSerialPort::SerialPortError error) {
    if (lostReported_)
        return;
    // A terminal whose other end is gone reads end-of-file, which QSerialPort reports
    // as a ReadError with a stale errno, and never raises ResourceError unless a
    // write fails: the line itself says whether it hung up.
    if (error != QSerialPort::ResourceError && !(error == QSerialPort::ReadError && hungUp(port_)))
        return;
    // Reported once per open: a vanished device raises a stream of errors, one per
    // pass of the event loop for as long as the port stays open. Closing it ends
    // that stream even before the window has had its turn.
    lostReported_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (port_.isOpen())
                close();
            notify(CommEventCode::DeviceLost);
        },
        Qt::QueuedConnection);
}

void QtSerialControl::notify(CommEventCode code) {
    commEvent_ = code;
    emit OnComm();
}

} // namespace tarvex
