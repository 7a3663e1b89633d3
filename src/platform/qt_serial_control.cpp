#include "qt_serial_control.h"

#include "port_names.h"
#include "serial_platform.h"

#include <QMetaObject>

namespace tarvex {
namespace {

// A write that has not reached the device within this time is a dead line: no
// handshaking is used, so only a vanished or wedged device holds bytes back.
constexpr int kWriteTimeoutMs = 2000;

// What QSerialPort::open's error means for the operator; anything else keeps
// QSerialPort's text, which is the system's own. A PermissionError is a port held
// by another program on both systems: on Unix access() has already passed, so it
// is the lock file or TIOCEXCL; Windows answers ERROR_ACCESS_DENIED because it
// opens a COM port for one program at a time. DeviceNotFoundError comes from
// ENOENT, or from ERROR_FILE_NOT_FOUND and its path and name variants.
SerialError::Kind openFailureKind(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return SerialError::Kind::NoSuchDevice;
    case QSerialPort::PermissionError:
        return SerialError::Kind::Busy;
    default:
        return SerialError::Kind::Io;
    }
}

} // namespace

QtSerialControl::QtSerialControl(DeviceLookup devices, QObject* parent)
    : SerialControl(parent)
    , devices_(std::move(devices)) {
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
    return portLabel(commPort_, device_);
}

void QtSerialControl::fail(SerialError::Kind kind, const QString& cause) const {
    throw SerialError(kind, portDescription(), cause);
}

void QtSerialControl::failIo(const QString& what) const {
    if (serial_platform::isLossError(port_.error()))
        fail(SerialError::Kind::DeviceLost,
             QStringLiteral("the device went away (%1)").arg(port_.errorString()));
    if (serial_platform::hungUp(port_)) // the error text is of no use to the operator then
        fail(SerialError::Kind::DeviceLost, QStringLiteral("the device went away (hung up)"));
    fail(SerialError::Kind::Io, QStringLiteral("%1 failed: %2").arg(what, port_.errorString()));
}

void QtSerialControl::setCommPort(qint16 port) {
    if (port_.isOpen())
        fail(SerialError::Kind::InvalidSetting, QStringLiteral("the port is already open."));
    commPort_ = port;
    device_.clear();
    device_ = devices_(port); // a port outside the list throws the operator's explanation
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
        device_ = devices_(commPort_);
    if (const auto failure = serial_platform::checkBeforeOpen(device_))
        fail(failure->kind, failure->cause);

    port_.setPortName(device_);
    if (!port_.open(QIODevice::ReadWrite)) {
        const auto kind = openFailureKind(port_.error());
        const QString why = port_.errorString();
        port_.clearError();
        if (kind == SerialError::Kind::Busy) {
            const auto holder = serial_platform::holderOf(device_);
            QString report =
                QStringLiteral("the port is busy: another program is holding it (%1). ").arg(why);
            report += holder.who.isEmpty()
                          ? QStringLiteral("Close that program, or choose another port.")
                          : holder.who + QStringLiteral(": close it, or choose another port.");
            if (!holder.advice.isEmpty())
                report += QLatin1Char('\n') + holder.advice;
            fail(kind, report);
        }
        fail(kind, why);
    }
    lostReported_ = false;
    commEvent_ = CommEventCode::None;
    try {
        applyModemLines();
    } catch (...) {
        close();
        throw;
    }
    // What the device held before the port was opened answers nothing the program
    // asked: drop it, as Qt Serial Port itself does from 6.8 on, on every version.
    port_.clear(QSerialPort::Input);
    lineWatch_ = serial_platform::watchLine(port_, [this] { reportLost(); });
}

void QtSerialControl::close() {
    lineWatch_.reset();
    port_.close();
    port_.clearError();
    receivePending_ = false;
}

void QtSerialControl::applyModemLines() {
    // A device without modem-control lines (a pseudo-terminal, a virtual COM port)
    // cannot have RTS and DTR set, and that is no fault; on a real port it is.
    const bool rtsOk = port_.setRequestToSend(rtsEnable_);
    const bool dtrOk = port_.setDataTerminalReady(dtrEnable_);
    if ((!rtsOk || !dtrOk) &&
        !serial_platform::modemLinesUnsupported(port_, device_, rtsEnable_, dtrEnable_)) {
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
        serial_platform::afterBlockingWait(port_);
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
    // An open that fails raises its error before the port counts as open; open()
    // reports that one itself.
    if (!port_.isOpen() || !serial_platform::isLossError(error))
        return;
    // A hang-up that raises no error at all is the line watch's (serial_platform).
    reportLost();
}

void QtSerialControl::reportLost() {
    // Reported once per open: a vanished device raises a stream of errors, one per
    // pass of the event loop for as long as the port stays open. Closing it ends
    // that stream even before the window has had its turn.
    if (lostReported_)
        return;
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
