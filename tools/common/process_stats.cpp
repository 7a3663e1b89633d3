#include "process_stats.h"

#include <QByteArray>
#include <QFile>

namespace tarvex::tools {
namespace {

long residentKiB(const QString& statusPath) {
    QFile status(statusPath);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

} // namespace

long residentKiB(qint64 pid) {
    return residentKiB(QStringLiteral("/proc/%1/status").arg(pid));
}

long residentKiB() {
    return residentKiB(QStringLiteral("/proc/self/status"));
}

} // namespace tarvex::tools
