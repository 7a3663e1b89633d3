// libFuzzer target: the main window on the fakes, driven by a small script read
// from the input, so that received bytes meet every state of the modem test and
// the SMS submission, not just the reply detector.
//
// Script: one opcode byte, then its operands.
//   0 n bytes...  the modem sends n bytes (one notification per character)
//   1             Test Modem Communication
//   2 n bytes...  Send SMS with a body of n bytes (the number is fixed)
//   3 t           let events run for t * 50 ms of virtual time
//   4             the device goes away (a notification)
//   5             Connect
//   6 a           the next question is answered Yes (a odd) or No
//   7 n bytes...  the modem sends n bytes while the next message box is open
//   8 k           writes fail with the device gone from the k-th write on

#include "fake_world.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <cstdint>
#include <cstdlib>

using namespace tarvex;
using namespace tarvex::testing;
using namespace std::chrono_literals;

namespace {

class Script {
public:
    Script(const std::uint8_t* data, std::size_t size)
        : data_(data)
        , size_(size) {}
    bool done() const { return pos_ >= size_; }
    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    QString text() {
        const std::size_t n = std::min<std::size_t>(byte(), size_ - pos_);
        const QString s = QString::fromLatin1(reinterpret_cast<const char*>(data_ + pos_),
                                              static_cast<qsizetype>(n));
        pos_ += n;
        return s;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

void require(bool condition) {
    if (!condition)
        std::abort();
}

// What must hold between any two events, whatever the modem sent.
void checkInvariants(const FakeWorld& world, const QString& received) {
    const frmResult& w = *world.window;
    require(bool(w.flags().PortConnected) == world.serial->PortOpen());
    require(w.connect->isHidden() == bool(w.flags().PortConnected));
    require(w.Command7->isEnabled() == !w.smsInProgress());
    if (!w.smsInProgress())
        require(!world.smsTimer->isEnabled());
    // "SMS Send" only for a modem that said +CMGS.
    if (world.boxes->texts().contains(QStringLiteral("SMS Send")))
        require(received.contains(QStringLiteral("+CMGS")));
    // Nothing the operator did not type is ever sent as part of a command.
    for (const Written& out : world.serial->written) {
        for (const QChar c : out.text)
            require(c.unicode() < 0x80);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        FakeWorld world;
        world.connectPort();
        world.window->txtMobileNo->setText(QStringLiteral("+15551234567"));
        Script script(data, size);
        QString received;
        while (!script.done()) {
            switch (script.byte() % 9) {
            case 0: {
                const QString bytes = script.text();
                received += bytes;
                world.serial->receive(bytes);
                break;
            }
            case 1:
                world.window->cmdTest->click();
                break;
            case 2:
                world.window->txtDat->setText(script.text());
                world.window->Command7->click();
                break;
            case 3:
                world.clock.run(std::chrono::milliseconds(50 * script.byte()));
                break;
            case 4:
                world.serial->notify(CommEventCode::DeviceLost);
                break;
            case 5:
                world.window->connect->click();
                break;
            case 6:
                world.boxes->answers.push_back(script.byte() % 2 == 1);
                break;
            case 7: {
                const QString bytes = script.text();
                world.boxes->whileOpen.push_back([&world, &received, bytes] {
                    received += bytes;
                    world.serial->receive(bytes);
                });
                break;
            }
            case 8:
                world.serial->failOutput.emplace(
                    int(world.serial->written.size()) + script.byte() % 16,
                    SerialError(SerialError::Kind::DeviceLost, world.serial->portDescription(),
                                QStringLiteral("the device went away")));
                break;
            }
            checkInvariants(world, received);
        }
        world.clock.run(130s);
        checkInvariants(world, received);
    }
    // No event loop runs between inputs: objects Qt deletes later would pile up.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    return 0;
}
