#pragma once
// The fixture of the suites whose every test starts with COM1 just opened: a world
// of fakes of its own for each test, the dialogue alone or the window on it.

#include <QObject>
#include <memory>

namespace tarvex::testing {

// QtTest looks init() and cleanup() up by name in the suite's meta-object, which
// reaches its bases; a template cannot declare slots, so they live here and the
// template below fills them in.
class ConnectedSuiteBase : public QObject {
    Q_OBJECT
protected slots:
    virtual void init() = 0;
    virtual void cleanup() = 0;
};

// `World` is FakeDialogueWorld or FakeWorld. A suite that does more before each test
// overrides init() and calls this one first.
template <typename World> class ConnectedSuite : public ConnectedSuiteBase {
protected:
    void init() override { world_ = connectedWorld(); }
    void cleanup() override { world_.reset(); }

    // A fresh world, COM1 open and the configuration that opening it wrote forgotten.
    static std::unique_ptr<World> connectedWorld() {
        auto world = std::make_unique<World>();
        world->connectPort();
        return world;
    }

    std::unique_ptr<World> world_;
};

} // namespace tarvex::testing
