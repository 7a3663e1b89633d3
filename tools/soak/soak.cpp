// Soak: many modem tests and SMS through the real serial control, pause and timers
// against a modem on a pseudo-terminal, with the message boxes answered by a
// recorder. Prints resident memory and open descriptors at the start and the end.
//
// usage: tarvex-soak DEVICE [TESTS] [SMS]

#include "platform/message_boxes.h"
#include "process_stats.h"
#include "recording_message_boxes.h"
#include "ui/frmResult.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <cstdio>

using namespace tarvex;

namespace {

qsizetype openDescriptors() {
    return QDir(QStringLiteral("/proc/self/fd"))
        .entryList(QDir::NoDotAndDotDot | QDir::System)
        .size();
}

// Runs events until `boxes` holds one more message than `before`, or 150 s pass.
bool awaitMessage(const RecordingMessageBoxes& boxes, qsizetype before) {
    const QDeadlineTimer deadline(150'000);
    while (boxes.texts.size() <= before && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return boxes.texts.size() > before;
}

// Runs events until the line has been quiet for a moment. Without it the next test
// starts while the modem's answer to the echo-off command is still queued, its OK
// completes that test at once, and the unread bytes pile up from test to test.
void awaitQuietLine(SerialControl& serial) {
    QElapsedTimer sinceLast;
    sinceLast.start();
    const QMetaObject::Connection watch =
        QObject::connect(&serial, &SerialControl::OnComm, [&] { sinceLast.restart(); });
    while (sinceLast.elapsed() < 50)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    QObject::disconnect(watch);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fputs("usage: tarvex-soak DEVICE [TESTS] [SMS]\n", stderr);
        return 2;
    }
    qputenv("TARVEX_COM1", args.at(1).toLocal8Bit());
    const int tests = args.value(2, QStringLiteral("1000")).toInt();
    const int messages = args.value(3, QStringLiteral("100")).toInt();

    auto boxes = std::make_unique<RecordingMessageBoxes>();
    RecordingMessageBoxes& shown = *boxes;
    frmResult window(DialoguePlatform::system(std::move(boxes), std::make_unique<SystemPause>()),
                     [] {});
    window.connect->click();
    if (!window.flags().PortConnected) {
        std::fprintf(stderr, "cannot connect: %s\n", qPrintable(shown.texts.join('\n')));
        return 1;
    }

    const long rssStart = tools::residentKiB();
    const qsizetype fdStart = openDescriptors();
    std::printf("start: VmRSS %ld kB, %lld open descriptors\n", rssStart,
                static_cast<long long>(fdStart));
    std::fflush(stdout);

    int ok = 0;
    for (int i = 0; i < tests; ++i) {
        const qsizetype before = shown.texts.size();
        window.cmdTest->click();
        if (awaitMessage(shown, before) && shown.texts.last() == QLatin1String("GSM Modem OK"))
            ++ok;
        awaitQuietLine(window.MSComm1);
        if ((i + 1) % 100 == 0) {
            std::printf("  %d tests, %d OK, VmRSS %ld kB\n", i + 1, ok, tools::residentKiB());
            std::fflush(stdout);
        }
    }
    int sent = 0;
    for (int i = 0; i < messages; ++i) {
        window.txtMobileNo->setText(QStringLiteral("+15551234567"));
        window.txtDat->setText(QStringLiteral("soak %1").arg(i));
        const qsizetype before = shown.texts.size();
        window.Command7->click();
        if (awaitMessage(shown, before) && shown.texts.last() == QLatin1String("SMS Send"))
            ++sent;
        awaitQuietLine(window.MSComm1);
        if ((i + 1) % 10 == 0) {
            std::printf("  %d SMS, %d sent, VmRSS %ld kB\n", i + 1, sent, tools::residentKiB());
            std::fflush(stdout);
        }
    }
    const long rssEnd = tools::residentKiB();
    const qsizetype fdEnd = openDescriptors();
    std::printf("end: VmRSS %ld kB, %lld open descriptors\n", rssEnd,
                static_cast<long long>(fdEnd));
    std::printf("modem tests: %d of %d GSM Modem OK; SMS: %d of %d SMS Send\n", ok, tests, sent,
                messages);
    return ok == tests && sent == messages && fdEnd <= fdStart ? 0 : 1;
}
