// "Send SMS": text mode, the destination, the body; then the modem's verdict.

#include "dialogue_timing.h"
#include "line_characters.h"
#include "log/session_log.h"
#include "modem_dialogue.h"
#include "serial/line_timing.h"
#include "sms_input.h"

namespace tarvex {
namespace {

constexpr QChar kQuote = QLatin1Char('"');

} // namespace

void ModemDialogue::sendSms(const QString& number, const QString& body) {
    if (!requireConnection())
        return;
    if (const auto problem = smsInputProblem(number, body)) {
        boxes_.inform(*problem);
        return;
    }

    smsSending_ = true;
    emit smsSendingChanged(true);
    // The answers queue up during the pauses and are read once this handler returns.
    sms_.start(body);
    if (platform_.log)
        platform_.log->beginSms(number, body);
    note(QStringLiteral("SMS: %1 characters").arg(body.size()));
    SendComm(QStringLiteral("AT+CMGF=1") + kCrLf);
    Sleep(kSmsCommandPause);
    // From its first character on, the modem may be waiting for a body.
    smsStage_ = SmsStage::Body;
    SendComm(QStringLiteral("AT+CMGS=") + kQuote + number + kQuote + kCrLf);
    Sleep(kSmsCommandPause);
    Sleep(kSmsCommandPause);
    // The body, then Ctrl-Z at the same pace; once Ctrl-Z is out the message is the
    // modem's to send, and nothing can take it back.
    SendComm(body);
    transmit(QString(kCtrlZ));
    smsStage_ = SmsStage::Submitted;
    Sleep(kCharacterPause);
    smsTimer_.setEnabled(true);
}

void ModemDialogue::finishSms(const SmsOutcome& outcome) {
    if (!smsSending_)
        return;
    // Settled before the message opens, so nothing handled meanwhile reports it again.
    smsSending_ = false;
    smsStage_ = SmsStage::Commands;
    smsTimer_.setEnabled(false);
    note(outcome.accepted ? QStringLiteral("SMS verdict: accepted")
                          : QStringLiteral("SMS verdict: not sent, ") + outcome.reason);
    if (platform_.log)
        platform_.log->endSms();
    if (outcome.accepted)
        boxes_.inform(QStringLiteral("SMS Send"));
    else
        boxes_.warn(QStringLiteral("SMS Not Sent: ") + outcome.reason);
    emit smsFinished(outcome.accepted);
    emit smsSendingChanged(false);
}

void ModemDialogue::smsTimer_Timer() {
    smsTimer_.setEnabled(false);
    if (!sms_.active())
        return; // the verdict is in and on its way to the operator
    sms_.stop();
    finishSms({false, QStringLiteral("no reply from modem")});
}

void ModemDialogue::abandonSms() {
    sms_.stop();
    smsTimer_.setEnabled(false);
    if (smsSending_) {
        note(QStringLiteral("SMS abandoned"));
        if (platform_.log)
            platform_.log->endSms();
        smsSending_ = false;
        smsStage_ = SmsStage::Commands;
        emit smsSendingChanged(false);
    }
}

} // namespace tarvex
