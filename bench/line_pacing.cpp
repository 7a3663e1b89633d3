// What Tarvex puts on the line, for timing at the far end, built for Linux and for
// Windows alike: the main window on the real serial control and pause sends the
// echo-off command and whole SMS sequences on COM1, and the modem's byte stamps
// (tarvex-vmodem --stamps) give the figures. Then how soon what the modem says
// comes back: one character at a time, each echoed by the modem.
//
//   tarvex_line_pacing send ATE0_COUNT SMS_COUNT
//   tarvex_line_pacing figures LABEL STAMPS ATE0_COUNT SMS_COUNT   (one line)
//   tarvex_line_pacing echoes LABEL COUNT                           (one line)

#include "platform/message_boxes.h"
#include "platform/qt_serial_control.h"
#include "recording_message_boxes.h"
#include "statistics.h"
#include "ui/frmResult.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

using namespace tarvex;
using tarvex::bench::percentile;

namespace {

const QString kEchoOff = QStringLiteral("ATE0\r\n");
const QString kNumber = QStringLiteral("+15550001234");
const QString kBody = QStringLiteral("Tarvex on Wine: 34 characters long");
// Between two commands or messages. The figures split the stamps by byte count,
// so no gap between two of them is ever counted.
constexpr unsigned long kBetweenMs = 300;

qsizetype smsBytes() {
    return QStringLiteral("AT+CMGF=1\r\nAT+CMGS=\"%1\"\r\n").arg(kNumber).size() + kBody.size() + 1;
}

// Null, after saying why, when COM1 does not open.
std::unique_ptr<frmResult> connectedWindow() {
    auto boxes = std::make_unique<RecordingMessageBoxes>();
    const RecordingMessageBoxes& shown = *boxes;
    auto window = std::make_unique<frmResult>(
        DialoguePlatform::system(std::move(boxes), std::make_unique<SystemPause>()), [] {});
    window->connect->click();
    if (window->flags().PortConnected)
        return window;
    std::fprintf(stderr, "COM1 does not open: %s\n", qPrintable(shown.texts.join(' ')));
    return nullptr;
}

int send(int echoOffs, int messages) {
    const auto window = connectedWindow();
    if (!window)
        return 1;
    for (int i = 0; i < echoOffs; ++i) {
        window->SendComm(kEchoOff);
        QThread::msleep(kBetweenMs);
    }
    // One window per message: each waits for a verdict that may never come.
    window->MSComm1.setPortOpen(false);
    for (int i = 0; i < messages; ++i) {
        const auto sms = connectedWindow();
        if (!sms)
            return 1;
        sms->txtMobileNo->setText(kNumber);
        sms->txtDat->setText(kBody);
        sms->Command7->click(); // returns once Ctrl-Z is on the line
        QThread::msleep(kBetweenMs);
    }
    return 0;
}

int figures(const QString& label, const QString& path, int echoOffs, int messages) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    std::vector<double> at; // ms
    for (const QByteArray& line : file.readAll().split('\n'))
        if (const qsizetype space = line.indexOf(' '); space > 0)
            at.push_back(line.left(space).toDouble() / 1e6);
    const auto echoOffBytes = static_cast<std::size_t>(kEchoOff.size());
    const auto perSms = static_cast<std::size_t>(smsBytes());
    if (at.size() != echoOffBytes * static_cast<std::size_t>(echoOffs) +
                         perSms * static_cast<std::size_t>(messages)) {
        std::fprintf(stderr, "%zu bytes stamped, not the expected count\n", at.size());
        return 1;
    }

    // Every character is followed by 25 ms; the SMS adds 1000 ms after its first
    // command and 2000 ms after its second.
    const auto commandEnd1 = static_cast<std::size_t>(QStringLiteral("AT+CMGF=1\r\n").size());
    const auto commandEnd2 = perSms - static_cast<std::size_t>(kBody.size()) - 1;
    std::vector<double> echoOffErrors, smsErrors, smsDurations, smsDrifts;
    std::size_t i = 0;
    for (int n = 0; n < echoOffs; ++n, i += echoOffBytes)
        for (std::size_t k = 1; k < echoOffBytes; ++k)
            echoOffErrors.push_back(std::abs(at[i + k] - at[i + k - 1] - 25));
    const double nominal = 3000 + 25.0 * static_cast<double>(perSms - 1);
    for (int n = 0; n < messages; ++n, i += perSms) {
        for (std::size_t k = 1; k < perSms; ++k) {
            const double extra = k == commandEnd1 ? 1000 : k == commandEnd2 ? 2000 : 0;
            if (extra == 0)
                smsErrors.push_back(std::abs(at[i + k] - at[i + k - 1] - 25));
        }
        const double duration = at[i + perSms - 1] - at[i];
        smsDurations.push_back(duration);
        smsDrifts.push_back(std::abs(duration - nominal) / nominal * 100);
    }
    std::printf("%-6s | %.3f | %.3f | %.3f | %.3f | %.1f ms for %.0f | %.3f %% |\n",
                qPrintable(label), percentile(echoOffErrors, 50), percentile(echoOffErrors, 99),
                percentile(smsErrors, 50), percentile(smsErrors, 99), percentile(smsDurations, 50),
                nominal, percentile(smsDrifts, 99));
    return 0;
}

// "A", "T", CR over and over, one character per write, on the serial control as
// the window sets it up; after each write the event loop runs until the modem's
// echo (and after CR its "\r\nOK\r\n") has arrived, or for at most 500 ms. An
// answer that takes that long is one the program would only have seen after its
// next write, or never.
int echoes(const QString& label, int count) {
    QtSerialControl port;
    port.setCommPort(1);
    port.setRThreshold(1);
    port.setSettings(QStringLiteral("9600,n,8,1"));
    try {
        port.setPortOpen(true);
    } catch (const SerialError& e) {
        std::fprintf(stderr, "COM1 does not open: %s\n", e.what());
        return 1;
    }
    qsizetype received = 0;
    QEventLoop loop;
    qsizetype expected = 0;
    QObject::connect(&port, &SerialControl::OnComm, [&] {
        if (port.CommEvent() == CommEventCode::Receive)
            received += port.Input().size();
        if (received >= expected)
            loop.quit();
    });
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, &loop, &QEventLoop::quit);
    const QString cycle = QStringLiteral("AT\r");
    std::vector<double> waits; // ms
    int late = 0;
    for (int i = 0; i < count; ++i) {
        const QString c = cycle.mid(i % cycle.size(), 1);
        expected += c == QLatin1String("\r") ? 7 : 1;
        QElapsedTimer clock;
        clock.start();
        port.Output(c);
        if (received < expected) {
            giveUp.start(500);
            loop.exec();
        }
        waits.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        late += received < expected ? 1 : 0;
    }
    std::printf("%-6s | %d | %.3f | %.3f | %.1f | %d |\n", qPrintable(label), count,
                percentile(waits, 50), percentile(waits, 99), percentile(waits, 100), late);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("send"))
        return send(args[2].toInt(), args[3].toInt());
    if (args.size() == 6 && args[1] == QLatin1String("figures"))
        return figures(args[2], args[3], args[4].toInt(), args[5].toInt());
    if (args.size() == 4 && args[1] == QLatin1String("echoes"))
        return echoes(args[2], args[3].toInt());
    std::fputs("usage: tarvex_line_pacing send ATE0_COUNT SMS_COUNT\n"
               "       tarvex_line_pacing figures LABEL STAMPS ATE0_COUNT SMS_COUNT\n"
               "       tarvex_line_pacing echoes LABEL COUNT\n",
               stderr);
    return 2;
}
