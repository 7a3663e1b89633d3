#include "real_world.h"

#include "platform/logged_platform.h"

#include <QtGlobal>

namespace tarvex::testing {

RealWorld::RealWorld(const QString& device, std::shared_ptr<SessionLog> log) {
    qputenv("TARVEX_COM1", device.toLocal8Bit());
    WindowPlatform platform = WindowPlatform::system();
    auto recorder = std::make_unique<FakeMessageBoxes>(unusedClock);
    boxes = recorder.get();
    platform.boxes = std::move(recorder);
    platform.endProcess = [this] { ++processEnds; };
    window = std::make_unique<frmResult>(withSessionLog(std::move(platform), std::move(log)));
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
