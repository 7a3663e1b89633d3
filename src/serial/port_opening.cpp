// "Connect": configure the chosen port with the fixed line settings and open it.

#include "modem/modem_dialogue.h"
#include "platform/serial_error.h"

namespace tarvex {

void ModemDialogue::openPort(qint16 port) {
    // Every setting is written before the open, in this order.
    MSComm1.setCommPort(port);
    MSComm1.setHandshaking(Handshaking::None);
    MSComm1.setRThreshold(1);
    MSComm1.setRTSEnable(true);
    MSComm1.setSettings(QStringLiteral("9600,n,8,1"));
    MSComm1.setSThreshold(0);
    MSComm1.setInputLen(1);
    MSComm1.setPortOpen(true);

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
