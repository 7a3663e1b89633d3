#include "fake_dialogue_world.h"

#include <algorithm>

namespace tarvex::testing {

void VirtualClock::run(std::chrono::milliseconds d) {
    const qint64 end = now_ + d.count();
    for (;;) {
        FakeTimer* next = nullptr;
        for (FakeTimer* t : timers_) {
            if (t->isEnabled() && t->deadline() <= end &&
                (!next || t->deadline() < next->deadline()))
                next = t;
        }
        if (!next)
            break;
        now_ = std::max(now_, next->deadline());
        next->fire();
    }
    now_ = std::max(now_, end);
}

FakeTimer::FakeTimer(VirtualClock& clock)
    : clock_(clock) {
    clock_.add(this);
}

void FakeTimer::setEnabled(bool enabled) {
    if (enabled && !enabled_)
        armedAt_ = clock_.now();
    enabled_ = enabled;
}

void FakeTimer::fire() {
    // A periodic timer: the next tick is one interval after this one.
    armedAt_ = clock_.now();
    emit tick();
}

QList<Written> pacedFrom(qint64 start, const QString& text) {
    QList<Written> writes;
    for (const QChar c : text) {
        writes.append({start, QString(c)});
        start += kPacedCharacterMs;
    }
    return writes;
}

qint64 pacedEnd(qint64 start, const QString& text) {
    return start + kPacedCharacterMs * text.size();
}

void FakeSerialControl::record(const QString& property, const QString& value) {
    if (failOn && failOn->first == property)
        throw failOn->second;
    configuration.append(property + QLatin1Char('=') + value);
}

void FakeSerialControl::setCommPort(qint16 port) {
    record(QStringLiteral("CommPort"), QString::number(port));
    port_ = port;
}

void FakeSerialControl::setHandshaking(Handshaking mode) {
    record(QStringLiteral("Handshaking"), QString::number(static_cast<int>(mode)));
}

void FakeSerialControl::setRThreshold(qint16 count) {
    record(QStringLiteral("RThreshold"), QString::number(count));
}

void FakeSerialControl::setRTSEnable(bool on) {
    record(QStringLiteral("RTSEnable"), on ? QStringLiteral("true") : QStringLiteral("false"));
}

void FakeSerialControl::setSettings(const QString& settings) {
    record(QStringLiteral("Settings"), settings);
}

void FakeSerialControl::setSThreshold(qint16 count) {
    record(QStringLiteral("SThreshold"), QString::number(count));
}

void FakeSerialControl::setInputLen(qint16 count) {
    record(QStringLiteral("InputLen"), QString::number(count));
    inputLen_ = count;
}

void FakeSerialControl::setPortOpen(bool open) {
    record(QStringLiteral("PortOpen"), open ? QStringLiteral("true") : QStringLiteral("false"));
    open_ = open;
}

void FakeSerialControl::Output(const QString& text) {
    if (!open_)
        throw SerialError(SerialError::Kind::NotOpen, portDescription(),
                          QStringLiteral("the port is not open."));
    if (failOutput && written.size() >= failOutput->first)
        throw failOutput->second;
    written.append({clock_.now(), text});
}

QString FakeSerialControl::Input() {
    const qsizetype n =
        inputLen_ > 0 ? std::min<qsizetype>(inputLen_, buffer_.size()) : buffer_.size();
    const QString taken = buffer_.left(n);
    buffer_.remove(0, n);
    return taken;
}

QString FakeSerialControl::wire() const {
    QString all;
    for (const Written& w : written)
        all += w.text;
    return all;
}

void FakeSerialControl::receive(const QString& text) {
    arrive(text);
    for (qsizetype i = 0; i < text.size(); ++i)
        notify(CommEventCode::Receive);
}

void FakeSerialControl::notify(CommEventCode code) {
    event_ = code;
    emit OnComm();
}

void FakeMessageBoxes::open(Shown::Kind kind, const QString& caption, const QString& text) {
    shown.append({kind, caption, text, clock_.now()});
    if (!whileOpen.empty()) {
        auto nested = std::move(whileOpen.front());
        whileOpen.pop_front();
        nested();
    }
}

void FakeMessageBoxes::inform(const QString& text) {
    open(Shown::Inform, kApplicationTitle, text);
}

bool FakeMessageBoxes::ask(const QString& caption, const QString& text) {
    open(Shown::Ask, caption, text);
    if (answers.empty()) {
        ++unexpectedQuestions;
        return false;
    }
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
}

void FakeMessageBoxes::report(const QString& text) {
    open(Shown::Report, kApplicationTitle, text);
}

QStringList FakeMessageBoxes::texts() const {
    QStringList all;
    for (const Shown& s : shown)
        all.append(s.text);
    return all;
}

FakePortDirectory::FakePortDirectory() {
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        PortInfo absent;
        absent.port = port;
        absent.device = QStringLiteral("/dev/fake%1").arg(port);
        entries.append(absent);
    }
}

PortInfo presentPort(int port, const QString& device, const QString& manufacturer,
                     const QString& product, const QString& serialNumber, int usbInterface) {
    PortInfo info;
    info.port = port;
    info.device = device;
    info.present = true;
    info.manufacturer = manufacturer;
    info.description = product;
    info.serialNumber = serialNumber;
    info.usbInterface = usbInterface;
    return info;
}

FakeDevices::FakeDevices() {
    auto serialFake = std::make_unique<FakeSerialControl>(clock);
    auto pauseFake = std::make_unique<FakePause>(clock);
    auto boxesFake = std::make_unique<FakeMessageBoxes>(clock);
    auto replyFake = std::make_unique<FakeTimer>(clock);
    auto smsFake = std::make_unique<FakeTimer>(clock);
    auto queryFake = std::make_unique<FakeTimer>(clock);
    auto portsFake = std::make_unique<FakePortDirectory>();
    serial = serialFake.get();
    pause = pauseFake.get();
    boxes = boxesFake.get();
    replyTimer = replyFake.get();
    smsTimer = smsFake.get();
    queryTimer = queryFake.get();
    ports = portsFake.get();
    platform.serial = std::move(serialFake);
    platform.pause = std::move(pauseFake);
    platform.boxes = std::move(boxesFake);
    platform.replyTimer = std::move(replyFake);
    platform.smsTimer = std::move(smsFake);
    platform.queryTimer = std::move(queryFake);
    platform.ports = std::move(portsFake);
}

FakeDialogueWorld::FakeDialogueWorld()
    : dialogue(platform) {
    dialogue.reset();
}

void FakeDialogueWorld::connectPort() {
    dialogue.run([this] { dialogue.openPort(1); });
    serial->configuration.clear();
}

} // namespace tarvex::testing
