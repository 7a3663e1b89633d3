// The window stage: the window's pacing, its modem test (attention pauses and the
// reaction to OK) and its SMS sequence, each beside a reference program or the
// nominal time, and its resident memory before and after many of them.

#include "process_stats.h"
#include "stages.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <thread>

namespace tarvex::bench {

using namespace std::chrono_literals;

namespace {

// Gaps the reference pacer leaves between `count` bytes written `periodMs` apart.
std::vector<Arrival> referencePacing(int count, int periodMs) {
    PtyPeer peer;
    QProcess pacer;
    pacer.start(binary("reference_pacer"), {QString::fromStdString(peer.devicePath()),
                                            QString::number(count), QString::number(periodMs)});
    peer.waitForCount(static_cast<std::size_t>(count),
                      std::chrono::milliseconds(count * periodMs + 5000));
    pacer.waitForFinished(5000);
    return peer.arrivals();
}

} // namespace

References runReferences(const Options& o) {
    std::fprintf(stderr, "references: pacer at 25 and 100 ms, responder\n");
    References references;
    references.pace25 = gapErrors(referencePacing(o.paceChars, 25), 25);
    references.pace100 = gapErrors(referencePacing(std::min(o.tests * 2 + 1, 41), 100), 100);
    // The reference answers "K" with "A" from its own poll() loop.
    PtyPeer refPeer;
    std::atomic<bool> awaiting = false;
    Clock::time_point written;
    std::vector<double>& reference = references.reactions;
    std::mutex mutex;
    refPeer.setOnByte([&](char byte, Clock::time_point at) {
        if (byte == 'A' && awaiting.exchange(false)) {
            std::lock_guard lock(mutex);
            reference.push_back(milliseconds(at - written));
        }
    });
    QProcess responder;
    responder.start(binary("reference_responder"),
                    {QString::fromStdString(refPeer.devicePath()), QString::number(o.tests)});
    responder.waitForReadyRead(5000);
    for (int i = 0; i < o.tests; ++i) {
        written = Clock::now();
        awaiting = true;
        refPeer.write("K");
        const auto deadline = Clock::now() + 2s;
        while (awaiting && Clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(20ms);
    }
    responder.waitForFinished(5000);
    refPeer.setOnByte({});
    return references;
}

double pacing(Bench& bench, Window& w, PtyPeer& peer, const References& references,
              std::optional<double> unlogged) {
    const Options& o = bench.options;
    std::fprintf(stderr, "pacing: %d characters%s\n", o.paceChars, unlogged ? ", logged" : "");
    QString text;
    for (int i = 0; i < o.paceChars; ++i)
        text.append(QChar(u'0' + i % 10));
    peer.clear();
    w.window->SendComm(text);
    peer.waitForCount(static_cast<std::size_t>(o.paceChars), 2s);
    const auto tarvex = gapErrors(peer.arrivals(), 25);
    if (unlogged) {
        bench.add({QStringLiteral("pacing |gap-25ms| median, session log on"), QStringLiteral("ms"),
                   median(tarvex), *unlogged, QStringLiteral("the same, log off"),
                   QStringLiteral("within 0.05 ms of log off"),
                   median(tarvex) - *unlogged <= 0.05});
        return median(tarvex);
    }
    const auto& reference = references.pace25;
    const QString name = QStringLiteral("reference_pacer (clock_nanosleep, absolute)");
    bench.add({QStringLiteral("pacing |gap-25ms| median"), QStringLiteral("ms"), median(tarvex),
               median(reference), name, QStringLiteral("within 1 ms of reference"),
               median(tarvex) - median(reference) <= 1.0});
    bench.add({QStringLiteral("pacing |gap-25ms| p99"),
               QStringLiteral("ms"),
               percentile(tarvex, 99),
               percentile(reference, 99),
               name,
               {},
               {}});
    return median(tarvex);
}

void modemTests(Bench& bench, Window& w, PtyPeer& peer, Modem& modem, const References& references,
                bool warmUp) {
    const int tests = warmUp ? 1 : bench.options.tests;
    std::fprintf(stderr, "modem test: %d cycles\n", tests);
    std::vector<double> attention;
    for (int i = 0; i < tests; ++i) {
        peer.clear();
        if (!w.clickForBox(w.window->cmdTest, 5s))
            qFatal("no verdict from test %d", i);
        if (w.boxes->texts.last() != QLatin1String("GSM Modem OK"))
            qFatal("test %d: %s", i, qPrintable(w.boxes->texts.last()));
        const auto at = peer.arrivals();
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
    bench.add({QStringLiteral("attention |gap-100ms| median"), QStringLiteral("ms"),
               median(attention), median(attentionRef), QStringLiteral("reference_pacer at 100 ms"),
               QStringLiteral("within 1 ms of reference"),
               median(attention) - median(attentionRef) <= 1.0});

    const auto reactions = modem.reactionsMs();
    bench.add({QStringLiteral("reaction OK -> ATE0 median"), QStringLiteral("ms"),
               median(reactions), median(reference), QStringLiteral("reference_responder (poll)"),
               QStringLiteral("< 2 ms"), median(reactions) < 2.0});
    bench.add({QStringLiteral("reaction OK -> ATE0 p99"),
               QStringLiteral("ms"),
               percentile(reactions, 99),
               percentile(reference, 99),
               QStringLiteral("reference_responder (poll)"),
               {},
               {}});
}

double smsSequence(Bench& bench, Window& w, PtyPeer& peer, bool warmUp,
                   std::optional<double> unlogged) {
    const int messages = warmUp ? 1 : bench.options.sms;
    std::fprintf(stderr, "SMS: %d messages of 34 characters\n", messages);
    // The longest body the window takes; checked in every build, Release included.
    if (kSmsBody.size() != 34)
        qFatal("the SMS body has %d characters, not 34", int(kSmsBody.size()));
    std::vector<double> durations;
    std::vector<double> drifts;
    double nominalMs = 0;
    for (int i = 0; i < messages; ++i) {
        w.fillSms(kSmsBody);
        peer.clear();
        if (!w.clickForBox(w.window->Command7, 10s))
            qFatal("no verdict for SMS %d", i);
        if (w.boxes->texts.last() != QLatin1String("SMS Send"))
            qFatal("SMS %d: %s", i, qPrintable(w.boxes->texts.last()));
        const auto at = peer.arrivals();
        // Every character is followed by its pause; the three command pauses come on top.
        nominalMs = 3000.0 + 25.0 * static_cast<double>(at.size() - 1);
        const double measured = milliseconds(at.back().at - at.front().at);
        durations.push_back(measured);
        drifts.push_back(std::abs(measured - nominalMs) / nominalMs * 100.0);
    }
    if (warmUp)
        return 0;
    if (unlogged) {
        bench.add({QStringLiteral("SMS first byte -> Ctrl-Z median, session log on"),
                   QStringLiteral("ms"), median(durations), *unlogged,
                   QStringLiteral("the same, log off"), QStringLiteral("within 1 ms of log off"),
                   median(durations) - *unlogged <= 1.0});
        return median(durations);
    }
    bench.add({QStringLiteral("SMS first byte -> Ctrl-Z median"), QStringLiteral("ms"),
               median(durations), nominalMs, QStringLiteral("nominal 3000 + 25 x (chars - 1)"),
               QStringLiteral("within 1% of nominal"), std::abs(median(drifts)) <= 1.0});
    bench.add({QStringLiteral("SMS drift p99 (|measured-nominal|)"), QStringLiteral("%"),
               percentile(drifts, 99), 0, QStringLiteral("nominal"), QStringLiteral("<= 1%"),
               std::abs(percentile(drifts, 99)) <= 1.0});
    return median(durations);
}

Unlogged windowStage(Bench& bench, Window& w, PtyPeer& peer, Modem& modem,
                     const References& references) {
    const Options& o = bench.options;
    Unlogged unlogged;
    unlogged.pacing = pacing(bench, w, peer, references);
    modem.reset();
    // One of each first: what is built once (patterns, caches) is not growth.
    modemTests(bench, w, peer, modem, references, true);
    smsSequence(bench, w, peer, true);
    runFor(500ms);
    const long rssStart = tools::residentKiB();
    modemTests(bench, w, peer, modem, references);
    unlogged.sms = smsSequence(bench, w, peer);
    runFor(500ms);
    const long rssAfter = tools::residentKiB();
    bench.add({QStringLiteral("resident memory, bench window after one test + one SMS"),
               QStringLiteral("KiB"),
               static_cast<double>(rssStart),
               0,
               {},
               {},
               {}});
    bench.add({QStringLiteral("resident memory growth, %1 tests + %2 SMS").arg(o.tests).arg(o.sms),
               QStringLiteral("KiB"), static_cast<double>(rssAfter - rssStart),
               static_cast<double>(rssStart), QStringLiteral("RSS after one test + one SMS"),
               QStringLiteral("no growth (< 1% of start)"),
               static_cast<double>(rssAfter - rssStart) < 0.01 * static_cast<double>(rssStart)});
    return unlogged;
}

} // namespace tarvex::bench
