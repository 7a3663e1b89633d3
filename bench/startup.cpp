// The start-up stage: Tarvex, the bare window and the same form without logic,
// each started under the display, timed to its first frames and weighed.

#include "process_stats.h"
#include "stages.h"

#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <cstdio>
#include <ctime>

namespace tarvex::bench {

using namespace std::chrono_literals;

namespace {

qint64 monotonicNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

} // namespace

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

Started startOnce(const QString& logFolder, const QString& program, const QStringList& wanted,
                  const QStringList& args) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TARVEX_TRACE_STARTUP"), QStringLiteral("1"));
    env.insert(QStringLiteral("XDG_STATE_HOME"), logFolder);
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

void startUp(Bench& bench) {
    const Options& o = bench.options;
    const QString logs = bench.logFolder.path();
    std::fprintf(stderr, "start-up: %d runs of each program\n", o.startups);
    std::vector<double> splash, main, bare, rssTarvex, rssUnlogged, rssBare, rssForm;
    const QStringList window{QStringLiteral("window")};
    for (int i = 0; i < o.startups; ++i) {
        const Started t =
            startOnce(logs, binary("tarvex"), {QStringLiteral("splash"), QStringLiteral("main")});
        const Started b = startOnce(logs, binary("bare_qt_window"), window);
        const Started f = startOnce(logs, binary("form_qt_window"), window);
        const Started u = startOnce(logs, binary("tarvex"), {QStringLiteral("main")},
                                    {QStringLiteral("--no-log")});
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
    bench.add({QStringLiteral("start-up to splash first frame"), QStringLiteral("ms"),
               median(splash), median(bare), bareName, QStringLiteral("<= 1.2 x bare"),
               median(splash) <= 1.2 * median(bare)});
    bench.add(
        {QStringLiteral("start-up to main window first frame"), QStringLiteral("ms"), median(main),
         median(bare) + 3000.0, QStringLiteral("bare + the fixed 3000 ms splash"),
         QStringLiteral("<= 1.2 x reference"), median(main) <= 1.2 * (median(bare) + 3000.0)});
    bench.add({QStringLiteral("resident memory after start"), QStringLiteral("KiB"),
               median(rssTarvex), median(rssBare), bareName, QStringLiteral("<= 1.2 x bare"),
               median(rssTarvex) <= 1.2 * median(rssBare)});
    // The fair reference: a form with the same controls and fonts, and no logic.
    bench.add({QStringLiteral("resident memory after start, same form"), QStringLiteral("KiB"),
               median(rssTarvex), median(rssForm),
               QStringLiteral("form_qt_window: same controls and fonts"),
               QStringLiteral("<= 1.1 x form"), median(rssTarvex) <= 1.1 * median(rssForm)});
    bench.add({QStringLiteral("resident memory after start, --no-log"), QStringLiteral("KiB"),
               median(rssUnlogged), median(rssForm),
               QStringLiteral("form_qt_window: same controls and fonts"),
               QStringLiteral("<= 1.1 x form"), median(rssUnlogged) <= 1.1 * median(rssForm)});
}

} // namespace tarvex::bench
