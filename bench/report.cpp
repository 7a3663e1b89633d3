// The figures as one table on stdout and, with --json, as JSON with the machine
// and the counts they were measured with.

#include "stages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <cmath>
#include <cstdio>
#include <thread>

namespace tarvex::bench {

namespace {

QString number(double v) {
    if (std::abs(v) >= 1000)
        return QString::number(v, 'f', 0);
    if (std::abs(v) >= 10)
        return QString::number(v, 'f', 1);
    return QString::number(v, 'f', 3);
}

} // namespace

void report(const Bench& bench, const QJsonObject& machine) {
    const Options& o = bench.options;
    QStringList lines;
    lines << QStringLiteral("| Figure | Tarvex | Reference | Ratio | Target | Met |");
    lines << QStringLiteral("|---|---:|---:|---:|---|---|");
    QJsonArray figures;
    for (const Row& r : bench.rows) {
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

} // namespace tarvex::bench
