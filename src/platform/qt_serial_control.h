#pragma once
// The serial control over QSerialPort.

#include "port_names.h"
#include "serial_control.h"
#include "serial_error.h"

#include <QSerialPort>
#include <memory>

namespace tarvex {

class QtSerialControl final : public SerialControl {
    Q_OBJECT
public:
    explicit QtSerialControl(DeviceLookup devices = deviceForPort, QObject* parent = nullptr);

    void setCommPort(qint16 port) override;
    void setHandshaking(Handshaking mode) override;
    void setRThreshold(qint16 count) override;
    void setRTSEnable(bool on) override;
    void setSettings(const QString& settings) override;
    void setSThreshold(qint16 count) override;
    void setInputLen(qint16 count) override;
    void setPortOpen(bool open) override;

    qint16 CommPort() const override { return commPort_; }
    bool PortOpen() const override { return port_.isOpen(); }

    void Output(const QString& text) override;
    QString Input() override;
    CommEventCode CommEvent() const override { return commEvent_; }
    QString portDescription() const override;
    QString device() const override { return device_; }

private:
    void open();
    void close();
    void applyModemLines();
    void scheduleReceive();
    void deliverReceive();
    void onError(QSerialPort::SerialPortError error);
    void reportLost();
    void notify(CommEventCode code);
    [[noreturn]] void fail(SerialError::Kind kind, const QString& cause) const;
    [[noreturn]] void failIo(const QString& what) const;

    DeviceLookup devices_;
    QSerialPort port_;
    std::unique_ptr<QObject> lineWatch_; // lives only while the port is open
    QString device_;
    qint16 commPort_ = 1;
    qint16 rThreshold_ = 0;
    qint16 inputLen_ = 0;
    bool rtsEnable_ = false;
    bool dtrEnable_ = true;
    bool receivePending_ = false;
    bool lostReported_ = false;
    CommEventCode commEvent_ = CommEventCode::None;
};

} // namespace tarvex
