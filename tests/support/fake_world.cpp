#include "fake_world.h"

#include <QPushButton>

namespace tarvex::testing {

FakeWorld::FakeWorld()
    : window(std::make_unique<frmResult>(std::move(platform), [this] { ++processEnds; })) {}

FakeWorld::~FakeWorld() = default;

void FakeWorld::connectPort() {
    window->connect->click();
    serial->configuration.clear();
}

} // namespace tarvex::testing
