#include "scan.h"

#include "command_line.h"
#include "platform/qt_serial_control.h"
#include "platform/serial_platform.h"
#include "platform/terminal.h"
#include "scan_report.h"
#include "shell.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>

namespace tarvex::scan {
namespace {

// The entry of the list that reaches `device`, as "COM7"; empty when none does.
QString entryOf(const QString& device) {
    const QString canonical = QFileInfo(device).canonicalFilePath();
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        const QString entryDevice = deviceForPort(port);
        if (entryDevice.compare(device, Qt::CaseInsensitive) == 0 ||
            (!canonical.isEmpty() && QFileInfo(entryDevice).canonicalFilePath() == canonical))
            return comName(port);
    }
    return {};
}

// The ports to scan, with what is known of each before anything is opened.
QList<ScannedPort> candidates(const ScanRequest& request) {
    QList<PortInfo> devices;
    if (request.ports.isEmpty()) {
        for (const PortInfo& info : serialDevicesPresent())
            if (request.all || inDefaultScan(info))
                devices.append(info);
    } else {
        // A port named twice, or by two names (COM5 and its device), is probed once.
        QStringList seen;
        for (const ScanRequest::Port& named : request.ports) {
            const QString canonical = QFileInfo(named.device).canonicalFilePath();
            QString key = canonical.isEmpty() ? named.device.toUpper() : canonical;
            key.remove(QRegularExpression(QStringLiteral(R"(^\\\\\.\\)"))); // \\.\COM5 is COM5
            if (seen.contains(key))
                continue;
            seen.append(key);
            PortInfo info;
            info.device = named.device;
            devices.append(info);
        }
        lookUpDevices(devices);
    }
    QList<ScannedPort> ports;
    for (const PortInfo& info : devices) {
        ScannedPort port{info, entryOf(info.device), {}, {}};
        if (request.ports.isEmpty() || info.present)
            port.skip = planProbe(info, serial_platform::holderBeforeOpen(info.device)).skip;
        ports.append(port);
    }
    return ports;
}

void print(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

} // namespace

int run(const ScanRequest& request) {
    terminal::attach();
    QList<ScannedPort> ports = candidates(request);
    std::vector<std::unique_ptr<PortProbe>> probes(ports.size());
    qsizetype running = 0;
    int status = -1;
    const auto end = [&](int exit) {
        if (status < 0) {
            status = exit;
            QCoreApplication::exit(exit);
        }
    };
    for (qsizetype i = 0; i < ports.size(); ++i) {
        if (!ports[i].skip.isEmpty())
            continue;
        const QString device = ports[i].info.device;
        auto line = std::make_unique<QtSerialControl>([device](int) { return device; });
        probes[i] =
            std::make_unique<PortProbe>(std::move(line), std::make_unique<QtTimer>(),
                                        qint16(kFirstPort), planProbe(ports[i].info, {}).speeds);
        QObject::connect(probes[i].get(), &PortProbe::finished, [&] {
            if (--running == 0)
                end(shell::kDone);
        });
        ++running;
    }
    QObject interruptContext;
    terminal::onInterrupt(&interruptContext, [&] {
        for (auto& probe : probes)
            if (probe)
                probe->stop();
        end(shell::kInterrupted);
    });
    // All at once: each opens its port and sends the probe, and the answers come in
    // together.
    for (auto& probe : probes)
        if (probe)
            probe->start();
    if (status < 0 && running > 0)
        QCoreApplication::exec();
    for (qsizetype i = 0; i < ports.size(); ++i)
        if (probes[i]) {
            probes[i]->stop();
            ports[i].probe = probes[i]->result();
        }
    terminal::runEnded();
    if (status == shell::kInterrupted) {
        std::fputs("Interrupted: every port closed.\n", stderr);
        return status;
    }
    print(request.json ? scanJson(ports) : scanText(ports, request.all));
    return std::any_of(ports.begin(), ports.end(), answered) ? shell::kDone : shell::kModemSaidNo;
}

} // namespace tarvex::scan
