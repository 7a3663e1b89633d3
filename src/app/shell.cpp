#include "shell.h"

#include "modem/modem_dialogue.h"
#include "modem/sms_input.h"
#include "platform/logged_platform.h"
#include "platform/qt_serial_control.h"
#include "platform/terminal.h"
#include "session_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdio>
#include <variant>

namespace tarvex::shell {
namespace {

struct Request {
    enum class Kind { Check, Send } kind = Kind::Check;
    QString portArgument;
    qint16 port = 0;
    QString number;
    QString text;
    int tries = 1;
    SessionOptions log;
};

void printLine(std::FILE* stream, const QString& text) {
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}

// The port `argument` names: an entry ("COM3"), else the entry whose device it is
// (also through a link: /dev/serial0), else COM1 pointed at it as TARVEX_COM1 would.
std::variant<qint16, QString> portNamed(const QString& argument) {
    static const QRegularExpression entry(QStringLiteral("^COM([0-9]+)$"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = entry.match(argument);
    const int number = match.hasMatch() ? match.captured(1).toInt() : 0;
    if (number >= kFirstPort && number <= kLastPort)
        return qint16(number);
    if (!namesADevice(argument))
        return QStringLiteral("%1: no such port: give COM%2 to COM%3, or the device itself")
            .arg(argument)
            .arg(kFirstPort)
            .arg(kLastPort);
    if (const QString why = notASerialDevice(argument); !why.isEmpty())
        return QStringLiteral("%1 is not a serial port (it is %2); nothing was opened")
            .arg(argument, why);
    const QString device = QFileInfo(argument).canonicalFilePath();
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        const QString entryDevice = deviceForPort(port);
        if (entryDevice == argument ||
            (!device.isEmpty() && QFileInfo(entryDevice).canonicalFilePath() == device))
            return qint16(port);
    }
    qputenv("TARVEX_COM1", argument.toLocal8Bit());
    return qint16(kFirstPort);
}

std::variant<Request, QString> parse(const QStringList& arguments) {
    QCommandLineParser parser;
    describeOptions(parser);
    if (!parser.parse(arguments))
        return parser.errorText();
    const bool check = parser.isSet(QStringLiteral("check"));
    const bool send = parser.isSet(QStringLiteral("send"));
    if (check && send)
        return QStringLiteral("--check and --send are two runs: give one of them");
    Request request;
    request.kind = check ? Request::Kind::Check : Request::Kind::Send;
    request.portArgument = parser.value(check ? QStringLiteral("check") : QStringLiteral("send"));
    request.log = sessionOptionsOf(parser);
    const QStringList rest = parser.positionalArguments();
    if (check) {
        if (!rest.isEmpty())
            return QStringLiteral("--check takes only PORT, not \"%1\"").arg(rest.join(' '));
        bool isNumber = false;
        request.tries = parser.value(QStringLiteral("tries")).toInt(&isNumber);
        if (!isNumber || request.tries < 1 || request.tries > 99)
            return QStringLiteral("--tries takes a number from 1 to 99, not \"%1\"")
                .arg(parser.value(QStringLiteral("tries")));
    } else {
        if (parser.isSet(QStringLiteral("tries")))
            return QStringLiteral("--tries goes with --check; --send sends once");
        if (rest.size() < 2)
            return rest.isEmpty() ? QStringLiteral("--send needs NUMBER and TEXT after PORT")
                                  : QStringLiteral("--send needs TEXT after NUMBER");
        if (rest.size() > 2)
            return QStringLiteral("TEXT is one argument: put it in quotes, as in "
                                  "tarvex --send %1 %2 \"%3\"")
                .arg(request.portArgument, rest[0], rest.mid(1).join(' '));
        request.number = rest[0];
        request.text = rest[1];
        if (const auto problem = smsInputProblem(request.number, request.text))
            return *problem;
    }
    const auto port = portNamed(request.portArgument);
    if (const auto* why = std::get_if<QString>(&port))
        return *why;
    request.port = std::get<qint16>(port);
    return request;
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
    explicit Run(const Request& request)
        : request_(request) {
        platform_.serial = std::make_unique<QtSerialControl>();
        platform_.pause = std::make_unique<InterruptiblePause>();
        platform_.boxes = std::make_unique<TerminalBoxes>(
            [this](const QString& question) { return answer(question); });
        platform_.replyTimer = std::make_unique<QtTimer>();
        platform_.smsTimer = std::make_unique<QtTimer>();
        platform_.ports = std::make_unique<SystemPortDirectory>();
        platform_.endProcess = [] {};
        const QString surface =
            QStringLiteral("shell: --%1 %2, no window")
                .arg(request.kind == Request::Kind::Check ? QStringLiteral("check")
                                                          : QStringLiteral("send"),
                     request.portArgument);
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
            if (request_.kind == Request::Kind::Check)
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
            if (request_.kind == Request::Kind::Check)
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

    const Request& request_;
    WindowPlatform platform_;
    std::unique_ptr<ModemDialogue> dialogue_;
    int status_ = -1;
    int triesMade_ = 0;
};

} // namespace

bool requested(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--") // what follows is no option
            return false;
        if (argument == "--check" || argument == "--send" || argument.startsWith("--check=") ||
            argument.startsWith("--send="))
            return true;
    }
    return false;
}

int run() {
    terminal::attach();
    const auto parsed = parse(QCoreApplication::arguments());
    if (const auto* error = std::get_if<QString>(&parsed)) {
        printLine(stderr, QStringLiteral("tarvex: %1").arg(*error));
        printLine(stderr, QStringLiteral("Try 'tarvex --help'. Nothing was sent."));
        return kUsage;
    }
    Run session(std::get<Request>(parsed));
    return session.exec();
}

} // namespace tarvex::shell
