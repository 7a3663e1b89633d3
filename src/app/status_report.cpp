#include "status_report.h"

#include "shell.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <cstdio>

namespace tarvex {
namespace {

// Monitoring Plugins' exit statuses.
constexpr int kPluginCritical = 2;
constexpr int kPluginUnknown = 3;

QString seconds(std::chrono::milliseconds duration) {
    return QString::number(std::chrono::duration<double>(duration).count(), 'f', 3);
}

} // namespace

StatusOutcome statusOf(const ShellRequest& request, const Findings& findings,
                       std::chrono::milliseconds duration) {
    switch (request.format) {
    case ShellRequest::Format::Text:
        return {exitStatus(findings), renderText(findings)};
    case ShellRequest::Format::Json:
        return {exitStatus(findings), renderJson(findings)};
    case ShellRequest::Format::Nagios: {
        const NagiosThresholds thresholds{request.warningDbm, request.criticalDbm};
        return {int(nagiosStatus(findings, thresholds)), renderNagios(findings, thresholds)};
    }
    case ShellRequest::Format::Prometheus:
        break;
    }
    return {exitStatus(findings), renderPrometheus(findings, duration)};
}

StatusOutcome statusWithoutModem(const ShellRequest& request, std::chrono::milliseconds duration) {
    const QString verdict = QStringLiteral("Modem Not Found: no OK to AT within 2 s");
    switch (request.format) {
    case ShellRequest::Format::Text:
        return {shell::kModemSaidNo, {}}; // "Modem Not Found" is on standard error already
    case ShellRequest::Format::Json:
        return {shell::kModemSaidNo,
                QString::fromUtf8(QJsonDocument(QJsonObject{{"ready", false},
                                                            {"modem_answers", false},
                                                            {"verdict", verdict}})
                                      .toJson(QJsonDocument::Compact)) +
                    QLatin1Char('\n')};
    case ShellRequest::Format::Nagios:
        return {kPluginCritical, nagiosLine(NagiosStatus::Critical, verdict)};
    case ShellRequest::Format::Prometheus:
        break;
    }
    return {
        shell::kModemSaidNo,
        QStringLiteral("# HELP tarvex_modem_ready Whether an SMS would go from the modem now "
                       "(1) or not (0).\n# TYPE tarvex_modem_ready gauge\ntarvex_modem_ready 0\n"
                       "# HELP tarvex_run_duration_seconds How long the check took, from "
                       "opening the port to the verdict.\n"
                       "# TYPE tarvex_run_duration_seconds gauge\n"
                       "tarvex_run_duration_seconds %1\n")
            .arg(seconds(duration))};
}

StatusOutcome statusWithoutVerdict(const ShellRequest& request, int shellExit, const QString& why) {
    if (request.format != ShellRequest::Format::Nagios)
        return {shellExit, {}};
    return {kPluginUnknown,
            nagiosLine(NagiosStatus::Unknown, why.section(QLatin1Char('\n'), 0, 0))};
}

QString deliverReport(const ShellRequest& request, const QString& report) {
    if (report.isEmpty())
        return {};
    const QByteArray bytes = report.toUtf8();
    if (request.output.isEmpty()) {
        std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
        std::fflush(stdout);
        return {};
    }
    const bool existed = QFile::exists(request.output);
    QSaveFile file(request.output);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return QStringLiteral("cannot write %1: %2; the file was left as it was")
            .arg(request.output, file.errorString());
    // A new file is made 0600 first; the collector reads it as a user of its own. An old
    // one keeps the permissions it had.
    if (!existed)
        QFile::setPermissions(request.output, QFile::ReadOwner | QFile::WriteOwner |
                                                  QFile::ReadGroup | QFile::ReadOther);
    return {};
}

} // namespace tarvex
