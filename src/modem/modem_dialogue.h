#pragma once
// The dialogue with the modem: the serial control, the reply timer, the state flags,
// the detector and the SMS answer reader. The window drives it from its buttons and
// the shell from its command line; both see its outcomes through the message boxes
// and the signals below.

#include "modem/dialogue_platform.h"
#include "modem/sms_answer.h"
#include "platform/serial_error.h"
#include "platform/state_flag.h"
#include "serial/command_runner.h"
#include "serial/port_opening.h"

#include <QHash>
#include <QObject>
#include <optional>

namespace tarvex {

struct StateFlags {
    StateFlag GotO;
    StateFlag ModemFound;
    StateFlag PortConnected;
    StateFlag DetectDone;
};

// Thrown by a pause when the user asked the program to stop: it abandons the running
// handler like a platform error, but ends what was on the line instead of reporting.
struct Interrupted {};

// Where an SMS stood when stop() ended the run.
enum class SmsAtStop {
    None,      // none was being sent
    TakenBack, // AT+CMGS had gone out, the body had not: ESC took it back
    Unknown,   // the body and Ctrl-Z had gone out: the modem may have sent it
    NotSent,   // AT+CMGS was cut short and erased: the modem never took it
    Stranded,  // as TakenBack, but ESC could not be written: the modem may still wait
};

class ModemDialogue final : public QObject {
    Q_OBJECT
public:
    // Uses the platform's parts; `platform` must outlive the dialogue.
    explicit ModemDialogue(DialoguePlatform& platform, QObject* parent = nullptr);

    const StateFlags& flags() const { return flags_; }
    bool smsInProgress() const { return smsSending_; }

    // The state after load: every flag false, the reply timer off.
    void reset();
    // The line speed the next openPort() sets: 9600 unless a start option said otherwise.
    void setLineSpeed(int baud) { lineSpeed_ = baud; }

    // The handlers. Each may throw; an event runs it behind run().
    void openPort(qint16 port);
    void cmdTest_Click();
    void Timer1_Timer();
    void MSComm1_OnComm();
    void sendSms(const QString& number, const QString& body);
    // Once the modem has answered the test: the read-only readiness queries, one at a
    // time, their answers in readinessKnown(). Nothing is asked that changes the modem.
    void checkReadiness();

    void SendComm(const QString& text);
    void HandleInput(const QString& InBuff);

    // Nothing thrown may cross into Qt's event dispatch. A failing platform operation
    // abandons the rest of its handler, is reported, and the program keeps running.
    template <typename Handler> void run(Handler&& handler) {
        try {
            handler();
        } catch (const Interrupted&) {
            stop(QStringLiteral("interrupted"));
        } catch (const SerialError& error) {
            onPlatformError(error);
        } catch (const std::exception& error) {
            onOtherError(error);
        }
    }

    // Ends everything in progress and closes the port, noting `why` in the log. A
    // message whose AT+CMGS has gone out, and its Ctrl-Z not, is abandoned with ESC,
    // so the modem neither waits for the rest nor sends half a text.
    void stop(const QString& why);

    SerialControl& MSComm1;
    Timer& Timer1;

signals:
    void connectedChanged(bool connected);
    void smsSendingChanged(bool sending);
    // After "GSM Modem OK" was shown.
    void modemFound();
    // After the SMS verdict was shown.
    void smsFinished(bool accepted);
    // After a platform error was reported.
    void failed();
    // After stop() has ended everything, with where the SMS stood.
    void stopped(SmsAtStop sms);
    // The SIM said it is busy; it is asked again for up to `wait`.
    void waitingForSim(std::chrono::milliseconds wait);
    // Every readiness query's answer, keyed by the query as sent without "AT".
    void readinessKnown(const QHash<QString, CommandAnswer>& answers);

private:
    void onPlatformError(const SerialError& error);
    void onOtherError(const std::exception& error);
    void onDeviceLost(const QString& report);
    // What the operator can connect to instead, when `error` says the device is missing.
    std::optional<QString> presentOnMissingDevice(const SerialError& error);
    // True when the port is open; otherwise the operator is told to connect first.
    bool requireConnection();
    void Sleep(std::chrono::milliseconds duration);
    // `text` to the port, unless the pause says the run has been stopped.
    void transmit(const QString& text);
    // A line in the session log, when there is one.
    void note(const QString& text);
    void sendAttention();
    void smsTimer_Timer();
    void finishSms(const SmsOutcome& outcome);
    void abandonSms();
    void closePort();
    void askNextQuery();
    void queryAnswered(const QString& query, const CommandAnswer& answer);
    // A command line that the stop cut short, before its CR, is erased with V.250's
    // editing (a backspace for each character out, then CR on the emptied line), so
    // that the modem holds no half command for the next one to run into. True when
    // there was one.
    bool eraseCutLine();

    DialoguePlatform& platform_;
    Pause& pause_;
    MessageBoxes& boxes_;
    Timer& smsTimer_;
    PortDirectory& ports_;
    StateFlags flags_;
    int lineSpeed_ = kLineSpeed;
    SmsAnswerReader sms_;
    CommandRunner runner_;
    QHash<QString, CommandAnswer> answers_;
    qsizetype nextQuery_ = 0;
    std::chrono::milliseconds simWaited_{0};
    // The command line going out, and how many of its characters have.
    QString lineInFlight_;
    qsizetype lineSent_ = 0;
    bool smsSending_ = false; // from the click until the operator is told the outcome
    // How far the SMS on the line has got, for stop().
    enum class SmsStage { Commands, Body, Submitted } smsStage_ = SmsStage::Commands;
};

} // namespace tarvex
