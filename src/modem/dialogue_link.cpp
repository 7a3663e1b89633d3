// The dialogue's side of the serial link: "Connect", the paced transmitter and the
// receive path, and a device that goes away under the open port.

#include "modem_dialogue.h"
#include "platform/serial_error.h"
#include "serial/paced_transmitter.h"
#include "serial/port_opening.h"

namespace tarvex {

void ModemDialogue::openPort(qint16 port) {
    openWithLineSettings(MSComm1, port, lineSpeed_);

    flags_.PortConnected = true;
    emit connectedChanged(true);

    // Others on the line: the log says so, and a console, which would answer the
    // modem and talk to it, gets the operator's one box.
    if (port < kFirstPort || port > kLastPort)
        return;
    const PortInfo info = ports_.ports().value(port - kFirstPort);
    if (info.modemManagerProbes)
        note(QStringLiteral("ModemManager probes this modem"));
    if (!info.console.isEmpty()) {
        note(QStringLiteral("also a console: ") + info.console);
        boxes_.warn(consoleWarning(info));
    }
}

void ModemDialogue::SendComm(const QString& text) {
    lineInFlight_ = text;
    lineSent_ = 0;
    sendPaced(MSComm1, pause_, text, &lineSent_);
    lineInFlight_.clear();
}

void ModemDialogue::MSComm1_OnComm() {
    switch (MSComm1.CommEvent()) {
    case CommEventCode::Receive: {
        const QString InBuff = MSComm1.Input();
        // The SMS answer reader decides before the detector runs: the detector may open
        // a message box whose nested loop delivers the characters after this one.
        const auto outcome = sms_.feed(InBuff);
        runner_.feed(InBuff);
        HandleInput(InBuff);
        if (outcome)
            finishSms(*outcome);
        break;
    }
    case CommEventCode::DeviceLost:
        onDeviceLost(QStringLiteral("%1: the device went away.").arg(MSComm1.portDescription()));
        break;
    default:
        break;
    }
}

// The device went away under the open port (a pulled USB cable). Everything in
// progress ends here and the operator can connect again once it is back.
void ModemDialogue::onDeviceLost(const QString& report) {
    if (!flags_.PortConnected)
        return; // already handled: a vanishing device raises more than one error
    note(QStringLiteral("lost: ") + report);
    Timer1.setEnabled(false);
    abandonSms();
    closePort();
    boxes_.report(report + QStringLiteral("\nPlug the modem back in, then press Connect."));
    emit failed();
}

} // namespace tarvex
