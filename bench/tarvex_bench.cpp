// Tarvex on a real pseudo-terminal in real time, each figure beside the best this
// machine does in the same run: pacing, the SMS sequence, reaction, receive
// capacity, start-up and footprint. One table on stdout, the same figures as JSON.

#include "log/session_log.h"
#include "modem/dialogue_platform.h"
#include "platform/message_boxes.h"
#include "platform/serial_control.h"
#include "process_stats.h"
#include "pty_link.h"
#include "recording_message_boxes.h"
#include "ui/frmResult.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace tarvex;
using namespace tarvex::bench;
using namespace std::chrono_literals;

namespace {

struct Options {
    int paceChars = 500;
    int tests = 500;
    int sms = 50;
    int idleSeconds = 30;
    int floodBytes = 2 * 1024 * 1024;
    int startups = 5;
    int connects = 20;
    int shellRuns = 10;
    QString json;
    QStringList only; // stage names; empty for all
    bool runs(const char* stage) const {
        return only.isEmpty() || only.contains(QLatin1String(stage));
    }
};

struct Row {
    QString figure;
    QString unit;
    double tarvex = 0;
    double reference = 0;
    QString referenceName;
    QString target;
    std::optional<bool> met;
};

std::vector<Row> rows;

void add(Row row) {
    std::fprintf(stderr, "  %s: %.3f %s (reference %.3f)\n", qPrintable(row.figure), row.tarvex,
                 qPrintable(row.unit), row.reference);
    rows.push_back(std::move(row));
}

// Runs the event loop until `done` holds; false on time-out.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    QTimer guard; // wakes the loop now and then to look at the deadline
    guard.start(50);
    while (!done()) {
        if (Clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void runFor(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

// utime + stime of another process, in milliseconds.
double cpuMsOf(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // Fields after the command name, which may hold spaces: state is field 3.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    const double ticks = fields.value(11).toDouble() + fields.value(12).toDouble();
    return ticks * 1000.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double ownCpuMs() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_usec) / 1000.0;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

std::vector<double> gapErrors(const std::vector<Arrival>& at, double nominalMs) {
    std::vector<double> errors;
    for (std::size_t i = 1; i < at.size(); ++i)
        errors.push_back(std::abs(milliseconds(at[i].at - at[i - 1].at) - nominalMs));
    return errors;
}

QString binary(const char* name) {
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(name);
}

// Gaps the reference pacer leaves between `count` bytes written `periodMs` apart.
std::vector<Arrival> referencePacing(int count, int periodMs) {
    PtyLink link;
    QProcess pacer;
    pacer.start(binary("reference_pacer"), {QString::fromStdString(link.path()),
                                            QString::number(count), QString::number(periodMs)});
    link.waitForCount(static_cast<std::size_t>(count),
                      std::chrono::milliseconds(count * periodMs + 5000));
    pacer.waitForFinished(5000);
    return link.arrivals();
}

// The modem side for the window: answers each command line at once from the reader
// thread, and times the window's reaction to the "K" of "OK".
class Modem {
public:
    explicit Modem(PtyLink& link)
        : link_(link) {
        link_.setOnByte([this](char byte, Clock::time_point at) { onByte(byte, at); });
    }
    ~Modem() { link_.setOnByte({}); }

    // Forgets a half line, such as the pacing run's characters: called with the line quiet.
    void reset() {
        link_.setOnByte({});
        line_.clear();
        link_.setOnByte([this](char byte, Clock::time_point at) { onByte(byte, at); });
    }

    void clearReactions() {
        std::lock_guard lock(mutex_);
        reactions_.clear();
    }

    std::vector<double> reactionsMs() const {
        std::lock_guard lock(mutex_);
        return reactions_;
    }

private:
    void onByte(char byte, Clock::time_point at) {
        if (awaitingEchoOff_ && byte == 'A') {
            awaitingEchoOff_ = false;
            std::lock_guard lock(mutex_);
            reactions_.push_back(milliseconds(at - kWritten_));
        }
        if (byte == 26) {
            line_.clear();
            link_.write("\r\n+CMGS: 7\r\n\r\nOK\r\n");
            return;
        }
        if (byte == '\n')
            return;
        if (byte != '\r') {
            line_.push_back(byte);
            return;
        }
        if (line_ == "AT") {
            link_.write("\r\nO");
            kWritten_ = Clock::now();
            awaitingEchoOff_ = true;
            link_.write("K\r\n");
        } else if (line_ == "AT+CMGF=1") {
            link_.write("\r\nOK\r\n");
        } else if (line_.rfind("AT+CMGS=", 0) == 0) {
            link_.write("\r\n> ");
        }
        line_.clear();
    }

    PtyLink& link_;
    std::string line_;
    bool awaitingEchoOff_ = false;
    Clock::time_point kWritten_;
    mutable std::mutex mutex_;
    std::vector<double> reactions_;
};

// Where the bench's session logs go: never the user's own folder.
QTemporaryDir logFolder;

struct Window {
    // With `logged`, a session log listens in, as in the program. Connected unless
    // `connectNow` is false.
    explicit Window(const std::string& device, bool logged = false, bool connectNow = true) {
        qputenv("TARVEX_COM1", QByteArray::fromStdString(device));
        auto recorder = std::make_unique<RecordingMessageBoxes>();
        boxes = recorder.get();
        DialoguePlatform platform =
            DialoguePlatform::system(std::move(recorder), std::make_unique<SystemPause>());
        if (logged)
            platform = withSessionLog(
                std::move(platform),
                std::make_shared<SessionLog>(SessionLog::Options{logFolder.path(), false, {}}));
        window = std::make_unique<frmResult>(std::move(platform), [] {});
        window->show();
        if (!connectNow)
            return;
        window->connect->click();
        if (!window->flags().PortConnected)
            qFatal("the window cannot open %s: %s", device.c_str(),
                   qPrintable(boxes->texts.join(QLatin1Char(' '))));
    }
    RecordingMessageBoxes* boxes = nullptr;
    std::unique_ptr<frmResult> window;
};

// The reference programs' figures, taken before the window exists so that they
// add nothing to its memory figures.
struct References {
    std::vector<double> pace25;
    std::vector<double> pace100;
    std::vector<double> reactions;
} references;

void runReferences(const Options& o) {
    std::fprintf(stderr, "references: pacer at 25 and 100 ms, responder\n");
    references.pace25 = gapErrors(referencePacing(o.paceChars, 25), 25);
    references.pace100 = gapErrors(referencePacing(std::min(o.tests * 2 + 1, 41), 100), 100);
    // The reference answers "K" with "A" from its own poll() loop.
    PtyLink refLink;
    std::atomic<bool> awaiting = false;
    Clock::time_point written;
    std::vector<double>& reference = references.reactions;
    std::mutex mutex;
    refLink.setOnByte([&](char byte, Clock::time_point at) {
        if (byte == 'A' && awaiting.exchange(false)) {
            std::lock_guard lock(mutex);
            reference.push_back(milliseconds(at - written));
        }
    });
    QProcess responder;
    responder.start(binary("reference_responder"),
                    {QString::fromStdString(refLink.path()), QString::number(o.tests)});
    responder.waitForReadyRead(5000);
    for (int i = 0; i < o.tests; ++i) {
        written = Clock::now();
        awaiting = true;
        refLink.write("K");
        const auto deadline = Clock::now() + 2s;
        while (awaiting && Clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(20ms);
    }
    responder.waitForFinished(5000);
    refLink.setOnByte({});
}

// The pacing figures; with `unlogged` (the same window's figure without the session
// log), only the median, held against it.
double pacing(Window& w, PtyLink& link, const Options& o, std::optional<double> unlogged = {}) {
    std::fprintf(stderr, "pacing: %d characters%s\n", o.paceChars, unlogged ? ", logged" : "");
    QString text;
    for (int i = 0; i < o.paceChars; ++i)
        text.append(QChar(u'0' + i % 10));
    link.clear();
    w.window->SendComm(text);
    link.waitForCount(static_cast<std::size_t>(o.paceChars), 2s);
    const auto tarvex = gapErrors(link.arrivals(), 25);
    if (unlogged) {
        add({QStringLiteral("pacing |gap-25ms| median, session log on"), QStringLiteral("ms"),
             median(tarvex), *unlogged, QStringLiteral("the same, log off"),
             QStringLiteral("within 0.05 ms of log off"), median(tarvex) - *unlogged <= 0.05});
        return median(tarvex);
    }
    const auto& reference = references.pace25;
    const QString name = QStringLiteral("reference_pacer (clock_nanosleep, absolute)");
    add({QStringLiteral("pacing |gap-25ms| median"), QStringLiteral("ms"), median(tarvex),
         median(reference), name, QStringLiteral("within 1 ms of reference"),
         median(tarvex) - median(reference) <= 1.0});
    add({QStringLiteral("pacing |gap-25ms| p99"),
         QStringLiteral("ms"),
         percentile(tarvex, 99),
         percentile(reference, 99),
         name,
         {},
         {}});
    return median(tarvex);
}

void modemTests(Window& w, PtyLink& link, Modem& modem, const Options& o, bool warmUp = false) {
    const int tests = warmUp ? 1 : o.tests;
    std::fprintf(stderr, "modem test: %d cycles\n", tests);
    std::vector<double> attention;
    for (int i = 0; i < tests; ++i) {
        link.clear();
        const auto before = w.boxes->texts.size();
        w.window->cmdTest->click();
        if (!waitUntil([&] { return w.boxes->texts.size() > before; }, 5s))
            qFatal("no verdict from test %d", i);
        if (w.boxes->texts.last() != QLatin1String("GSM Modem OK"))
            qFatal("test %d: %s", i, qPrintable(w.boxes->texts.last()));
        const auto at = link.arrivals();
        // "A", "T", CR: the two pauses of the attention command.
        for (std::size_t k = 1; k < 3 && k < at.size(); ++k)
            attention.push_back(std::abs(milliseconds(at[k].at - at[k - 1].at) - 100));
    }
    if (warmUp) {
        modem.clearReactions();
        return;
    }
    const auto& attentionRef = references.pace100;
    const auto& reference = references.reactions;
    add({QStringLiteral("attention |gap-100ms| median"), QStringLiteral("ms"), median(attention),
         median(attentionRef), QStringLiteral("reference_pacer at 100 ms"),
         QStringLiteral("within 1 ms of reference"),
         median(attention) - median(attentionRef) <= 1.0});

    const auto reactions = modem.reactionsMs();
    add({QStringLiteral("reaction OK -> ATE0 median"), QStringLiteral("ms"), median(reactions),
         median(reference), QStringLiteral("reference_responder (poll)"), QStringLiteral("< 2 ms"),
         median(reactions) < 2.0});
    add({QStringLiteral("reaction OK -> ATE0 p99"),
         QStringLiteral("ms"),
         percentile(reactions, 99),
         percentile(reference, 99),
         QStringLiteral("reference_responder (poll)"),
         {},
         {}});
}

// As pacing(): with `unlogged`, the median held against the figure without the log.
double smsSequence(Window& w, PtyLink& link, const Options& o, bool warmUp = false,
                   std::optional<double> unlogged = {}) {
    const int messages = warmUp ? 1 : o.sms;
    std::fprintf(stderr, "SMS: %d messages of 34 characters\n", messages);
    // The longest body the window takes; checked in every build, Release included.
    const QString body = QStringLiteral("Tarvex bench: 34 characters, long.");
    if (body.size() != 34)
        qFatal("the SMS body has %d characters, not 34", int(body.size()));
    std::vector<double> durations;
    std::vector<double> drifts;
    double nominalMs = 0;
    for (int i = 0; i < messages; ++i) {
        w.window->txtMobileNo->setText(QStringLiteral("+15550001234"));
        w.window->txtDat->setText(body);
        link.clear();
        const auto before = w.boxes->texts.size();
        w.window->Command7->click();
        if (!waitUntil([&] { return w.boxes->texts.size() > before; }, 10s))
            qFatal("no verdict for SMS %d", i);
        if (w.boxes->texts.last() != QLatin1String("SMS Send"))
            qFatal("SMS %d: %s", i, qPrintable(w.boxes->texts.last()));
        const auto at = link.arrivals();
        // Every character is followed by its pause; the three command pauses come on top.
        nominalMs = 3000.0 + 25.0 * static_cast<double>(at.size() - 1);
        const double measured = milliseconds(at.back().at - at.front().at);
        durations.push_back(measured);
        drifts.push_back(std::abs(measured - nominalMs) / nominalMs * 100.0);
    }
    if (warmUp)
        return 0;
    if (unlogged) {
        add({QStringLiteral("SMS first byte -> Ctrl-Z median, session log on"),
             QStringLiteral("ms"), median(durations), *unlogged,
             QStringLiteral("the same, log off"), QStringLiteral("within 1 ms of log off"),
             median(durations) - *unlogged <= 1.0});
        return median(durations);
    }
    add({QStringLiteral("SMS first byte -> Ctrl-Z median"), QStringLiteral("ms"), median(durations),
         nominalMs, QStringLiteral("nominal 3000 + 25 x (chars - 1)"),
         QStringLiteral("within 1% of nominal"), std::abs(median(drifts)) <= 1.0});
    add({QStringLiteral("SMS drift p99 (|measured-nominal|)"), QStringLiteral("%"),
         percentile(drifts, 99), 0, QStringLiteral("nominal"), QStringLiteral("<= 1%"),
         std::abs(percentile(drifts, 99)) <= 1.0});
    return median(durations);
}

// Waits for "tarvex-startup WHAT NS" lines on a child's stderr.
std::map<QString, qint64> readTrace(QProcess& child, const QStringList& wanted, int timeoutMs) {
    std::map<QString, qint64> seen;
    QElapsedTimer timer;
    timer.start();
    QByteArray pending;
    while (seen.size() < static_cast<std::size_t>(wanted.size()) && timer.elapsed() < timeoutMs) {
        child.waitForReadyRead(100);
        pending += child.readAllStandardError();
        qsizetype eol;
        while ((eol = pending.indexOf('\n')) >= 0) {
            const QList<QByteArray> words = pending.left(eol).split(' ');
            pending.remove(0, eol + 1);
            if (words.size() == 3 && words[0] == "tarvex-startup" &&
                wanted.contains(QString::fromLatin1(words[1])))
                seen[QString::fromLatin1(words[1])] = words[2].toLongLong();
        }
    }
    return seen;
}

qint64 monotonicNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

struct Started {
    std::map<QString, double> ms; // from spawn
    long rss = -1;
};

Started startOnce(const QString& program, const QStringList& wanted, const QStringList& args = {}) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TARVEX_TRACE_STARTUP"), QStringLiteral("1"));
    env.insert(QStringLiteral("XDG_STATE_HOME"), logFolder.path());
    env.remove(QStringLiteral("TARVEX_COM1"));
    child.setProcessEnvironment(env);
    const qint64 spawned = monotonicNs();
    child.start(program, args);
    Started result;
    for (const auto& [what, ns] : readTrace(child, wanted, 15000))
        result.ms[what] = static_cast<double>(ns - spawned) / 1e6;
    // Resident memory once the window is up and has settled its first frames.
    runFor(500ms);
    result.rss = tools::residentKiB(child.processId());
    child.kill();
    child.waitForFinished(5000);
    return result;
}

long startUp(const Options& o) {
    std::fprintf(stderr, "start-up: %d runs of each program\n", o.startups);
    std::vector<double> splash, main, bare, rssTarvex, rssUnlogged, rssBare, rssForm;
    const QStringList window{QStringLiteral("window")};
    for (int i = 0; i < o.startups; ++i) {
        const Started t =
            startOnce(binary("tarvex"), {QStringLiteral("splash"), QStringLiteral("main")});
        const Started b = startOnce(binary("bare_qt_window"), window);
        const Started f = startOnce(binary("form_qt_window"), window);
        const Started u =
            startOnce(binary("tarvex"), {QStringLiteral("main")}, {QStringLiteral("--no-log")});
        rssUnlogged.push_back(static_cast<double>(u.rss));
        if (t.ms.count(QStringLiteral("splash")))
            splash.push_back(t.ms.at(QStringLiteral("splash")));
        if (t.ms.count(QStringLiteral("main")))
            main.push_back(t.ms.at(QStringLiteral("main")));
        if (b.ms.count(QStringLiteral("window")))
            bare.push_back(b.ms.at(QStringLiteral("window")));
        rssTarvex.push_back(static_cast<double>(t.rss));
        rssBare.push_back(static_cast<double>(b.rss));
        rssForm.push_back(static_cast<double>(f.rss));
    }
    const QString bareName = QStringLiteral("bare_qt_window");
    add({QStringLiteral("start-up to splash first frame"), QStringLiteral("ms"), median(splash),
         median(bare), bareName, QStringLiteral("<= 1.2 x bare"),
         median(splash) <= 1.2 * median(bare)});
    add({QStringLiteral("start-up to main window first frame"), QStringLiteral("ms"), median(main),
         median(bare) + 3000.0, QStringLiteral("bare + the fixed 3000 ms splash"),
         QStringLiteral("<= 1.2 x reference"), median(main) <= 1.2 * (median(bare) + 3000.0)});
    add({QStringLiteral("resident memory after start"), QStringLiteral("KiB"), median(rssTarvex),
         median(rssBare), bareName, QStringLiteral("<= 1.2 x bare"),
         median(rssTarvex) <= 1.2 * median(rssBare)});
    // The fair reference: a form with the same controls and fonts, and no logic.
    add({QStringLiteral("resident memory after start, same form"), QStringLiteral("KiB"),
         median(rssTarvex), median(rssForm),
         QStringLiteral("form_qt_window: same controls and fonts"), QStringLiteral("<= 1.1 x form"),
         median(rssTarvex) <= 1.1 * median(rssForm)});
    add({QStringLiteral("resident memory after start, --no-log"), QStringLiteral("KiB"),
         median(rssUnlogged), median(rssForm),
         QStringLiteral("form_qt_window: same controls and fonts"), QStringLiteral("<= 1.1 x form"),
         median(rssUnlogged) <= 1.1 * median(rssForm)});
    return static_cast<long>(median(rssBare));
}

void idle(Window& w, const Options& o) {
    std::fprintf(stderr, "idle: %d s with the port open, beside an idle bare window\n",
                 o.idleSeconds);
    // The reply timer of the last test ticks once more and stops.
    waitUntil([&] { return !w.window->Timer1.isEnabled(); }, 5s);
    QProcess bare;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TARVEX_TRACE_STARTUP"), QStringLiteral("1"));
    bare.setProcessEnvironment(env);
    bare.start(binary("bare_qt_window"), {});
    readTrace(bare, {QStringLiteral("window")}, 15000);
    runFor(1s);
    const auto pid = static_cast<pid_t>(bare.processId());
    const double own0 = ownCpuMs();
    const double bare0 = cpuMsOf(pid);
    runFor(std::chrono::seconds(o.idleSeconds));
    const double own = ownCpuMs() - own0;
    const double bareCpu = cpuMsOf(pid) - bare0;
    bare.kill();
    bare.waitForFinished(5000);
    add({QStringLiteral("CPU while idle, port open"), QStringLiteral("ms"), own, bareCpu,
         QStringLiteral("bare_qt_window, same interval"),
         QStringLiteral("indistinguishable from 0"), own <= std::max(10.0, 2 * bareCpu)});
}

void flood(Window& w, PtyLink& link, const Options& o, const QString& label = {}) {
    std::fprintf(stderr, "flood: %d bytes into the receive path%s\n", o.floodBytes,
                 qPrintable(label));
    // The quiet tick jitter of the same timer is the reference for the flood's.
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(10);
    Clock::time_point lastTick;
    double maxGap = 0;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        maxGap = std::max(maxGap, milliseconds(now - lastTick));
        lastTick = now;
    });
    lastTick = Clock::now();
    ticker.start();
    runFor(2s);
    const double quietMaxGap = maxGap;

    std::size_t received = 0;
    auto counter = QObject::connect(&w.window->MSComm1, &SerialControl::OnComm, [&] {
        if (w.window->MSComm1.CommEvent() == CommEventCode::Receive)
            ++received;
    });
    link.setRecording(false);
    const std::string bytes(static_cast<std::size_t>(o.floodBytes), 'x');
    const auto total = static_cast<std::size_t>(o.floodBytes);
    maxGap = 0;
    lastTick = Clock::now();
    const auto start = Clock::now();
    std::thread writer([&] { link.write(bytes); });
    const bool done = waitUntil([&] { return received >= total; }, 600s);
    const auto elapsed = Clock::now() - start;
    writer.join();
    ticker.stop();
    QObject::disconnect(counter);
    link.setRecording(true);
    if (!done)
        qFatal("flood: only %zu of %zu characters delivered", received, total);
    const double rate = static_cast<double>(total) / (milliseconds(elapsed) / 1000.0);
    add({QStringLiteral("receive capacity, one notification each") + label,
         QStringLiteral("chars/s"), rate, 960, QStringLiteral("line rate at 9600 baud"),
         QStringLiteral(">= 100 x line rate"), rate >= 96000});
    add({QStringLiteral("longest 10 ms timer gap during flood") + label, QStringLiteral("ms"),
         maxGap, quietMaxGap, QStringLiteral("same timer, quiet"),
         QStringLiteral("no freeze (< 100 ms)"), maxGap < 100});
}

// A modem pulled while the port is open and nothing is sent: the window must notice
// and close the port, not spin on a line that reads end of file for ever.
void pull(const Options&) {
    std::fprintf(stderr, "pull: the device goes while the port is open and idle\n");
    auto link = std::make_unique<PtyLink>();
    Window w(link->path());
    runFor(500ms);
    const double before = ownCpuMs();
    link.reset(); // both ends of the terminal closed, as when the cable goes
    runFor(2s);
    const double cpu = ownCpuMs() - before;
    const bool told = w.boxes->texts.size() == 1 &&
                      w.boxes->texts.first().contains(QLatin1String("the device went away"));
    if (!told)
        qFatal("pull: the window showed %s", qPrintable(w.boxes->texts.join(QLatin1String(" | "))));
    add({QStringLiteral("CPU in the 2 s after a pull while idle"), QStringLiteral("ms"), cpu, 0,
         QStringLiteral("nominal"), QStringLiteral("indistinguishable from 0 (<= 10 ms)"),
         cpu <= 10});
}

// Connect on a free port, and on one whose lock a port of this process holds: the
// busy report then looks the holder up (the lock folders, /proc) before its box.
// Each from the click to its return.
void connects(const Options& o) {
    std::fprintf(stderr, "connect: %d times on a free port and on a held one\n", o.connects);
    std::vector<double> free;
    std::vector<double> held;
    for (int i = 0; i < o.connects; ++i) {
        PtyLink link;
        for (const bool hold : {false, true}) {
            QSerialPort holder(QString::fromStdString(link.path()));
            if (hold && !holder.open(QIODevice::ReadWrite))
                qFatal("connect: the holder cannot open %s: %s", link.path().c_str(),
                       qPrintable(holder.errorString()));
            Window w(link.path(), false, false);
            QElapsedTimer timer;
            timer.start();
            w.window->connect->click();
            const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
            const bool connected = static_cast<bool>(w.window->flags().PortConnected);
            const bool asExpected =
                hold ? !connected && w.boxes->texts.value(0).contains(QLatin1String("Held by"))
                     : connected;
            if (!asExpected)
                qFatal("connect: the window showed %s",
                       qPrintable(w.boxes->texts.join(QLatin1String(" | "))));
            (hold ? held : free).push_back(ms);
        }
    }
    add({QStringLiteral("Connect, free port, median"), QStringLiteral("ms"), median(free), 0,
         QStringLiteral("nominal"), QStringLiteral("< 100 ms (never in the way)"),
         median(free) < 100});
    add({QStringLiteral("Connect, port held, holder named, median"), QStringLiteral("ms"),
         median(held), median(free), QStringLiteral("free port"),
         QStringLiteral("< 100 ms (never in the way)"), median(held) < 100});
}

// |gap - 25 ms| between the characters of each command, leaving out the pauses
// between commands: what pacing is left in a run of SMS submissions.
std::vector<double> characterGapErrors(const std::vector<Arrival>& at) {
    std::vector<double> errors;
    for (std::size_t k = 1; k < at.size(); ++k)
        if (const double gap = milliseconds(at[k].at - at[k - 1].at); gap < 500)
            errors.push_back(std::abs(gap - 25));
    return errors;
}

struct ShellRun {
    double verdictMs = -1; // from the spawn to the verdict's line on standard output
    long peakKiB = -1;     // the highest VmHWM seen while it ran
    int status = -1;
    std::string out;
};

// VmHWM, the peak resident memory of `pid` since its exec; -1 once it is gone.
// (wait4's ru_maxrss would not do: it keeps the spawning process's figure from
// before the exec.)
long peakKiB(pid_t pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// The program as a shell starts it, with no display; its peak memory sampled every
// few milliseconds until it ends, which it only rises towards.
ShellRun runShell(const QStringList& arguments, const std::string& verdict) {
    std::vector<std::string> args{binary("tarvex").toStdString()};
    for (const QString& a : arguments)
        args.push_back(a.toStdString());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string_view v(*e);
        if (!v.starts_with("DISPLAY=") && !v.starts_with("WAYLAND_DISPLAY=") &&
            !v.starts_with("QT_QPA_PLATFORM=") && !v.starts_with("XDG_STATE_HOME="))
            env.emplace_back(v);
    }
    env.push_back("XDG_STATE_HOME=" + logFolder.path().toStdString());
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    int out[2];
    if (::pipe(out) != 0)
        qFatal("shell: no pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const auto spawned = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        qFatal("shell: cannot start %s", argv[0]);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ShellRun run;
    for (;;) {
        run.peakKiB = std::max(run.peakKiB, peakKiB(pid));
        pollfd ready{out[0], POLLIN, 0};
        if (::poll(&ready, 1, 2) == 0)
            continue;
        char buffer[256];
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        run.out.append(buffer, std::size_t(n));
        if (run.verdictMs < 0 && run.out.find(verdict) != std::string::npos)
            run.verdictMs = milliseconds(Clock::now() - spawned);
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The shell's --check and --send beside the window's Test and Send on the same
// modem: start to verdict, pacing and peak memory. The window's figures come from
// the bench's own window (click to verdict) and from the program started under X.
void shellBesideWindow(const Options& o) {
    std::fprintf(stderr, "shell: %d runs of --check and of --send beside the window\n",
                 o.shellRuns);
    PtyLink link;
    Modem modem(link);
    const QString port = QString::fromStdString(link.path());
    const QString body = QStringLiteral("Tarvex bench: 34 characters, long.");
    std::vector<double> checkMs, checkPeak, sendPeak, shellGaps;
    for (int i = 0; i < o.shellRuns; ++i) {
        const ShellRun check = runShell({QStringLiteral("--check"), port}, "GSM Modem OK\n");
        if (check.status != 0 || check.verdictMs < 0)
            qFatal("shell: --check exit %d: %s", check.status, check.out.c_str());
        checkMs.push_back(check.verdictMs);
        checkPeak.push_back(static_cast<double>(check.peakKiB));
        link.clear();
        const ShellRun send = runShell(
            {QStringLiteral("--send"), port, QStringLiteral("+15550001234"), body}, "SMS Send\n");
        if (send.status != 0)
            qFatal("shell: --send exit %d: %s", send.status, send.out.c_str());
        sendPeak.push_back(static_cast<double>(send.peakKiB));
        // The SMS commands first; the echo-off that the OK of AT+CMGF=1 sets off comes later.
        auto at = link.arrivals();
        const auto ctrlZ =
            std::find_if(at.begin(), at.end(), [](const Arrival& a) { return a.byte == 26; });
        at.erase(ctrlZ == at.end() ? ctrlZ : ctrlZ + 1, at.end());
        const auto gaps = characterGapErrors(at);
        shellGaps.insert(shellGaps.end(), gaps.begin(), gaps.end());
    }

    std::vector<double> clickMs, windowGaps;
    {
        Window w(link.path());
        for (int i = 0; i < o.shellRuns; ++i) {
            const auto before = w.boxes->texts.size();
            QElapsedTimer timer;
            timer.start();
            w.window->cmdTest->click();
            if (!waitUntil([&] { return w.boxes->texts.size() > before; }, 5s))
                qFatal("shell: the window gave no verdict");
            clickMs.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
            w.window->txtMobileNo->setText(QStringLiteral("+15550001234"));
            w.window->txtDat->setText(body);
            link.clear();
            const auto sent = w.boxes->texts.size();
            w.window->Command7->click();
            if (!waitUntil([&] { return w.boxes->texts.size() > sent; }, 10s))
                qFatal("shell: the window sent no SMS");
            const auto gaps = characterGapErrors(link.arrivals());
            windowGaps.insert(windowGaps.end(), gaps.begin(), gaps.end());
        }
    }
    std::vector<double> windowRss;
    for (int i = 0; i < std::min(o.shellRuns, 3); ++i)
        windowRss.push_back(
            static_cast<double>(startOnce(binary("tarvex"), {QStringLiteral("main")}).rss));

    add({QStringLiteral("--check, start to GSM Modem OK, median"),
         QStringLiteral("ms"),
         median(checkMs),
         median(clickMs),
         QStringLiteral("window: click to GSM Modem OK"),
         {},
         {}});
    add({QStringLiteral("--send pacing |gap-25ms| median"), QStringLiteral("ms"), median(shellGaps),
         median(windowGaps), QStringLiteral("window's Send SMS"),
         QStringLiteral("within 0.05 ms of the window"),
         median(shellGaps) - median(windowGaps) <= 0.05});
    add({QStringLiteral("--send pacing |gap-25ms| p99"),
         QStringLiteral("ms"),
         percentile(shellGaps, 99),
         percentile(windowGaps, 99),
         QStringLiteral("window's Send SMS"),
         {},
         {}});
    add({QStringLiteral("--check peak resident memory, median"), QStringLiteral("KiB"),
         median(checkPeak), median(windowRss), QStringLiteral("window program after start"),
         QStringLiteral("<= 0.6 x the window"), median(checkPeak) <= 0.6 * median(windowRss)});
    add({QStringLiteral("--send peak resident memory, median"), QStringLiteral("KiB"),
         median(sendPeak), median(windowRss), QStringLiteral("window program after start"),
         QStringLiteral("<= 0.6 x the window"), median(sendPeak) <= 0.6 * median(windowRss)});
}

QString number(double v) {
    if (std::abs(v) >= 1000)
        return QString::number(v, 'f', 0);
    if (std::abs(v) >= 10)
        return QString::number(v, 'f', 1);
    return QString::number(v, 'f', 3);
}

void report(const Options& o, const QJsonObject& machine) {
    QStringList lines;
    lines << QStringLiteral("| Figure | Tarvex | Reference | Ratio | Target | Met |");
    lines << QStringLiteral("|---|---:|---:|---:|---|---|");
    QJsonArray figures;
    for (const Row& r : rows) {
        const double ratio = r.reference != 0 ? r.tarvex / r.reference : 0;
        lines << QStringLiteral("| %1 | %2 %3 | %4 (%5) | %6 | %7 | %8 |")
                     .arg(r.figure, number(r.tarvex), r.unit, number(r.reference), r.referenceName,
                          r.reference != 0 ? QString::number(ratio, 'f', 2) : QStringLiteral("-"),
                          r.target.isEmpty() ? QStringLiteral("-") : r.target,
                          !r.met ? QStringLiteral("-")
                                 : (*r.met ? QStringLiteral("yes") : QStringLiteral("**no**")));
        QJsonObject f{
            {QStringLiteral("figure"), r.figure},
            {QStringLiteral("unit"), r.unit},
            {QStringLiteral("tarvex"), r.tarvex},
            {QStringLiteral("reference"), r.reference},
            {QStringLiteral("reference_name"), r.referenceName},
            {QStringLiteral("ratio"), r.reference != 0 ? QJsonValue(ratio) : QJsonValue()},
            {QStringLiteral("target"), r.target}};
        if (r.met)
            f.insert(QStringLiteral("met"), *r.met);
        figures.append(f);
    }
    std::printf("%s\n", qPrintable(lines.join(QLatin1Char('\n'))));
    if (o.json.isEmpty())
        return;
    QDir().mkpath(QFileInfo(o.json).absolutePath());
    QFile out(o.json);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(o.json));
    const QJsonObject root{
        {QStringLiteral("machine"), machine},
        {QStringLiteral("options"), QJsonObject{{QStringLiteral("pace_chars"), o.paceChars},
                                                {QStringLiteral("tests"), o.tests},
                                                {QStringLiteral("sms"), o.sms},
                                                {QStringLiteral("idle_seconds"), o.idleSeconds},
                                                {QStringLiteral("flood_bytes"), o.floodBytes},
                                                {QStringLiteral("startups"), o.startups}}},
        {QStringLiteral("figures"), figures}};
    out.write(QJsonDocument(root).toJson());
    std::fprintf(stderr, "figures written to %s\n", qPrintable(o.json));
}

QJsonObject machine() {
    QString cpu;
    QFile info(QStringLiteral("/proc/cpuinfo"));
    if (info.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : info.readAll().split('\n')) {
            if (line.startsWith("model name")) {
                cpu = QString::fromLatin1(line.mid(line.indexOf(':') + 1).trimmed());
                break;
            }
        }
    }
    QFile release(QStringLiteral("/proc/sys/kernel/osrelease"));
    const QString kernel = release.open(QIODevice::ReadOnly)
                               ? QString::fromLatin1(release.readAll().trimmed())
                               : QString();
    return {{QStringLiteral("nproc"), static_cast<int>(std::thread::hardware_concurrency())},
            {QStringLiteral("cpu"), cpu},
            {QStringLiteral("kernel"), kernel},
            {QStringLiteral("qt"), QString::fromLatin1(qVersion())},
            {QStringLiteral("qpa"), QGuiApplication::platformName()}};
}

Options parse(const QApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Tarvex benchmarks"));
    parser.addHelpOption();
    const QCommandLineOption quick(QStringLiteral("quick"),
                                   QStringLiteral("Small counts, to try it out."));
    const QCommandLineOption chars(QStringLiteral("chars"), QStringLiteral("Characters paced."),
                                   QStringLiteral("n"));
    const QCommandLineOption tests(QStringLiteral("tests"), QStringLiteral("Modem test cycles."),
                                   QStringLiteral("n"));
    const QCommandLineOption sms(QStringLiteral("sms"), QStringLiteral("Messages sent."),
                                 QStringLiteral("n"));
    const QCommandLineOption idleS(QStringLiteral("idle"), QStringLiteral("Idle seconds."),
                                   QStringLiteral("s"));
    const QCommandLineOption floodB(QStringLiteral("flood"), QStringLiteral("Flood bytes."),
                                    QStringLiteral("n"));
    const QCommandLineOption starts(QStringLiteral("startups"), QStringLiteral("Start-up runs."),
                                    QStringLiteral("n"));
    const QCommandLineOption connectsO(QStringLiteral("connects"),
                                       QStringLiteral("Connects on a free and on a held port."),
                                       QStringLiteral("n"));
    const QCommandLineOption shellO(QStringLiteral("shell-runs"),
                                    QStringLiteral("Runs of --check and of --send."),
                                    QStringLiteral("n"));
    const QCommandLineOption onlyO(QStringLiteral("only"),
                                   QStringLiteral("Stages to run, comma-separated: startup, "
                                                  "window (pacing, tests, SMS, memory), idle, "
                                                  "flood, pull, connect, shell."),
                                   QStringLiteral("list"));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Where the JSON goes."),
                                  QStringLiteral("file"));
    parser.addOptions(
        {quick, chars, tests, sms, idleS, floodB, starts, connectsO, shellO, json, onlyO});
    parser.process(app);
    Options o;
    if (parser.isSet(quick))
        o = {100, 20, 2, 5, 200 * 1024, 2, 5, 3, {}, {}};
    const auto value = [&](const QCommandLineOption& option, int& into) {
        if (parser.isSet(option))
            into = parser.value(option).toInt();
    };
    value(chars, o.paceChars);
    value(tests, o.tests);
    value(sms, o.sms);
    value(idleS, o.idleSeconds);
    value(floodB, o.floodBytes);
    value(starts, o.startups);
    value(connectsO, o.connects);
    value(shellO, o.shellRuns);
    o.json = parser.value(json);
    if (parser.isSet(onlyO))
        o.only = parser.value(onlyO).split(QLatin1Char(','));
    return o;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const Options o = parse(app);

    if (o.runs("startup"))
        startUp(o);

    if (o.runs("window"))
        runReferences(o);

    PtyLink link;
    Modem modem(link);
    auto w = std::make_unique<Window>(link.path());
    double unloggedPacing = 0;
    double unloggedSms = 0;
    if (o.runs("window")) {
        unloggedPacing = pacing(*w, link, o);
        modem.reset();
        // One of each first: what is built once (patterns, caches) is not growth.
        modemTests(*w, link, modem, o, true);
        smsSequence(*w, link, o, true);
        runFor(500ms);
        const long rssStart = tools::residentKiB();
        modemTests(*w, link, modem, o);
        unloggedSms = smsSequence(*w, link, o);
        runFor(500ms);
        const long rssAfter = tools::residentKiB();
        add({QStringLiteral("resident memory, bench window after one test + one SMS"),
             QStringLiteral("KiB"),
             static_cast<double>(rssStart),
             0,
             {},
             {},
             {}});
        add({QStringLiteral("resident memory growth, %1 tests + %2 SMS").arg(o.tests).arg(o.sms),
             QStringLiteral("KiB"), static_cast<double>(rssAfter - rssStart),
             static_cast<double>(rssStart), QStringLiteral("RSS after one test + one SMS"),
             QStringLiteral("no growth (< 1% of start)"),
             static_cast<double>(rssAfter - rssStart) < 0.01 * static_cast<double>(rssStart)});
    }
    if (o.runs("idle"))
        idle(*w, o);
    if (o.runs("flood"))
        flood(*w, link, o);
    // The same window with the session log on, on the same line.
    if (o.runs("window") || o.runs("flood")) {
        w.reset();
        w = std::make_unique<Window>(link.path(), true);
        modemTests(*w, link, modem, o, true);
        if (o.runs("window")) {
            pacing(*w, link, o, unloggedPacing);
            smsSequence(*w, link, o, false, unloggedSms);
        }
        if (o.runs("flood"))
            flood(*w, link, o, QStringLiteral(", session log on"));
    }
    if (o.runs("pull"))
        pull(o);
    if (o.runs("connect"))
        connects(o);
    if (o.runs("shell"))
        shellBesideWindow(o);

    report(o, machine());
    return 0;
}
