// The shell stage: tarvex --check and --send, started as a shell starts them,
// beside the window's Test and Send on the same modem.

#include "stages.h"

#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tarvex::bench {

using namespace std::chrono_literals;

namespace {

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
ShellRun runShell(const QString& logFolder, const QStringList& arguments,
                  const std::string& verdict) {
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
    env.push_back("XDG_STATE_HOME=" + logFolder.toStdString());
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

} // namespace

// The shell's --check and --send beside the window's Test and Send on the same
// modem: start to verdict, pacing and peak memory. The window's figures come from
// the bench's own window (click to verdict) and from the program started under X.
void shellBesideWindow(Bench& bench) {
    const Options& o = bench.options;
    const QString logs = bench.logFolder.path();
    std::fprintf(stderr, "shell: %d runs of --check and of --send beside the window\n",
                 o.shellRuns);
    PtyPeer peer;
    Modem modem(peer);
    const QString port = QString::fromStdString(peer.devicePath());
    std::vector<double> checkMs, checkPeak, sendPeak, shellGaps;
    for (int i = 0; i < o.shellRuns; ++i) {
        const ShellRun check = runShell(logs, {QStringLiteral("--check"), port}, "GSM Modem OK\n");
        if (check.status != 0 || check.verdictMs < 0)
            qFatal("shell: --check exit %d: %s", check.status, check.out.c_str());
        checkMs.push_back(check.verdictMs);
        checkPeak.push_back(static_cast<double>(check.peakKiB));
        peer.clear();
        const ShellRun send =
            runShell(logs, {QStringLiteral("--send"), port, kSmsNumber, kSmsBody}, "SMS Send\n");
        if (send.status != 0)
            qFatal("shell: --send exit %d: %s", send.status, send.out.c_str());
        sendPeak.push_back(static_cast<double>(send.peakKiB));
        // The SMS commands first; the echo-off that the OK of AT+CMGF=1 sets off comes later.
        auto at = peer.arrivals();
        const auto ctrlZ =
            std::find_if(at.begin(), at.end(), [](const Arrival& a) { return a.byte == 26; });
        at.erase(ctrlZ == at.end() ? ctrlZ : ctrlZ + 1, at.end());
        const auto gaps = characterGapErrors(at);
        shellGaps.insert(shellGaps.end(), gaps.begin(), gaps.end());
    }

    std::vector<double> clickMs, windowGaps;
    {
        Window w(peer.devicePath());
        for (int i = 0; i < o.shellRuns; ++i) {
            QElapsedTimer timer;
            timer.start();
            if (!w.clickForBox(w.window->cmdTest, 5s))
                qFatal("shell: the window gave no verdict");
            clickMs.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
            w.fillSms(kSmsBody);
            peer.clear();
            if (!w.clickForBox(w.window->Command7, 10s))
                qFatal("shell: the window sent no SMS");
            const auto gaps = characterGapErrors(peer.arrivals());
            windowGaps.insert(windowGaps.end(), gaps.begin(), gaps.end());
        }
    }
    std::vector<double> windowRss;
    for (int i = 0; i < std::min(o.shellRuns, 3); ++i)
        windowRss.push_back(
            static_cast<double>(startOnce(logs, binary("tarvex"), {QStringLiteral("main")}).rss));

    bench.add({QStringLiteral("--check, start to GSM Modem OK, median"),
               QStringLiteral("ms"),
               median(checkMs),
               median(clickMs),
               QStringLiteral("window: click to GSM Modem OK"),
               {},
               {}});
    bench.add({QStringLiteral("--send pacing |gap-25ms| median"), QStringLiteral("ms"),
               median(shellGaps), median(windowGaps), QStringLiteral("window's Send SMS"),
               QStringLiteral("within 0.05 ms of the window"),
               median(shellGaps) - median(windowGaps) <= 0.05});
    bench.add({QStringLiteral("--send pacing |gap-25ms| p99"),
               QStringLiteral("ms"),
               percentile(shellGaps, 99),
               percentile(windowGaps, 99),
               QStringLiteral("window's Send SMS"),
               {},
               {}});
    bench.add({QStringLiteral("--check peak resident memory, median"), QStringLiteral("KiB"),
               median(checkPeak), median(windowRss), QStringLiteral("window program after start"),
               QStringLiteral("<= 0.6 x the window"),
               median(checkPeak) <= 0.6 * median(windowRss)});
    bench.add({QStringLiteral("--send peak resident memory, median"), QStringLiteral("KiB"),
               median(sendPeak), median(windowRss), QStringLiteral("window program after start"),
               QStringLiteral("<= 0.6 x the window"), median(sendPeak) <= 0.6 * median(windowRss)});
}

// --scan on 1, 6 and 20 ports at once: one modem among ports that stay silent, which
// the scan takes for UARTs and asks at every speed; and every port a modem, which
// ends as soon as each has answered.
void scanPorts(Bench& bench) {
    const Options& o = bench.options;
    const int runs = std::max(1, o.shellRuns / 3);
    std::fprintf(stderr, "scan: %d runs each of --scan on 1, 6 and 20 ports\n", runs);
    for (const int count : {1, 6, 20}) {
        std::vector<std::unique_ptr<PtyPeer>> peers;
        for (int i = 0; i < count; ++i)
            peers.push_back(std::make_unique<PtyPeer>());
        const auto answer = [](const std::string& line) {
            return line.ends_with("AT") ? std::string("\r\nOK\r\n") : std::string();
        };
        QStringList arguments{QStringLiteral("--scan")};
        for (const auto& peer : peers)
            arguments << QString::fromStdString(peer->devicePath());
        std::vector<double> oneModem, allModems;
        for (const bool all : {false, true}) {
            for (std::size_t i = 0; i < peers.size(); ++i)
                peers[i]->setResponder(all || i == 0 ? PtyPeer::Responder(answer) : nullptr);
            for (int run = 0; run < runs; ++run) {
                const ShellRun scan = runShell(bench.logFolder.path(), arguments, "\nUse it as");
                if (scan.status != 0 || scan.verdictMs < 0)
                    qFatal("scan: exit %d: %s", scan.status, scan.out.c_str());
                (all ? allModems : oneModem).push_back(scan.verdictMs);
            }
        }
        // A silent port is asked at 9600 for 2 s, then at four more speeds for 0.5 s each.
        const double silentBound = count > 1 ? 4000 : 2000;
        bench.add({QStringLiteral("--scan, %1 port(s), one a modem, the rest silent: start to "
                                  "table, median")
                       .arg(count),
                   QStringLiteral("ms"), median(oneModem), silentBound,
                   QStringLiteral("the probe's own waits"), QStringLiteral("<= the waits + 0.5 s"),
                   median(oneModem) <= silentBound + 500});
        bench.add({QStringLiteral("--scan, %1 port(s), every one a modem, median").arg(count),
                   QStringLiteral("ms"), median(allModems), 2000,
                   QStringLiteral("one port's time-out"), QStringLiteral("< 1 s"),
                   median(allModems) < 1000});
    }
}

} // namespace tarvex::bench
