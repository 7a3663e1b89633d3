#pragma once
// Fakes for everything the modem dialogue waits on or talks to, all on one virtual
// clock: blocking pauses advance it, timers fire only when the test lets events run.

#include "modem/modem_dialogue.h"
#include "platform/serial_error.h"

#include <QList>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>

namespace tarvex::testing {

class VirtualClock {
public:
    qint64 now() const { return now_; }
    // A blocking pause: time passes, no event runs.
    void advance(std::chrono::milliseconds d) { now_ += d.count(); }
    // Lets events run for `d`: due timers tick in order of their deadlines.
    void run(std::chrono::milliseconds d);

    void add(class FakeTimer* timer) { timers_.append(timer); }

private:
    qint64 now_ = 0;
    QList<FakeTimer*> timers_;
};

class FakeTimer final : public Timer {
    Q_OBJECT
public:
    explicit FakeTimer(VirtualClock& clock);
    void setInterval(std::chrono::milliseconds interval) override { interval_ = interval; }
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return enabled_; }

    std::chrono::milliseconds interval() const { return interval_; }
    qint64 deadline() const { return armedAt_ + interval_.count(); }
    void fire();

private:
    VirtualClock& clock_;
    std::chrono::milliseconds interval_{0};
    bool enabled_ = false;
    qint64 armedAt_ = 0;
};

class FakePause final : public Pause {
public:
    explicit FakePause(VirtualClock& clock)
        : clock_(clock) {}
    void Sleep(std::chrono::milliseconds d) override {
        pauses.append(d.count());
        clock_.advance(d);
        if (interruptWhen && interruptWhen()) {
            interruptWhen = nullptr;
            throw Interrupted{}; // as the shell's pause does after a Ctrl-C
        }
    }
    QList<qint64> pauses;
    // Checked after each pause: when true, the pause is interrupted, once.
    std::function<bool()> interruptWhen;

private:
    VirtualClock& clock_;
};

// One write to Output: its text and the virtual millisecond it happened at.
struct Written {
    qint64 at;
    QString text;
    bool operator==(const Written&) const = default;
};

// The pace every text goes out at, as the modem sees it: each character written on
// its own, then 25 ms, the last one included. A number here, not kCharacterPause,
// so that a change to the pause fails the suites instead of moving them along.
inline constexpr qint64 kPacedCharacterMs = 25;
// The writes of `text` sent at that pace from `start`.
QList<Written> pacedFrom(qint64 start, const QString& text);
// When the pause after the last character of `text`, sent from `start`, ends.
qint64 pacedEnd(qint64 start, const QString& text);

class FakeSerialControl final : public SerialControl {
    Q_OBJECT
public:
    explicit FakeSerialControl(VirtualClock& clock)
        : clock_(clock) {}

    void setCommPort(qint16 port) override;
    void setHandshaking(Handshaking mode) override;
    void setRThreshold(qint16 count) override;
    void setRTSEnable(bool on) override;
    void setSettings(const QString& settings) override;
    void setSThreshold(qint16 count) override;
    void setInputLen(qint16 count) override;
    void setPortOpen(bool open) override;
    qint16 CommPort() const override { return port_; }
    bool PortOpen() const override { return open_; }
    void Output(const QString& text) override;
    QString Input() override;
    CommEventCode CommEvent() const override { return event_; }
    QString portDescription() const override {
        return QStringLiteral("COM%1 (/dev/fake)").arg(port_);
    }
    QString device() const override { return QStringLiteral("/dev/fake"); }

    // The modem sends `text`: one receive notification per character, as the real
    // control delivers them. Notifications raised inside a handler nest, as they do
    // inside a message box.
    void receive(const QString& text);
    // Characters arrive without a notification yet.
    void arrive(const QString& text) { buffer_ += text; }
    // A notification that finds nothing waiting.
    void notify(CommEventCode code);

    // Every property write, "CommPort=3", in order.
    QStringList configuration;
    QList<Written> written;
    QString wire() const;
    // The named property write (e.g. "PortOpen") throws this error.
    std::optional<std::pair<QString, SerialError>> failOn;
    // Output throws this error from the given write on (0 = the first).
    std::optional<std::pair<int, SerialError>> failOutput;

private:
    void record(const QString& property, const QString& value);

    VirtualClock& clock_;
    qint16 port_ = 1;
    bool open_ = false;
    qint16 inputLen_ = 0;
    QString buffer_;
    CommEventCode event_ = CommEventCode::None;
};

struct Shown {
    enum Kind { Inform, Ask, Report } kind;
    QString caption;
    QString text;
    qint64 at;
};

class FakeMessageBoxes final : public MessageBoxes {
public:
    explicit FakeMessageBoxes(VirtualClock& clock)
        : clock_(clock) {}
    void inform(const QString& text) override;
    bool ask(const QString& caption, const QString& text) override;
    void report(const QString& text) override;

    QList<Shown> shown;
    QStringList texts() const;
    // Answers to questions, in order; an unexpected question is answered No.
    std::deque<bool> answers;
    int unexpectedQuestions = 0;
    // Runs while the next box is open, as the nested event loop would.
    std::deque<std::function<void()>> whileOpen;

private:
    void open(Shown::Kind kind, const QString& caption, const QString& text);
    VirtualClock& clock_;
};

// A device as the port lookup describes it.
PortInfo presentPort(int port, const QString& device, const QString& manufacturer = {},
                     const QString& product = {}, const QString& serialNumber = {},
                     int usbInterface = -1);

// Forty entries on /dev/fake1../dev/fake40, none present until a test plugs one in.
class FakePortDirectory final : public PortDirectory {
public:
    FakePortDirectory();
    QList<PortInfo> ports() const override {
        ++reads;
        return entries;
    }
    QList<PortInfo> beyondTheList(const QList<PortInfo>&) const override { return beyond; }
    QString adapterTakenAway() const override { return takenAway; }
    // Puts `info` in the place of its entry.
    void plug(const PortInfo& info) { entries[info.port - kFirstPort] = info; }

    QList<PortInfo> entries;
    QList<PortInfo> beyond;
    QString takenAway;
    mutable int reads = 0;
};

// Every fake, on one clock, with handles on each; `platform` holds them until a
// dialogue or a window takes it.
struct FakeDevices {
    FakeDevices();

    VirtualClock clock;
    FakeSerialControl* serial;
    FakePause* pause;
    FakeMessageBoxes* boxes;
    FakeTimer* replyTimer;
    FakeTimer* smsTimer;
    FakeTimer* queryTimer;
    FakePortDirectory* ports;
    DialoguePlatform platform;
};

// The modem dialogue on fakes, without a window.
struct FakeDialogueWorld : FakeDevices {
    FakeDialogueWorld();

    ModemDialogue dialogue;

    // Opens COM1 and forgets the configuration it wrote.
    void connectPort();
};

} // namespace tarvex::testing
