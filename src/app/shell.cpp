#include "shell.h"

#include "command_line.h"
#include "log/session_log.h"
#include "modem/modem_dialogue.h"
#include "platform/terminal.h"

#include <QCoreApplication>
#include <cstdio>

namespace tarvex::shell {
namespace {

void printLine(std::FILE* stream, const QString& text) {
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}

// The window's boxes as lines: what it would show on standard output, bad news on
// standard error, and each question answered by `answer`.
class TerminalBoxes final : public MessageBoxes {
public:
    explicit TerminalBoxes(std::function<bool(const QString&)> answer)
        : answer_(std::move(answer)) {}
    void inform(const QString& text) override { printLine(stdout, text); }
    bool ask(const QString&, const QString& text) override { return answer_(text); }
    void report(const QString& text) override { printLine(stderr, text); }
    void warn(const QString& text) override { printLine(stderr, text); }
    bool waitsForTheOperator() const override { return false; }

private:
    std::function<bool(const QString&)> answer_;
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
        platform_ = DialoguePlatform::system(
            std::make_unique<TerminalBoxes>(
                [this](const QString& question) { return answer(question); }),
            std::make_unique<InterruptiblePause>(), std::move(devices));
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
        });
        QObject::connect(&dialogue, &ModemDialogue::smsFinished,
                         [this](bool accepted) { end(accepted ? kDone : kModemSaidNo); });
        terminal::onInterrupt(&dialogue, [this] {
            if (status_ < 0)
                dialogue_->stop(QStringLiteral("interrupted"));
        });

        dialogue.run([&] { dialogue.openPort(request_.port); });
        if (status_ < 0 && dialogue.flags().PortConnected) {
            if (request_.command == ShellRequest::Command::Check)
                dialogue.run([&] { dialogue.cmdTest_Click(); });
            else
                dialogue.run([&] { dialogue.sendSms(request_.number, request_.text); });
        }
        if (status_ < 0)
            QCoreApplication::exec();
        if (dialogue.flags().PortConnected)
            dialogue.stop(QStringLiteral("done, exit status %1").arg(status_));
        if (platform_.log)
            platform_.log->finish();
        terminal::runEnded();
        return status_;
    }

private:
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
        end(kModemSaidNo);
        return false;
    }

    void end(int status) {
        if (status_ >= 0)
            return;
        status_ = status;
        QCoreApplication::exit(status);
    }

    const ShellRequest& request_;
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
