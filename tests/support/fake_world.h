#pragma once
// The main window on the dialogue's fakes.

#include "fake_dialogue_world.h"
#include "ui/frmResult.h"

#include <memory>

namespace tarvex::testing {

// A main window on fakes, with handles on every fake.
struct FakeWorld : FakeDevices {
    FakeWorld();
    ~FakeWorld();

    int processEnds = 0;
    std::unique_ptr<frmResult> window;

    // Clicks Connect and forgets the configuration it wrote.
    void connectPort();
};

} // namespace tarvex::testing
