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

// tarvex-vmodem as a child process: --trace on, its SMS log in a temporary folder.
class VirtualModem {
public:
    explicit VirtualModem(const QStringList& options = {}) {
        process_.setProgram(QStringLiteral(TARVEX_VMODEM_PATH));
        process_.setArguments(QStringList{"--trace", "--log", logPath()} + options);
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

    bool running() const { return process_.state() == QProcess::Running; }
    QProcess& process() { return process_; }

private:
    QTemporaryDir dir_;
    QProcess process_;
    QString device_;
    QString trace_;
};

} // namespace tarvex::testing
