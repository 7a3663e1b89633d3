#pragma once
// The stages of tarvex_bench, as --only names them, each in its own file, and what
// they lend each other. main() in tarvex_bench.cpp runs them in their order.

#include "bench.h"
#include "rig.h"

#include <QJsonObject>
#include <QProcess>
#include <map>

namespace tarvex::bench {

// startup.cpp: the programs started under the display, to their first frames.

// Waits for "tarvex-startup WHAT NS" lines on a child's stderr.
std::map<QString, qint64> readTrace(QProcess& child, const QStringList& wanted, int timeoutMs);

struct Started {
    std::map<QString, double> ms; // from spawn
    long rss = -1;
};
// One start of `program`, its session log in `logFolder`: the traced moments and
// the resident memory once it has settled.
Started startOnce(const QString& logFolder, const QString& program, const QStringList& wanted,
                  const QStringList& args = {});

void startUp(Bench& bench);

// window_stage.cpp: pacing, the modem test, the SMS sequence and memory.

// The reference programs' figures, taken before the window exists so that they
// add nothing to its memory figures.
struct References {
    std::vector<double> pace25;
    std::vector<double> pace100;
    std::vector<double> reactions;
};
References runReferences(const Options& o);

// The pacing figures; with `unlogged` (the same window's figure without the session
// log), only the median, held against it.
double pacing(Bench& bench, Window& w, PtyPeer& peer, const References& references,
              std::optional<double> unlogged = {});
void modemTests(Bench& bench, Window& w, PtyPeer& peer, Modem& modem, const References& references,
                bool warmUp = false);
// As pacing(): with `unlogged`, the median held against the figure without the log.
double smsSequence(Bench& bench, Window& w, PtyPeer& peer, bool warmUp = false,
                   std::optional<double> unlogged = {});

// What the window stage measured with the log off, for the same window with it on.
struct Unlogged {
    double pacing = 0;
    double sms = 0;
};
// The whole stage on a connected window without the log, memory rows included.
Unlogged windowStage(Bench& bench, Window& w, PtyPeer& peer, Modem& modem,
                     const References& references);

// idle_flood.cpp: the receive path with nothing on the line, and flooded.
void idle(Bench& bench, Window& w);
void flood(Bench& bench, Window& w, PtyPeer& peer, const QString& label = {});

// pull_connect.cpp: the device going away, and the Connect on a free and a held port.
void pull(Bench& bench);
void connects(Bench& bench);

// shell.cpp: the shell's --check and --send beside the window.
void shellBesideWindow(Bench& bench);
// The same file: --scan's time against the number of ports.
void scanPorts(Bench& bench);

// report.cpp: the table on stdout and the JSON.
QJsonObject machine();
void report(const Bench& bench, const QJsonObject& machine);

} // namespace tarvex::bench
