#include "shell.h"

#include "command_line.h"
#include "log/session_log.h"
#include "modem/modem_dialogue.h"
#include "modem/port_scan.h"
#include "platform/terminal.h"
#include "status_report.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <optional>

namespace tarvex::shell {
namespace {

void printLine(std::FILE* stream, const QString& text) {
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}

// The window's boxes as lines: what it would show on standard output, bad news on
// standard error, and each question answered by `answer`. Where standard output
// carries a report of its own (--status), the good news is left out of it.
class TerminalBoxes final : public MessageBoxes {
public:
    TerminalBoxes(std::function<bool(const QString&)> answer, bool informs)
        : answer_(std::move(answer))
        , informs_(informs) {}
    void inform(const QString& text) override {
        if (informs_)
            printLine(stdout, text);
    }
    bool ask(const QString&, const QString& text) override { return answer_(text); }
    void report(const QString& text) override {
        lastReport_ = text;
        printLine(stderr, text);
    }
    void warn(const QString& text) override { printLine(stderr, text); }
    bool waitsForTheOperator() const override { return false; }
    const QString& lastReport() const { return lastReport_; }

private:
    std::function<bool(const QString&)> answer_;
    bool informs_;
    QString lastReport_;
};

// The system's pause, which gives way to an interrupt: the handler that pauses or is
// about to write is abandoned, so no character of the dialogue's follows the
// interrupt (the ESC that takes an SMS back is the stop's own).
class InterruptiblePause final : public Pause {
public:
    void Sleep(std::chrono::milliseconds duration) override {
        beforeWrite();
        pause_.Sleep(duration);
        beforeWrite();
    }
    void SleepUninterrupted(std::chrono::milliseconds duration) override { pause_.Sleep(duration); }
    void beforeWrite() override {
        if (terminal::interrupted())
            throw Interrupted{};
    }

private:
    SystemPause pause_;
};

QString interruptedLine(SmsAtStop sms) {
    switch (sms) {
    case SmsAtStop::TakenBack:
        return QStringLiteral("Interrupted: the SMS was taken back with ESC and not sent; "
                              "port closed.");
    case SmsAtStop::NotSent:
        return QStringLiteral("Interrupted before the modem had the SMS: its command was cut "
                              "short and erased, and nothing was sent; port closed.");
    case SmsAtStop::Unknown:
        return QStringLiteral("Interrupted while the modem had the SMS: it may have been sent; "
                              "port closed.");
    case SmsAtStop::Stranded:
        return QStringLiteral("Interrupted: ESC could not be written, so the modem may still "
                              "hold the unsent SMS; port closed.");
    case SmsAtStop::None:
        break;
    }
    return QStringLiteral("Interrupted: port closed.");
}

class Run {
public:
    explicit Run(const ShellRequest& request)
        : request_(request) {
        DeviceLookup devices = deviceForPort;
        if (!request.device.isEmpty())
            devices = [entry = request.port, device = request.device](int port) {
                return port == entry ? device : deviceForPort(port);
            };
        auto boxes = std::make_unique<TerminalBoxes>(
            [this](const QString& question) { return answer(question); }, !status());
        boxes_ = boxes.get();
        platform_ = DialoguePlatform::system(
            std::move(boxes), std::make_unique<InterruptiblePause>(), std::move(devices));
        const QString surface = QStringLiteral("shell: --%1 %2, no window")
                                    .arg(request.commandName(), request.portArgument);
        platform_ = withSessionLog(std::move(platform_), startSessionLog(request.log, surface));
        dialogue_ = std::make_unique<ModemDialogue>(platform_);
    }

    int exec() {
        ModemDialogue& dialogue = *dialogue_;
        QObject::connect(&dialogue, &ModemDialogue::failed, [this] { end(kPortFailed); });
        QObject::connect(&dialogue, &ModemDialogue::stopped, [this](SmsAtStop sms) {
            if (status_ >= 0)
                return; // the run's own end
            printLine(stderr, interruptedLine(sms));
            end(kInterrupted);
        });
        QObject::connect(&dialogue, &ModemDialogue::modemFound, [this] {
            if (request_.command == ShellRequest::Command::Check)
                end(kDone);
            else if (status())
                dialogue_->run([this] { dialogue_->checkReadiness(); });
        });
        QObject::connect(&dialogue, &ModemDialogue::waitingForSim,
                         [](std::chrono::milliseconds wait) {
                             printLine(stderr, QStringLiteral("SIM busy: waiting for it, up to "
                                                              "%1 s ...")
                                                   .arg(wait.count() / 1000));
                         });
        QObject::connect(&dialogue, &ModemDialogue::readinessKnown,
                         [this](const QHash<QString, CommandAnswer>& answers) {
                             outcome_ = statusOf(request_, findingsFrom(answers), elapsed());
                             end(outcome_->exit);
                         });
        QTimer limit;
        if (status()) {
            limit.setSingleShot(true);
            limit.setInterval(std::chrono::seconds(request_.timeoutSeconds));
            QObject::connect(&limit, &QTimer::timeout, [this] {
                if (status_ >= 0)
                    return;
                const QString why = QStringLiteral("no verdict within %1 s (--timeout)")
                                        .arg(request_.timeoutSeconds);
                printLine(stderr, QStringLiteral("tarvex: ") + why);
                outcome_ = statusWithoutVerdict(request_, kModemSaidNo, why);
                end(outcome_->exit);
            });
            limit.start();
        }
        QObject::connect(&dialogue, &ModemDialogue::smsFinished,
                         [this](bool accepted) { end(accepted ? kDone : kModemSaidNo); });
        terminal::onInterrupt(&dialogue, [this] {
            if (status_ < 0)
                dialogue_->stop(QStringLiteral("interrupted"));
        });

        dialogue.setLineSpeed(request_.baud);
        dialogue.run([&] { dialogue.openPort(request_.port); });
        if (status_ < 0 && dialogue.flags().PortConnected) {
            if (request_.command == ShellRequest::Command::Send)
                dialogue.run([&] { dialogue.sendSms(request_.number, request_.text); });
            else
                dialogue.run([&] { dialogue.cmdTest_Click(); });
        }
        if (status_ < 0)
            QCoreApplication::exec();
        if (dialogue.flags().PortConnected)
            dialogue.stop(QStringLiteral("done, exit status %1").arg(status_));
        if (status())
            handOver();
        if (platform_.log)
            platform_.log->finish();
        terminal::runEnded();
        return status_;
    }

private:
    bool status() const { return request_.command == ShellRequest::Command::Status; }
    std::chrono::milliseconds elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started_);
    }

    // --status's report, for every way the run ended.
    void handOver() {
        if (!outcome_) {
            if (status_ == kModemSaidNo)
                outcome_ = statusWithoutModem(request_, elapsed());
            else if (status_ == kPortFailed)
                outcome_ = statusWithoutVerdict(request_, status_, boxes_->lastReport());
            else
                outcome_ = StatusOutcome{status_, {}}; // interrupted: nothing to report
        }
        status_ = outcome_->exit;
        if (const QString why = deliverReport(request_, outcome_->report); !why.isEmpty()) {
            printLine(stderr, QStringLiteral("tarvex: ") + why);
            status_ =
                request_.format == ShellRequest::Format::Nagios ? kPluginUnknown : kPortFailed;
        }
    }

    // "Modem Not Found - Retry?": yes while tries are left.
    bool answer(const QString& question) {
        if (++triesMade_ < request_.tries) {
            printLine(stderr, QStringLiteral("%1 Yes (try %2 of %3)")
                                  .arg(question)
                                  .arg(triesMade_ + 1)
                                  .arg(request_.tries));
            return true;
        }
        printLine(stderr, QStringLiteral("Modem Not Found"));
        if (const QString hint = scanHint(); !hint.isEmpty())
            printLine(stderr, hint);
        end(kModemSaidNo);
        return false;
    }

    // A UART, an adapter or a port of unknown kind may carry a modem at another speed:
    // a scan tries them. A USB modem's own port answers at any speed.
    QString scanHint() const {
        QList<PortInfo> port{PortInfo{}};
        port[0].device = platform_.serial->device();
        lookUpDevices(port);
        if (planProbe(port[0], {}).speeds.size() < 2)
            return {};
        return QStringLiteral("tarvex --scan %1 looks for the modem at the other speeds.")
            .arg(request_.portArgument);
    }

    void end(int status) {
        if (status_ >= 0)
            return;
        status_ = status;
        QCoreApplication::exit(status);
    }

    using Clock = std::chrono::steady_clock;
    static constexpr int kPluginUnknown = 3;

    const ShellRequest& request_;
    const Clock::time_point started_ = Clock::now();
    TerminalBoxes* boxes_ = nullptr;
    std::optional<StatusOutcome> outcome_;
    DialoguePlatform platform_;
    std::unique_ptr<ModemDialogue> dialogue_;
    int status_ = -1;
    int triesMade_ = 0;
};

} // namespace

int run(const ShellRequest& request) {
    terminal::attach();
    Run session(request);
    return session.exec();
}

} // namespace tarvex::shell
