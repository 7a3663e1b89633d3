// Tarvex on a real pseudo-terminal in real time, each figure beside the best this
// machine does in the same run: pacing, the SMS sequence, reaction, receive
// capacity, start-up and footprint. One table on stdout, the same figures as JSON.
// This file reads the command line and runs the stages (stages.h) in their order.

#include "stages.h"

#include <QApplication>
#include <QCommandLineParser>
#include <memory>

using namespace tarvex;
using namespace tarvex::bench;

namespace {

// The counts a run can be given, in the order --help lists them.
using CountField = int Options::*;
struct Count {
    const char* name;
    const char* description;
    const char* valueName;
    CountField into;
};
constexpr Count kCounts[] = {
    {"chars", "Characters paced.", "n", &Options::paceChars},
    {"tests", "Modem test cycles.", "n", &Options::tests},
    {"sms", "Messages sent.", "n", &Options::sms},
    {"idle", "Idle seconds.", "s", &Options::idleSeconds},
    {"flood", "Flood bytes.", "n", &Options::floodBytes},
    {"startups", "Start-up runs.", "n", &Options::startups},
    {"connects", "Connects on a free and on a held port.", "n", &Options::connects},
    {"shell-runs", "Runs of --check and of --send.", "n", &Options::shellRuns},
};

Options parse(const QApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Tarvex benchmarks"));
    parser.addHelpOption();
    const QCommandLineOption quick(QStringLiteral("quick"),
                                   QStringLiteral("Small counts, to try it out."));
    parser.addOption(quick);
    for (const Count& count : kCounts)
        parser.addOption(QCommandLineOption(QLatin1String(count.name),
                                            QLatin1String(count.description),
                                            QLatin1String(count.valueName)));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Where the JSON goes."),
                                  QStringLiteral("file"));
    const QCommandLineOption onlyO(QStringLiteral("only"),
                                   QStringLiteral("Stages to run, comma-separated: startup, "
                                                  "window (pacing, tests, SMS, memory), idle, "
                                                  "flood, pull, connect, shell, scan."),
                                   QStringLiteral("list"));
    parser.addOptions({json, onlyO});
    parser.process(app);
    Options o;
    if (parser.isSet(quick))
        o = {100, 20, 2, 5, 200 * 1024, 2, 5, 3, {}, {}};
    for (const Count& count : kCounts)
        if (parser.isSet(QLatin1String(count.name)))
            o.*count.into = parser.value(QLatin1String(count.name)).toInt();
    o.json = parser.value(json);
    if (parser.isSet(onlyO))
        o.only = parser.value(onlyO).split(QLatin1Char(','));
    return o;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    Bench bench(parse(app));
    const Options& o = bench.options;

    if (o.runs("startup"))
        startUp(bench);

    References references;
    if (o.runs("window"))
        references = runReferences(o);

    PtyPeer peer;
    Modem modem(peer);
    auto w = std::make_unique<Window>(peer.devicePath());
    Unlogged unlogged;
    if (o.runs("window"))
        unlogged = windowStage(bench, *w, peer, modem, references);
    if (o.runs("idle"))
        idle(bench, *w);
    if (o.runs("flood"))
        flood(bench, *w, peer);
    // The same window with the session log on, on the same line.
    if (o.runs("window") || o.runs("flood")) {
        w.reset();
        w = std::make_unique<Window>(peer.devicePath(), bench.logFolder.path());
        modemTests(bench, *w, peer, modem, references, true);
        if (o.runs("window")) {
            pacing(bench, *w, peer, references, unlogged.pacing);
            smsSequence(bench, *w, peer, false, unlogged.sms);
        }
        if (o.runs("flood"))
            flood(bench, *w, peer, QStringLiteral(", session log on"));
    }
    if (o.runs("pull"))
        pull(bench);
    if (o.runs("connect"))
        connects(bench);
    if (o.runs("shell"))
        shellBesideWindow(bench);
    if (o.runs("scan"))
        scanPorts(bench);

    report(bench, machine());
    return 0;
}
