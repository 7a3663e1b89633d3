#pragma once
// What the serial control asks of the operating system beside QSerialPort: one
// implementation per platform (serial_platform_unix.cpp, serial_platform_win.cpp),
// chosen by CMake.

#include "serial_error.h"

#include <QObject>
#include <QSerialPort>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace tarvex::serial_platform {

struct OpenFailure {
    SerialError::Kind kind;
    QString cause;
};

// Why `device` cannot be opened, where the system can tell without opening it;
// nothing when the open may be tried.
std::optional<OpenFailure> checkBeforeOpen(const QString& device);

// Who holds `device`, for the report that it is busy ("Held by minicom (pid 4242)"),
// and what to do about a modem daemon there; empty where the system does not tell.
struct Holder {
    QString who;
    QString advice;
};
Holder holderOf(const QString& device);
// "minicom (pid 4242)": the program that holds `device`, where the system can tell
// without opening it; empty otherwise.
QString holderBeforeOpen(const QString& device);

// An error raised on an open port that by itself says the device is gone.
bool isLossError(QSerialPort::SerialPortError error);

// The device under the open port has gone away, as far as the system can tell.
bool hungUp(const QSerialPort& port);

// Watches the open port's line for a device that goes away without QSerialPort
// raising an error for it, and then calls `onHangUp` once, from the event loop.
// Nothing where the system's errors already say it. Destroy it before the port closes.
std::unique_ptr<QObject> watchLine(const QSerialPort& port, std::function<void()> onHangUp);

// Call after one of QSerialPort's blocking waits has returned: hands over what the
// backend completed during the wait and did not deliver (reads, waits for the
// modem's characters), so that the port goes on listening.
void afterBlockingWait(QSerialPort& port);

// Setting RTS or DTR on the open port just failed, and that is no fault here: the
// device has no modem-control lines.
bool modemLinesUnsupported(const QSerialPort& port, const QString& device, bool rts, bool dtr);

} // namespace tarvex::serial_platform
