// "Send SMS": text mode, the destination, the body; then the modem's verdict.

#include "dialogue_timing.h"
#include "line_characters.h"
#include "sms_input.h"
#include "ui/frmResult.h"

#include <QLineEdit>
#include <QPushButton>

namespace tarvex {
namespace {

constexpr QChar kQuote = QLatin1Char('"');

} // namespace

void frmResult::Command7_Click() {
    if (!requireConnection())
        return;
    if (txtMobileNo->text().isEmpty()) {
        boxes_.inform(QStringLiteral("Enter Mobile Number"));
        return;
    }
    if (txtDat->text().isEmpty()) {
        boxes_.inform(QStringLiteral("Enter SMS Data"));
        return;
    }
    if (!isValidMobileNumber(txtMobileNo->text())) {
        boxes_.inform(QStringLiteral("Invalid Mobile Number"));
        return;
    }
    if (txtMobileNo->text().size() > kMaxMobileNumberLength) {
        boxes_.inform(QStringLiteral("Invalid Mobile Number: %1 characters, at most %2 fit "
                                     "in an SMS (20 digits and a leading +)")
                          .arg(txtMobileNo->text().size())
                          .arg(kMaxMobileNumberLength));
        return;
    }
    if (!isValidSmsBody(txtDat->text())) {
        boxes_.inform(QStringLiteral("Invalid SMS Data"));
        return;
    }

    Command7->setEnabled(false);
    smsSending_ = true;
    // The answers queue up during the pauses and are read once this handler returns.
    sms_.start(txtDat->text());
    if (platform_.log)
        platform_.log->beginSms(txtMobileNo->text(), txtDat->text());
    note(QStringLiteral("SMS: %1 characters").arg(txtDat->text().size()));
    SendComm(QStringLiteral("AT+CMGF=1") + kCrLf);
    Sleep(kSmsCommandPause);
    SendComm(QStringLiteral("AT+CMGS=") + kQuote + txtMobileNo->text() + kQuote + kCrLf);
    Sleep(kSmsCommandPause);
    Sleep(kSmsCommandPause);
    SendComm(txtDat->text() + kCtrlZ);
    smsTimer_.setEnabled(true);
}

void frmResult::finishSms(const SmsOutcome& outcome) {
    if (!smsSending_)
        return;
    // Settled before the message opens, so nothing handled meanwhile reports it again.
    smsSending_ = false;
    smsTimer_.setEnabled(false);
    note(outcome.accepted ? QStringLiteral("SMS verdict: accepted")
                          : QStringLiteral("SMS verdict: not sent, ") + outcome.reason);
    if (platform_.log)
        platform_.log->endSms();
    if (outcome.accepted) {
        boxes_.inform(QStringLiteral("SMS Send"));
        txtMobileNo->setText(kNumberPrefix);
        txtDat->setText(QString());
    } else {
        // The typed number and text stay for another try.
        boxes_.inform(QStringLiteral("SMS Not Sent: ") + outcome.reason);
    }
    Command7->setEnabled(true);
}

void frmResult::smsTimer_Timer() {
    smsTimer_.setEnabled(false);
    if (!sms_.active())
        return; // the verdict is in and on its way to the operator
    sms_.stop();
    finishSms({false, QStringLiteral("no reply from modem")});
}

void frmResult::abandonSms() {
    sms_.stop();
    smsTimer_.setEnabled(false);
    if (smsSending_) {
        note(QStringLiteral("SMS abandoned"));
        if (platform_.log)
            platform_.log->endSms();
        smsSending_ = false;
        Command7->setEnabled(true);
    }
}

} // namespace tarvex
