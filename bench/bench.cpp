#include "bench.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace tarvex::bench {

void Bench::add(Row row) {
    std::fprintf(stderr, "  %s: %.3f %s (reference %.3f)\n", qPrintable(row.figure), row.tarvex,
                 qPrintable(row.unit), row.reference);
    rows.push_back(std::move(row));
}

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

double milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
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

} // namespace tarvex::bench
