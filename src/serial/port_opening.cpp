// "Connect": configure the chosen port with the fixed line settings and open it.

#include "platform/serial_error.h"
#include "ui/frmResult.h"

#include <QComboBox>
#include <QPushButton>

namespace tarvex {

void frmResult::connect_Click() {
    // Only the index counts, never the text: typing into the list leaves index -1,
    // which is port 0 and refused by the control.
    const auto port = static_cast<qint16>(Combo1->currentIndex() + 1);

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
    connect->setVisible(false);

    // Others on the line: the log says so, and a console, which would answer the
    // modem and talk to it, gets the operator's one box.
    if (port < kFirstPort || port > kLastPort)
        return;
    const PortInfo info = ports_.ports().value(port - kFirstPort);
    if (info.modemManagerProbes)
        note(QStringLiteral("ModemManager probes this modem"));
    if (!info.console.isEmpty()) {
        note(QStringLiteral("also a console: ") + info.console);
        boxes_.inform(consoleWarning(info));
    }
}

// The device went away under the open port (a pulled USB cable). Everything in
// progress ends here and the operator can connect again once it is back.
void frmResult::onDeviceLost(const QString& report) {
    if (!flags_.PortConnected)
        return; // already handled: a vanishing device raises more than one error
    flags_.PortConnected = false;
    note(QStringLiteral("lost: ") + report);
    Timer1.setEnabled(false);
    abandonSms();
    try {
        MSComm1.setPortOpen(false);
    } catch (const SerialError&) {
        // Closing a device that is gone may fail too; it is closed all the same.
    }
    connect->setVisible(true);
    boxes_.report(report + QStringLiteral("\nPlug the modem back in, then press Connect."));
}

} // namespace tarvex
