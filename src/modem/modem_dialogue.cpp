#include "modem_dialogue.h"

#include "dialogue_timing.h"
#include "line_characters.h"
#include "log/session_log.h"
#include "platform/serial_error.h"
#include "serial/line_timing.h"

#include <utility>

namespace tarvex {

ModemDialogue::ModemDialogue(DialoguePlatform& platform, QObject* parent)
    : QObject(parent)
    , MSComm1(*platform.serial)
    , Timer1(*platform.replyTimer)
    , platform_(platform)
    , pause_(*platform.pause)
    , boxes_(*platform.boxes)
    , smsTimer_(*platform.smsTimer)
    , ports_(*platform.ports)
    , runner_(*platform.serial, *platform.pause, *platform.queryTimer) {
    Timer1.setInterval(kReplyTimeout);
    smsTimer_.setInterval(kSmsOutcomeTimeout);
    QObject::connect(&MSComm1, &SerialControl::OnComm, this,
                     [this] { run([this] { MSComm1_OnComm(); }); });
    QObject::connect(&Timer1, &Timer::tick, this, [this] { run([this] { Timer1_Timer(); }); });
    QObject::connect(&smsTimer_, &Timer::tick, this, [this] { run([this] { smsTimer_Timer(); }); });
}

void ModemDialogue::reset() {
    flags_.GotO = false;
    flags_.ModemFound = false;
    flags_.PortConnected = false;
    flags_.DetectDone = false;
    Timer1.setEnabled(false);
}

void ModemDialogue::onPlatformError(const SerialError& error) {
    if (error.kind() == SerialError::Kind::DeviceLost) {
        onDeviceLost(error.text());
        return;
    }
    abandonSms();
    QString report = error.text();
    if (const auto present = presentOnMissingDevice(error)) {
        // The modem is likely on another entry, or beyond the list: say where.
        if (!report.endsWith(QLatin1Char('.')))
            report += QLatin1Char('.');
        report += QLatin1Char('\n') + *present;
    }
    boxes_.report(report);
    emit failed();
}

void ModemDialogue::onOtherError(const std::exception& error) {
    abandonSms();
    boxes_.report(QString::fromLocal8Bit(error.what()));
    emit failed();
}

// A device is missing when the system says so, or when an open fails on an entry the
// system does not list: Wine opens an unmapped COM port with "Invalid function".
std::optional<QString> ModemDialogue::presentOnMissingDevice(const SerialError& error) {
    const bool opening = !flags_.PortConnected;
    if (error.kind() != SerialError::Kind::NoSuchDevice &&
        !(opening && error.kind() == SerialError::Kind::Io))
        return std::nullopt;
    const QList<PortInfo> entries = ports_.ports();
    const int port = MSComm1.CommPort();
    if (error.kind() == SerialError::Kind::Io &&
        (port < kFirstPort || port > kLastPort || entries.value(port - kFirstPort).present))
        return std::nullopt;
    QString present = presentPorts(entries, ports_.beyondTheList(entries), port);
    if (const QString taken = ports_.adapterTakenAway(); !taken.isEmpty())
        present += QLatin1Char('\n') + taken;
    return present;
}

bool ModemDialogue::requireConnection() {
    if (flags_.PortConnected)
        return true;
    boxes_.inform(QStringLiteral("Connect ComPort"));
    return false;
}

void ModemDialogue::note(const QString& text) {
    if (platform_.log)
        platform_.log->note(text);
}

void ModemDialogue::Sleep(std::chrono::milliseconds duration) {
    pause_.Sleep(duration);
}

void ModemDialogue::transmit(const QString& text) {
    pause_.beforeWrite();
    MSComm1.Output(text);
    if (!lineInFlight_.isEmpty())
        lineSent_ += text.size();
}

bool ModemDialogue::eraseCutLine() {
    const QString line = std::exchange(lineInFlight_, QString());
    const qsizetype sent = std::exchange(lineSent_, 0);
    // Once its CR is out the modem has run the line; before its first character
    // there is nothing to take back.
    if (!line.endsWith(kCrLf) || sent == 0 || sent >= line.size() - 1 || !MSComm1.PortOpen())
        return false;
    try {
        for (qsizetype i = 0; i < sent; ++i) {
            MSComm1.Output(QString(kBackspace));
            pause_.SleepUninterrupted(kCharacterPause);
        }
        MSComm1.Output(QString(kCarriageReturn));
        note(QStringLiteral("the cut command line erased: %1 characters").arg(sent));
    } catch (const SerialError& error) {
        note(QStringLiteral("the cut command line not erased: ") + error.text());
    }
    return true;
}

void ModemDialogue::stop(const QString& why) {
    Timer1.setEnabled(false);
    smsTimer_.setEnabled(false);
    runner_.cancel();
    const bool wasSending = smsSending_;
    SmsAtStop sms = SmsAtStop::None;
    if (wasSending && smsStage_ == SmsStage::Body)
        sms = SmsAtStop::TakenBack;
    else if (wasSending && smsStage_ == SmsStage::Submitted)
        sms = SmsAtStop::Unknown;
    sms_.stop();
    smsSending_ = false;
    note(why);
    // AT+CMGS cut short and erased never reached the modem: there is nothing to take back.
    const bool commandCut = eraseCutLine();
    if (sms == SmsAtStop::TakenBack && commandCut)
        sms = SmsAtStop::NotSent;
    smsStage_ = SmsStage::Commands;
    if (sms == SmsAtStop::TakenBack) {
        // 27.005's way out of the "> " prompt: the modem answers OK and sends nothing.
        try {
            MSComm1.Output(QString(kEscape));
            note(QStringLiteral("SMS abandoned with ESC"));
        } catch (const SerialError& error) {
            note(QStringLiteral("ESC not sent: ") + error.text());
            sms = SmsAtStop::Stranded;
        }
    }
    if (sms == SmsAtStop::Unknown)
        note(QStringLiteral("SMS submitted, its verdict not awaited"));
    if (wasSending && platform_.log)
        platform_.log->endSms();
    if (wasSending)
        emit smsSendingChanged(false);
    closePort();
    emit stopped(sms);
}

void ModemDialogue::closePort() {
    if (!flags_.PortConnected)
        return;
    flags_.PortConnected = false;
    try {
        MSComm1.setPortOpen(false);
    } catch (const SerialError&) {
        // Closing a device that is gone may fail too; it is closed all the same.
    }
    emit connectedChanged(false);
}

} // namespace tarvex
