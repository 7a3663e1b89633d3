#include "real_world.h"

#include "modem/dialogue_platform.h"

namespace tarvex::testing {

RealWorld::RealWorld(const QString& device, std::shared_ptr<SessionLog> log) {
    // As a user points the window's COM1 elsewhere; a test may point it again later.
    qputenv("TARVEX_COM1", device.toLocal8Bit());
    auto recorder = std::make_unique<FakeMessageBoxes>(unusedClock);
    boxes = recorder.get();
    DialoguePlatform platform =
        DialoguePlatform::system(std::move(recorder), std::make_unique<SystemPause>());
    window = std::make_unique<frmResult>(withSessionLog(std::move(platform), std::move(log)),
                                         [this] { ++processEnds; });
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
