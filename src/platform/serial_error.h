#pragma once
// Errors raised by the serial control. Each carries the sentence the operator reads.

#include <QString>
#include <stdexcept>

namespace tarvex {

class SerialError : public std::runtime_error {
public:
    enum class Kind {
        InvalidPort,    // no port selected, or a number outside the list
        InvalidSetting, // a configuration value the control cannot take
        NoSuchDevice,
        Busy, // held by another program
        PermissionDenied,
        NotOpen,
        DeviceLost, // the device went away under an open port
        Io,
    };

    SerialError(Kind kind, const QString& port, const QString& cause);

    Kind kind() const { return kind_; }
    // The whole sentence for the operator, "COM3 (/dev/ttyS2): No such file or directory".
    QString text() const { return text_; }

private:
    Kind kind_;
    QString text_;
};

} // namespace tarvex
