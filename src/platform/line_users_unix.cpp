#include "line_users_unix.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace tarvex {
namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Process {
    QString pid;
    QString name; // comm: at most 15 characters
    unsigned ttyMajor = 0;
    unsigned ttyMinor = 0;
    QStringList arguments;
};

// /proc/PID/stat: "pid (comm) state ppid pgrp session tty_nr ...". The name may hold
// spaces and parentheses, so the fields are counted from the last ')'.
std::optional<Process> readProcess(const QString& proc, const QString& pid) {
    const QByteArray stat = readAll(proc + QLatin1Char('/') + pid + QStringLiteral("/stat"));
    const qsizetype open = stat.indexOf('(');
    const qsizetype close = stat.lastIndexOf(')');
    if (open < 0 || close < open)
        return std::nullopt;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    if (fields.size() < 5)
        return std::nullopt;
    Process process;
    process.pid = pid;
    process.name = QString::fromUtf8(stat.mid(open + 1, close - open - 1));
    // The kernel's encoding of a device number: minor in bits 0-7 and 20-31.
    const quint64 tty = fields[4].toULongLong();
    process.ttyMajor = unsigned((tty >> 8) & 0xfff);
    process.ttyMinor = unsigned((tty & 0xff) | ((tty >> 12) & 0xfff00));
    for (const QByteArray& argument :
         readAll(proc + QLatin1Char('/') + pid + QStringLiteral("/cmdline")).split('\0'))
        if (!argument.isEmpty())
            process.arguments.append(QString::fromLocal8Bit(argument));
    return process;
}

QStringList processIds(const QString& proc) {
    QStringList pids;
    for (const QString& entry : QDir(proc).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        entry.toUInt(&number);
        if (number)
            pids.append(entry);
    }
    return pids;
}

QList<Process> processes(const QString& proc) {
    QList<Process> all;
    for (const QString& pid : processIds(proc))
        if (auto process = readProcess(proc, pid))
            all.append(*process);
    return all;
}

QString named(const QString& name, const QString& pid) {
    return QStringLiteral("%1 (pid %2)").arg(name, pid);
}

// Qt names the lock after the device without its "/dev/", with '/' as '_'.
QString lockName(const QString& device) {
    QString name = device.startsWith(QLatin1String("/dev/")) ? device.mid(5) : device;
    return QStringLiteral("LCK..") + name.replace(QLatin1Char('/'), QLatin1Char('_'));
}

QString lockHolder(const TtyId& tty, const LineRoots& roots) {
    QStringList names{lockName(tty.path)};
    if (tty.canonical != tty.path)
        names.append(lockName(tty.canonical));
    for (const QString& folder : roots.lockFolders) {
        for (const QString& name : names) {
            // Qt writes the PID, the program and the host, one a line; UUCP-style
            // programs the PID alone, padded with spaces.
            const QList<QByteArray> lines = readAll(folder + QLatin1Char('/') + name).split('\n');
            bool number = false;
            const uint pid = lines.value(0).trimmed().toUInt(&number);
            if (!number || pid == 0)
                continue;
            const auto process = readProcess(roots.proc, QString::number(pid));
            if (!process)
                continue; // a lock left by a process that is gone names nobody
            // comm is cut at 15 characters; the lock may have the whole name.
            const QString program = QString::fromLocal8Bit(lines.value(1).trimmed());
            return named(program.startsWith(process->name) ? program : process->name, process->pid);
        }
    }
    return {};
}

// Whether the process whose open files are in `fds` holds the master of the
// pseudo-terminal numbered `index`: it is the far end of the line, the device
// itself, and no program in the way.
bool holdsMaster(const QString& fds, const QFileInfoList& files, int index) {
    for (const QFileInfo& fd : files) {
        if (!fd.symLinkTarget().endsWith(QLatin1String("/ptmx")))
            continue;
        const QString info = QString::fromLatin1(
            readAll(QFileInfo(fds).path() + QStringLiteral("/fdinfo/") + fd.fileName()));
        if (info.contains(QStringLiteral("tty-index:\t%1\n").arg(index)))
            return true;
    }
    return false;
}

// Another user's descriptors are closed to all but root: those are passed over.
QString descriptorHolder(const TtyId& tty, const LineRoots& roots) {
    // UNIX 98 pseudo-terminal slaves: majors 136 to 143, 256 to a major.
    const int ptyIndex =
        tty.major >= 136 && tty.major <= 143 ? int((tty.major - 136) * 256 + tty.minor) : -1;
    for (const QString& pid : processIds(roots.proc)) {
        const QString fds = roots.proc + QLatin1Char('/') + pid + QStringLiteral("/fd");
        const QFileInfoList files = QDir(fds).entryInfoList(QDir::System | QDir::NoDotAndDotDot);
        const bool holds = std::any_of(files.begin(), files.end(), [&](const QFileInfo& fd) {
            return fd.symLinkTarget() == tty.canonical;
        });
        if (!holds || (ptyIndex >= 0 && holdsMaster(fds, files, ptyIndex)))
            continue;
        if (const auto process = readProcess(roots.proc, pid))
            return named(process->name, pid);
    }
    return {};
}

QHash<QString, QString> udevProperties(const TtyId& tty, const LineRoots& roots) {
    QHash<QString, QString> properties;
    const QString path = roots.udev + QStringLiteral("/c%1:%2").arg(tty.major).arg(tty.minor);
    for (const QByteArray& line : readAll(path).split('\n')) {
        if (!line.startsWith("E:"))
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals > 2)
            properties.insert(QString::fromUtf8(line.mid(2, equals - 2)),
                              QString::fromUtf8(line.mid(equals + 1)));
    }
    return properties;
}

bool isGetty(const Process& process) {
    return process.name.endsWith(QLatin1String("getty"));
}

} // namespace

std::optional<TtyId> ttyId(const QString& device) {
    struct stat st = {};
    if (::stat(QFile::encodeName(device).constData(), &st) != 0 || !S_ISCHR(st.st_mode))
        return std::nullopt;
    TtyId tty;
    tty.path = device;
    tty.canonical = QFileInfo(device).canonicalFilePath();
    tty.kernelName = QFileInfo(tty.canonical).fileName();
    tty.major = ::major(st.st_rdev);
    tty.minor = ::minor(st.st_rdev);
    return tty;
}

QString holderIn(const TtyId& tty, const LineRoots& roots) {
    const QString holder = lockHolder(tty, roots);
    return holder.isEmpty() ? descriptorHolder(tty, roots) : holder;
}

namespace {

// ModemManager's strict filter, its only default since 1.18: USB modems on these
// drivers, or whatever a rule marks for it. Platform UARTs and bare USB adapters it
// leaves alone.
bool probesAmong(const TtyId& tty, const LineRoots& roots, const QList<Process>& all) {
    const bool running = std::any_of(all.begin(), all.end(), [](const Process& process) {
        return process.name == QLatin1String("ModemManager");
    });
    if (!running)
        return false;
    const auto properties = udevProperties(tty, roots);
    const auto set = [&](const char* key) {
        return properties.value(QLatin1String(key)) == QLatin1String("1");
    };
    if (!set("ID_MM_CANDIDATE") || set("ID_MM_DEVICE_IGNORE") || set("ID_MM_PORT_IGNORE"))
        return false;
    static const QStringList kModemDrivers = {QStringLiteral("option"), QStringLiteral("option1"),
                                              QStringLiteral("qcserial"), QStringLiteral("sierra")};
    const QString driver = QFileInfo(roots.sys + QStringLiteral("/class/tty/") + tty.kernelName +
                                     QStringLiteral("/device/driver"))
                               .symLinkTarget();
    return set("ID_MM_DEVICE_PROCESS") || kModemDrivers.contains(QFileInfo(driver).fileName());
}

QString consoleAmong(const TtyId& tty, const LineRoots& roots, const QList<Process>& all) {
    QStringList found;
    for (const Process& process : all) {
        if (!isGetty(process))
            continue;
        // systemd's serial-getty may name the line only as "-": its controlling
        // terminal says which it is.
        const bool onIt =
            (process.ttyMajor == tty.major && process.ttyMinor == tty.minor) ||
            process.arguments.mid(1).contains(tty.kernelName) ||
            process.arguments.mid(1).contains(QStringLiteral("/dev/") + tty.kernelName);
        if (onIt) {
            found.append(
                QStringLiteral("a login prompt (%1, pid %2)").arg(process.name, process.pid));
            break;
        }
    }
    const QStringList consoles =
        QString::fromUtf8(readAll(roots.sys + QStringLiteral("/class/tty/console/active")))
            .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& console : consoles)
        if (console.trimmed() == tty.kernelName) {
            found.append(QStringLiteral("the kernel writing its messages there"));
            break;
        }
    return found.join(QStringLiteral(" and "));
}

} // namespace

bool modemManagerProbesIn(const TtyId& tty, const LineRoots& roots) {
    return probesAmong(tty, roots, processes(roots.proc));
}

QString consoleFixIn(const TtyId& tty, const LineRoots& roots) {
    if (readAll(roots.proc + QStringLiteral("/device-tree/model")).startsWith("Raspberry Pi"))
        return QStringLiteral("sudo raspi-config, Interface Options, Serial Port: login shell No, "
                              "serial port hardware Yes; then reboot");
    return QStringLiteral("sudo systemctl disable --now serial-getty@%1, and take console=%1 "
                          "off the kernel command line")
        .arg(tty.kernelName);
}

// Some Braille displays carry the IDs of these adapters, so brltty's udev rules claim
// every such adapter: it binds the USB interface to usbfs, and the ttyUSB device that
// the serial driver made goes away within a second.
QString adapterClaimedIn(const LineRoots& roots) {
    QString pid;
    for (const Process& process : processes(roots.proc))
        if (process.name == QLatin1String("brltty"))
            pid = process.pid;
    if (pid.isEmpty())
        return {};
    static const QList<std::pair<QString, QString>> kClaimed = {
        {QStringLiteral("1a86:7523"), QStringLiteral("CH340")},
        {QStringLiteral("10c4:ea60"), QStringLiteral("CP210x")}};
    const QDir usb(roots.sys + QStringLiteral("/bus/usb/devices"));
    const QStringList entries = usb.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    for (const QString& device : entries) {
        const QString path = usb.filePath(device);
        const QString id =
            QString::fromUtf8(readAll(path + QStringLiteral("/idVendor")).trimmed() + ':' +
                              readAll(path + QStringLiteral("/idProduct")).trimmed());
        const auto kind = std::find_if(kClaimed.begin(), kClaimed.end(),
                                       [&](const auto& claimed) { return claimed.first == id; });
        if (kind == kClaimed.end())
            continue;
        for (const QString& interface : entries.filter(QRegularExpression(
                 QStringLiteral("^%1:").arg(QRegularExpression::escape(device))))) {
            const QString driver =
                QFileInfo(usb.filePath(interface) + QStringLiteral("/driver")).symLinkTarget();
            if (QFileInfo(driver).fileName() == QLatin1String("usbfs"))
                return QStringLiteral("brltty (pid %1), the Braille display driver, has taken the "
                                      "USB serial adapter %2 (%3), so its ttyUSB device does not "
                                      "stay: remove it (sudo apt remove brltty) unless a Braille "
                                      "display needs it, then plug the adapter in again.")
                    .arg(pid, kind->first, kind->second);
        }
    }
    return {};
}

void lookUpLineUsersIn(QList<PortInfo>& ports, const LineRoots& roots, const TtyLookup& ttyOf) {
    // Read once for all the entries: each process's stat and command line.
    std::optional<QList<Process>> all;
    for (PortInfo& info : ports) {
        if (!info.present)
            continue;
        const auto tty = ttyOf(info.device);
        if (!tty)
            continue;
        if (!all)
            all = processes(roots.proc);
        info.console = consoleAmong(*tty, roots, *all);
        if (!info.console.isEmpty())
            info.consoleFix = consoleFixIn(*tty, roots);
        info.modemManagerProbes = probesAmong(*tty, roots, *all);
    }
}

} // namespace tarvex
