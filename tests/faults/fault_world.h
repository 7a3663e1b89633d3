#pragma once
// The real tarvex-vmodem on its pseudo-terminal, and the main window on the real
// serial control, pause and timers with its message boxes recorded.

#include "fake_world.h"

#include <QProcess>
#include <QStringList>
#include <memory>

namespace tarvex::testing {

class VModemProcess {
public:
    explicit VModemProcess(const QStringList& args);
    ~VModemProcess();
    VModemProcess(const VModemProcess&) = delete;
    VModemProcess& operator=(const VModemProcess&) = delete;

    QString device;
    QProcess process;
};

struct RealWorld {
    // The window's COM1 is `device`.
    explicit RealWorld(const QString& device);
    ~RealWorld();

    VirtualClock unusedClock;
    FakeMessageBoxes* boxes = nullptr;
    int processEnds = 0;
    std::unique_ptr<frmResult> window;

    // The texts of the platform-error reports shown so far.
    QStringList reports() const;
};

} // namespace tarvex::testing
