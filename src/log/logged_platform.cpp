#include "logged_platform.h"

#include "platform/port_names.h"
#include "platform/serial_error.h"
#include "session_log.h"

#include <QSerialPortInfo>

namespace tarvex {
namespace {

// What the system knows of the device behind a port: maker, product, serial number.
QString deviceDetails(const QString& device) {
    const QSerialPortInfo info(device);
    QStringList known;
    if (!info.manufacturer().isEmpty())
        known << QStringLiteral("maker %1").arg(info.manufacturer());
    if (!info.description().isEmpty())
        known << QStringLiteral("product %1").arg(info.description());
    if (info.hasVendorIdentifier() && info.hasProductIdentifier())
        known << QStringLiteral("USB %1:%2")
                     .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                     .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'));
    if (!info.serialNumber().isEmpty())
        known << QStringLiteral("serial %1").arg(info.serialNumber());
    return known.isEmpty() ? QString() : QStringLiteral("; ") + known.join(QStringLiteral(", "));
}

class LoggedSerialControl final : public SerialControl {
public:
    LoggedSerialControl(std::unique_ptr<SerialControl> inner, std::shared_ptr<SessionLog> log)
        : inner_(std::move(inner))
        , log_(std::move(log)) {
        QObject::connect(inner_.get(), &SerialControl::OnComm, this, &SerialControl::OnComm);
    }

    void setCommPort(qint16 port) override { inner_->setCommPort(port); }
    void setHandshaking(Handshaking mode) override {
        inner_->setHandshaking(mode);
        handshaking_ = mode;
    }
    void setRThreshold(qint16 count) override { inner_->setRThreshold(count); }
    void setRTSEnable(bool on) override {
        inner_->setRTSEnable(on);
        rts_ = on;
    }
    void setSettings(const QString& settings) override {
        inner_->setSettings(settings);
        settings_ = settings;
    }
    void setSThreshold(qint16 count) override { inner_->setSThreshold(count); }
    void setInputLen(qint16 count) override { inner_->setInputLen(count); }

    void setPortOpen(bool open) override {
        const bool wasOpen = inner_->PortOpen();
        try {
            inner_->setPortOpen(open);
        } catch (const SerialError& error) {
            log_->note(
                QStringLiteral("%1 failed: %2")
                    .arg(open ? QStringLiteral("open") : QStringLiteral("close"), error.text()));
            throw;
        }
        if (open && !wasOpen)
            log_->note(QStringLiteral("opened %1: %2, handshaking %3, RTS %4%5")
                           .arg(inner_->portDescription(), settings_,
                                handshaking_ == Handshaking::None ? QStringLiteral("none")
                                                                  : QStringLiteral("on"),
                                rts_ ? QStringLiteral("on") : QStringLiteral("off"),
                                deviceDetails(inner_->device())));
        else if (!open && wasOpen)
            log_->note(QStringLiteral("closed %1").arg(inner_->portDescription()));
    }

    qint16 CommPort() const override { return inner_->CommPort(); }
    bool PortOpen() const override { return inner_->PortOpen(); }

    void Output(const QString& text) override {
        // Timed before the write, logged after it: what failed to go out is not logged.
        const LogTime handedAt = log_->now();
        inner_->Output(text);
        log_->sent(text, handedAt);
    }
    QString Input() override {
        const QString characters = inner_->Input();
        log_->received(characters); // timed as taken from the port
        return characters;
    }
    CommEventCode CommEvent() const override { return inner_->CommEvent(); }
    QString portDescription() const override { return inner_->portDescription(); }
    QString device() const override { return inner_->device(); }

private:
    std::unique_ptr<SerialControl> inner_;
    std::shared_ptr<SessionLog> log_;
    QString settings_;
    Handshaking handshaking_ = Handshaking::None;
    bool rts_ = false;
};

class LoggedMessageBoxes final : public MessageBoxes {
public:
    LoggedMessageBoxes(std::unique_ptr<MessageBoxes> inner, std::shared_ptr<SessionLog> log)
        : inner_(std::move(inner))
        , log_(std::move(log)) {}

    void inform(const QString& text) override {
        shown(kApplicationTitle, text);
        inner_->inform(text);
        pressed(QStringLiteral("OK"));
    }
    bool ask(const QString& caption, const QString& text) override {
        shown(caption, text);
        const bool yes = inner_->ask(caption, text);
        pressed(yes ? QStringLiteral("Yes") : QStringLiteral("No"));
        return yes;
    }
    void report(const QString& text) override {
        shown(kApplicationTitle, text);
        inner_->report(text);
        pressed(QStringLiteral("OK"));
    }
    void warn(const QString& text) override {
        shown(kApplicationTitle, text);
        inner_->warn(text);
        pressed(QStringLiteral("OK"));
    }
    bool waitsForTheOperator() const override { return inner_->waitsForTheOperator(); }

private:
    void shown(const QString& caption, const QString& text) {
        log_->note(waitsForTheOperator()
                       ? QStringLiteral("message box \"%1\": %2").arg(caption, text)
                       : QStringLiteral("printed: %1").arg(text));
    }
    // What the operator answered; a printed question was answered beforehand.
    void pressed(const QString& button) {
        if (waitsForTheOperator())
            log_->note(button + QStringLiteral(" pressed"));
        else if (button != QLatin1String("OK"))
            log_->note(QStringLiteral("answered %1 beforehand").arg(button));
    }

    std::unique_ptr<MessageBoxes> inner_;
    std::shared_ptr<SessionLog> log_;
};

} // namespace

std::unique_ptr<SerialControl> loggedSerialControl(std::unique_ptr<SerialControl> serial,
                                                   std::shared_ptr<SessionLog> log) {
    return std::make_unique<LoggedSerialControl>(std::move(serial), std::move(log));
}

std::unique_ptr<MessageBoxes> loggedMessageBoxes(std::unique_ptr<MessageBoxes> boxes,
                                                 std::shared_ptr<SessionLog> log) {
    return std::make_unique<LoggedMessageBoxes>(std::move(boxes), std::move(log));
}

} // namespace tarvex
