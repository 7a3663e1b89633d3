#pragma once
// tarvex-vmodem as a child process, for the suites that talk to a modem on a real
// pseudo-terminal: its device path, its trace and the SMS it accepted.

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
// temporary folder.
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
        while (!process_.canReadLine())
            if (!process_.waitForReadyRead(5000))
                qFatal("tarvex-vmodem printed no device path");
        device_ = QString::fromLocal8Bit(process_.readLine().trimmed());
    }
    ~VirtualModem() {
        process_.terminate();
        if (!process_.waitForFinished(3000))
            process_.kill();
    }

    QString device() const { return device_; }
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

    // Every byte on the line so far, in order within each direction.
    QList<StampedByte> stamps() const {
        QFile file(dir_.filePath(QStringLiteral("stamps")));
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
    QByteArray bytes(bool sentByModem) const {
        QByteArray all;
        for (const StampedByte& b : stamps())
            if (b.sentByModem == sentByModem)
                all += b.value;
        return all;
    }

    bool running() const { return process_.state() == QProcess::Running; }
    QProcess& process() { return process_; }

private:
    QTemporaryDir dir_;
    QProcess process_;
    QString device_;
    QString trace_;
};

} // namespace tarvex::testing
