// "Test Modem Communication": send AT, watch for OK, and give up after the reply time-out.

#include "dialogue_timing.h"
#include "line_characters.h"
#include "modem_dialogue.h"

namespace tarvex {

void ModemDialogue::cmdTest_Click() {
    flags_.DetectDone = false;
    if (!requireConnection())
        return;
    flags_.ModemFound = false;
    note(QStringLiteral("modem test: AT, then %1 ms for OK").arg(kReplyTimeout.count()));
    // An "O" left over from earlier traffic still counts: GotO is not reset.
    sendAttention();
    Timer1.setEnabled(true);
}

// "A", "T" and the line end, written straight to the port with pauses of their own.
void ModemDialogue::sendAttention() {
    lineInFlight_ = QStringLiteral("AT") + kCrLf;
    lineSent_ = 0;
    transmit(QStringLiteral("A"));
    Sleep(kAttentionPause);
    transmit(QStringLiteral("T"));
    Sleep(kAttentionPause);
    transmit(kCrLf);
    lineInFlight_.clear();
}

void ModemDialogue::HandleInput(const QString& InBuff) {
    if (flags_.DetectDone)
        return;
    if (InBuff == QLatin1String("O")) {
        flags_.GotO = true;
        return;
    }
    if (InBuff == QLatin1String("K") && flags_.GotO) {
        // Settled before anything is sent or shown: the echo-off reply and a timer
        // tick handled while the message is open must find the test finished.
        flags_.GotO = false;
        flags_.ModemFound = true;
        flags_.DetectDone = true;
        SendComm(QStringLiteral("ATE0") + kCrLf);
        Sleep(kEchoOffPause);
        boxes_.inform(QStringLiteral("GSM Modem OK"));
        emit modemFound();
    }
}

void ModemDialogue::Timer1_Timer() {
    Timer1.setEnabled(false);
    if (flags_.ModemFound)
        return;
    note(QStringLiteral("no OK within %1 ms").arg(kReplyTimeout.count()));
    if (!boxes_.ask(QStringLiteral("No Modem........"), QStringLiteral("Modem Not Found - Retry?")))
        return;
    // A late OK may have finished the detector while the question was open; the retried
    // command's answer must be recognised all the same.
    flags_.ModemFound = false;
    flags_.DetectDone = false;
    if (!requireConnection()) // the device went away while the question was open
        return;
    sendAttention();
    Timer1.setEnabled(true);
}

} // namespace tarvex
