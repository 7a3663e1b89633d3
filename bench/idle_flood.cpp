// The idle and flood stages: the window's receive path with the port open and
// nothing on the line, beside an idle bare window; and flooded, one notification
// a character, while a timer on the same loop shows whether it freezes.

#include "stages.h"

#include <QProcessEnvironment>
#include <QTimer>
#include <cstdio>
#include <string>
#include <thread>

namespace tarvex::bench {

using namespace std::chrono_literals;

void idle(Bench& bench, Window& w) {
    const Options& o = bench.options;
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
    bench.add({QStringLiteral("CPU while idle, port open"), QStringLiteral("ms"), own, bareCpu,
               QStringLiteral("bare_qt_window, same interval"),
               QStringLiteral("indistinguishable from 0"), own <= std::max(10.0, 2 * bareCpu)});
}

void flood(Bench& bench, Window& w, PtyPeer& peer, const QString& label) {
    const Options& o = bench.options;
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
    peer.setRecording(false);
    const std::string bytes(static_cast<std::size_t>(o.floodBytes), 'x');
    const auto total = static_cast<std::size_t>(o.floodBytes);
    maxGap = 0;
    lastTick = Clock::now();
    const auto start = Clock::now();
    std::thread writer([&] { peer.write(bytes); });
    const bool done = waitUntil([&] { return received >= total; }, 600s);
    const auto elapsed = Clock::now() - start;
    writer.join();
    ticker.stop();
    QObject::disconnect(counter);
    peer.setRecording(true);
    if (!done)
        qFatal("flood: only %zu of %zu characters delivered", received, total);
    const double rate = static_cast<double>(total) / (milliseconds(elapsed) / 1000.0);
    bench.add({QStringLiteral("receive capacity, one notification each") + label,
               QStringLiteral("chars/s"), rate, 960, QStringLiteral("line rate at 9600 baud"),
               QStringLiteral(">= 100 x line rate"), rate >= 96000});
    bench.add({QStringLiteral("longest 10 ms timer gap during flood") + label, QStringLiteral("ms"),
               maxGap, quietMaxGap, QStringLiteral("same timer, quiet"),
               QStringLiteral("no freeze (< 100 ms)"), maxGap < 100});
}

} // namespace tarvex::bench
