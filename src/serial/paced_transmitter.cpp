// The paced transmitter and the receive path between the modem dialogue and the line.

#include "line_timing.h"
#include "modem/modem_dialogue.h"
#include "platform/serial_error.h"

#include <limits>
#include <stdexcept>

namespace tarvex {

void ModemDialogue::SendComm(const QString& text) {
    // The character count is a 16-bit value: a longer text is refused before
    // anything of it is sent.
    if (text.size() > std::numeric_limits<qint16>::max())
        throw std::length_error(
            QStringLiteral("Overflow: a command of %1 characters is longer than "
                           "32767 and was not sent.")
                .arg(text.size())
                .toStdString());
    for (qsizetype p = 0; p < text.size(); ++p) {
        transmit(text.mid(p, 1));
        Sleep(kCharacterPause);
    }
}

void ModemDialogue::MSComm1_OnComm() {
    switch (MSComm1.CommEvent()) {
    case CommEventCode::Receive: {
        const QString InBuff = MSComm1.Input();
        // The SMS answer reader decides before the detector runs: the detector may open
        // a message box whose nested loop delivers the characters after this one.
        const auto outcome = sms_.feed(InBuff);
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

} // namespace tarvex
