#include "command_runner.h"

#include "paced_transmitter.h"

#include <utility>

namespace tarvex {
namespace {

// Huawei's way of saying ERROR to a command it does not know.
const QString kNotSupported = QStringLiteral("COMMAND NOT SUPPORT");

} // namespace

CommandRunner::CommandRunner(SerialControl& line, Pause& pause, Timer& timer, QObject* parent)
    : QObject(parent)
    , line_(line)
    , pause_(pause)
    , timer_(timer) {
    QObject::connect(&timer_, &Timer::tick, this,
                     [this] { finish(CommandAnswer::Final::TimedOut, QString()); });
}

void CommandRunner::run(const QString& command, std::chrono::milliseconds timeout, Done done) {
    cancel();
    // Characters arriving while the line goes out wait in the port until the run returns.
    sendPaced(line_, pause_, QStringLiteral("AT") + command + QStringLiteral("\r\n"));
    await(command, timeout, std::move(done));
}

void CommandRunner::await(const QString& command, std::chrono::milliseconds timeout, Done done) {
    cancel();
    command_ = command;
    answer_ = CommandAnswer{};
    partial_.clear();
    skipNext_ = false;
    ++runs_;
    done_ = std::move(done);
    timer_.setInterval(timeout);
    timer_.setEnabled(true);
}

void CommandRunner::cancel() {
    timer_.setEnabled(false);
    done_ = nullptr;
}

void CommandRunner::feed(const QString& characters) {
    if (!active())
        return;
    const quint64 run = runs_;
    for (const QChar c : characters) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (!partial_.trimmed().isEmpty())
                takeLine(std::exchange(partial_, QString()).trimmed());
            partial_.clear();
            // The answer is complete (and its `done` may have asked the next command):
            // what follows is not its.
            if (!active() || runs_ != run)
                return;
        } else {
            partial_ += c;
        }
    }
}

void CommandRunner::takeLine(const QString& line) {
    // The modem's echo of the command, where echo is still on.
    if (line.compare(QStringLiteral("AT") + command_, Qt::CaseInsensitive) == 0)
        return;
    if (line == QLatin1String("OK"))
        return finish(CommandAnswer::Final::Ok, line);
    if (line == QLatin1String("ERROR") || line == kNotSupported)
        return finish(CommandAnswer::Final::Error, line);
    if (line.startsWith(QLatin1String("+CME ERROR")))
        return finish(CommandAnswer::Final::CmeError, line);
    if (line.startsWith(QLatin1String("+CMS ERROR")))
        return finish(CommandAnswer::Final::CmsError, line);
    if (std::exchange(skipNext_, false)) {
        unsolicited_.append(line);
        return;
    }
    if (isUnsolicited(line, command_)) {
        unsolicited_.append(line);
        // +CMT and +CDS carry the message or the report on the line after them.
        skipNext_ =
            line.startsWith(QLatin1String("+CMT:")) || line.startsWith(QLatin1String("+CDS:"));
        return;
    }
    answer_.lines.append(line);
}

void CommandRunner::finish(CommandAnswer::Final final, const QString& finalLine) {
    if (!active())
        return;
    timer_.setEnabled(false);
    answer_.final = final;
    answer_.finalLine = finalLine;
    const Done done = std::exchange(done_, nullptr);
    done(answer_);
}

} // namespace tarvex
