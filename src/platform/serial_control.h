#pragma once
// The serial control the main window talks to: configuration properties,
// open, one-character output and input, and the OnComm notification.

#include <QObject>
#include <QString>

namespace tarvex {

// Codes read from CommEvent() inside an OnComm notification.
enum class CommEventCode : qint16 {
    None = 0,
    Receive = 2,       // characters are waiting to be read with Input()
    DeviceLost = 1100, // the device went away under an open port
};

enum class Handshaking : qint32 { None = 0 };

class SerialControl : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Line configuration; each write takes effect at once and may throw SerialError.
    virtual void setCommPort(qint16 port) = 0;
    virtual void setHandshaking(Handshaking mode) = 0;
    virtual void setRThreshold(qint16 count) = 0;
    virtual void setRTSEnable(bool on) = 0;
    virtual void setSettings(const QString& settings) = 0;
    virtual void setSThreshold(qint16 count) = 0;
    virtual void setInputLen(qint16 count) = 0;
    virtual void setPortOpen(bool open) = 0;

    virtual qint16 CommPort() const = 0;
    virtual bool PortOpen() const = 0;

    // Sends the characters of `text` in order; they have reached the device when this returns.
    virtual void Output(const QString& text) = 0;
    // Removes and returns up to InputLen characters; empty when nothing is waiting.
    virtual QString Input() = 0;
    virtual CommEventCode CommEvent() const = 0;

    // "COM3 (/dev/ttyS2)": how error reports name the port.
    virtual QString portDescription() const = 0;
    // The device behind the port ("/dev/ttyS2"), once the port is chosen.
    virtual QString device() const = 0;

signals:
    // Raised between other events on the user-interface thread, never from inside a handler.
    void OnComm();
};

} // namespace tarvex
