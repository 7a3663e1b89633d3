#pragma once
// A main window on the real serial control, pause and timers, for the suites that
// run against a real pseudo-terminal in real time; message boxes are recorded,
// not shown, and ending the process does nothing.

#include "fake_world.h"

#include <QtGlobal>
#include <memory>

namespace tarvex::testing {

struct RealWorld {
    // Points COM1 at `device` (TARVEX_COM1) before the window reads it.
    explicit RealWorld(const QString& device) {
        qputenv("TARVEX_COM1", device.toLocal8Bit());
        WindowPlatform platform = WindowPlatform::system();
        auto recorder = std::make_unique<FakeMessageBoxes>(unusedClock);
        boxes = recorder.get();
        platform.boxes = std::move(recorder);
        platform.endProcess = [] {};
        window = std::make_unique<frmResult>(std::move(platform));
    }
    VirtualClock unusedClock;
    FakeMessageBoxes* boxes = nullptr;
    std::unique_ptr<frmResult> window;
};

} // namespace tarvex::testing
