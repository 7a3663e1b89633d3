#include "fault_world.h"

#include <QDeadlineTimer>

namespace tarvex::testing {

VModemProcess::VModemProcess(const QStringList& args) {
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral(TARVEX_VMODEM), args);
    const QDeadlineTimer deadline(10'000);
    while (!process.canReadLine() && process.waitForReadyRead(int(deadline.remainingTime()))) {
    }
    device = QString::fromUtf8(process.readLine()).trimmed();
}

VModemProcess::~VModemProcess() {
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished();
        }
    }
}

RealWorld::RealWorld(const QString& device) {
    qputenv("TARVEX_COM1", device.toLocal8Bit());
    WindowPlatform platform = WindowPlatform::system();
    auto recorder = std::make_unique<FakeMessageBoxes>(unusedClock);
    boxes = recorder.get();
    platform.boxes = std::move(recorder);
    platform.endProcess = [this] { ++processEnds; };
    window = std::make_unique<frmResult>(std::move(platform));
}

RealWorld::~RealWorld() {
    qunsetenv("TARVEX_COM1");
}

QStringList RealWorld::reports() const {
    QStringList all;
    for (const Shown& s : boxes->shown) {
        if (s.kind == Shown::Report)
            all.append(s.text);
    }
    return all;
}

} // namespace tarvex::testing
