#pragma once
// What the stages of tarvex_bench share: the counts asked for, the figures measured
// so far and where the programs' session logs go, all in one Bench handed to each
// stage; and the few ways of waiting and timing that every stage uses.

#include "pty_peer.h"
#include "statistics.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <optional>
#include <sys/types.h>
#include <vector>

namespace tarvex::bench {

using Clock = PtyClock;
using Arrival = PtyPeer::Arrival;

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

struct Bench {
    explicit Bench(Options o)
        : options(std::move(o)) {}

    // Says the figure on stderr as it comes, and keeps it for the table.
    void add(Row row);

    const Options options;
    std::vector<Row> rows;
    // Where the bench's session logs go: never the user's own folder.
    QTemporaryDir logFolder;
};

// Runs the event loop until `done` holds; false on time-out.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
void runFor(std::chrono::milliseconds duration);

// utime + stime of another process, in milliseconds.
double cpuMsOf(pid_t pid);
double ownCpuMs();

double milliseconds(Clock::duration d);
// |gap - nominal| between each byte and the one before it.
std::vector<double> gapErrors(const std::vector<Arrival>& at, double nominalMs);

// A program built beside the bench, which starts them from its own folder.
QString binary(const char* name);

} // namespace tarvex::bench
