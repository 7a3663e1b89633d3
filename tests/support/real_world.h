#pragma once
// A main window on the real serial control, pause and timers, for the suites that
// run against a real pseudo-terminal in real time; message boxes are recorded, not
// shown, and ending the process is counted, not done.

#include "fake_world.h"

#include <QStringList>
#include <memory>

namespace tarvex::testing {

struct RealWorld {
    // The window's COM1 is `device`; `log`, when given, listens in as in the program.
    explicit RealWorld(const QString& device, std::shared_ptr<SessionLog> log = nullptr);
    ~RealWorld();

    VirtualClock unusedClock;
    FakeMessageBoxes* boxes = nullptr;
    int processEnds = 0;
    std::unique_ptr<frmResult> window;

    // The texts of the platform-error reports shown so far.
    QStringList reports() const;
};

} // namespace tarvex::testing
