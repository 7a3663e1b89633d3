#pragma once
// tarvex-vmodem as a child process, for the suites that talk to a modem on a real
// pseudo-terminal: its device paths, its trace and the SMS it accepted.

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace tarvex::testing {

// One byte on the line, as the modem stamped it on the steady clock.
struct StampedByte {
    char value;
    qint64 ns;
    bool sentByModem;
};

// tarvex-vmodem as a child process: --trace on, its SMS log and byte stamps in a
// temporary folder. With --usb-modem it is a whole USB modem, one device a port.
class VirtualModem {
public:
    explicit VirtualModem(const QStringList& options = {}) {
        process_.setProgram(QStringLiteral(TARVEX_VMODEM_PATH));
        process_.setArguments(
            QStringList{"--trace", "--log", logPath(), "--stamps", dir_.filePath("stamps")} +
            options);
        process_.start();
        if (!process_.waitForStarted())
            qFatal("cannot start %s: %s", TARVEX_VMODEM_PATH, qPrintable(process_.errorString()));
        // One path a line: four for a USB modem, in USB interface order.
        const qsizetype ports = options.contains(QStringLiteral("--usb-modem")) ? 4 : 1;
        while (devices_.size() < ports) {
            while (!process_.canReadLine())
                if (!process_.waitForReadyRead(5000))
                    qFatal("tarvex-vmodem printed %d of %d device paths", int(devices_.size()),
                           int(ports));
            devices_.append(QString::fromLocal8Bit(process_.readLine().trimmed()));
        }
    }
    ~VirtualModem() {
        process_.terminate();
        if (!process_.waitForFinished(3000))
            process_.kill();
    }

    // The first port: the modem's one, or a USB modem's if00.
    QString device() const { return devices_.first(); }
    QStringList devices() const { return devices_; }
    QString logPath() const { return dir_.filePath(QStringLiteral("sms.jsonl")); }

    // The lines the modem received and its answers, as --trace writes them.
    QString trace() {
        trace_ += QString::fromLocal8Bit(process_.readAllStandardError());
        return trace_;
    }

    // Every SMS the modem accepted: what it received as number and text.
    QList<QJsonObject> messages() const {
        QFile file(logPath());
        QList<QJsonObject> result;
        if (!file.open(QIODevice::ReadOnly))
            return result;
        for (const QByteArray& line : file.readAll().split('\n'))
            if (!line.isEmpty())
                result.append(QJsonDocument::fromJson(line).object());
        return result;
    }

    // Every byte on the line so far, in order within each direction; `interface` is a
    // USB modem's port (0 for if00), -1 the one port of a modem without --usb-modem.
    QList<StampedByte> stamps(int interface = -1) const {
        QString path = dir_.filePath(QStringLiteral("stamps"));
        if (interface >= 0)
            path += QStringLiteral(".if%1").arg(interface, 2, 10, QLatin1Char('0'));
        QFile file(path);
        QList<StampedByte> bytes;
        if (!file.open(QIODevice::ReadOnly))
            return bytes;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QList<QByteArray> f = line.split(' ');
            if (f.size() >= 2)
                bytes.append({char(f[1].toInt(nullptr, 16)), f[0].toLongLong(), f.size() == 3});
        }
        return bytes;
    }
    QByteArray bytes(bool sentByModem, int interface = -1) const {
        QByteArray all;
        for (const StampedByte& b : stamps(interface))
            if (b.sentByModem == sentByModem)
                all += b.value;
        return all;
    }

    bool running() const { return process_.state() == QProcess::Running; }
    QProcess& process() { return process_; }

private:
    QTemporaryDir dir_;
    QProcess process_;
    QStringList devices_;
    QString trace_;
};

} // namespace tarvex::testing
