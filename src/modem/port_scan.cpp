#include "port_scan.h"

#include "platform/serial_error.h"
#include "serial/port_opening.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <array>

namespace tarvex {
namespace {

// What each interface carries, from interface 0 on, on the USB modems whose layout
// is known, as their drivers and modem daemons have it.
struct Layout {
    const char* maker;
    quint16 vendor;
    std::array<quint16, 5> products; // 0 ends the list
    std::array<InterfaceRole, 5> interfaces;
};
constexpr auto kDiag = InterfaceRole::Diagnostics;
constexpr auto kNmea = InterfaceRole::Nmea;
constexpr auto kAt = InterfaceRole::At;
constexpr auto kAudio = InterfaceRole::Audio;
constexpr auto kNone = InterfaceRole::Unknown;
constexpr Layout kLayouts[] = {
    // Quectel EC25 and EG25, EG91, EG95, BG96, EC21
    {"Quectel", 0x2c7c, {0x0125, 0x0191, 0x0195, 0x0296, 0x0121}, {kDiag, kNmea, kAt, kAt, kNone}},
    // SIMCom SIM7600, SIM7080
    {"SIMCom", 0x1e0e, {0x9001}, {kDiag, kNmea, kAt, kAt, kAudio}},
    {"SIMCom", 0x1e0e, {0x9205}, {kNone, kNone, kAt, kNone, kNone}},
    // Sierra Wireless EM7455 and EM7565, on qcserial's Sierra layout
    {"Sierra Wireless", 0x1199, {0x9071, 0x9091}, {kDiag, kNone, kNmea, kAt, kNone}},
    // Telit LE910C1
    {"Telit", 0x1bc7, {0x1031}, {kNone, kAt, kNone, kNone, kNone}},
};

// The makers of USB modems: their ports answer at any line speed, being no UART.
constexpr quint16 kModemMakers[] = {0x2c7c, 0x1e0e, 0x1199, 0x1bc7, 0x12d1, 0x05c6};
// Kernel drivers of USB modems' ports; USB serial adapters have others (ftdi_sio,
// cp210x, ch341-uart, pl2303), and a UART behind them keeps its own speed.
const QStringList kModemDrivers{"option", "option1", "qcserial",
                                "sierra", "cdc_acm", "huawei_cdc_ncm"};
// Development boards that show as CDC-ACM modems: opening their port restarts them
// (Arduino, Adafruit, SparkFun, Teensy, Raspberry Pi Pico, Espressif).
constexpr quint16 kBoardMakers[] = {0x2341, 0x2a03, 0x239a, 0x1b4f, 0x16c0, 0x2e8a, 0x303a};

// The common speeds of modems' UARTs: the window's first, then the usual default of
// newer modules, then the rest downwards.
const QList<int> kUartSpeeds{kLineSpeed, 115200, 57600, 38400, 19200};

struct UsbId {
    quint16 vendor = 0;
    int product = -1;
};
UsbId usbId(const QString& vidPid) {
    const QStringList parts = vidPid.split(QLatin1Char(':'));
    if (parts.size() != 2)
        return {};
    return {quint16(parts[0].toUInt(nullptr, 16)), int(parts[1].toUInt(nullptr, 16))};
}

template <typename List> bool among(const List& list, quint16 vendor) {
    return vendor != 0 && std::find(std::begin(list), std::end(list), vendor) != std::end(list);
}

QString kernelName(const PortInfo& info) {
    return QFileInfo(info.device).fileName();
}

// A port of a USB modem's own, which is no UART: one speed is enough for it.
bool modemsOwnPort(const PortInfo& info) {
    return kModemDrivers.contains(info.driver) || among(kModemMakers, usbId(info.vidPid).vendor);
}

QString interfaceText(const PortInfo& info) {
    return info.usbInterface >= 0 ? QStringLiteral(" (USB interface %1)").arg(info.usbInterface)
                                  : QString();
}

bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
}

// Control characters a modem's text never holds: all but the line's own, ESC and
// backspace (which an echo may hold) and NUL (told apart below).
bool isControl(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 || u == 0x7f) && !isLineEnd(c) && c != '\t' && c != '\x1b' && c != '\b' &&
           c != '\0';
}

bool isPrintable(char c) {
    return c > 0x20 && c < 0x7f;
}

// Bytes no text holds: controls, and anything above ASCII.
bool isBinary(char c) {
    return isControl(c) || static_cast<unsigned char>(c) > 0x7f;
}

} // namespace

InterfaceRole interfaceRole(const PortInfo& info, QString* maker) {
    const UsbId id = usbId(info.vidPid);
    const auto said = [&](const char* name, InterfaceRole role) {
        if (maker)
            *maker = QLatin1String(name);
        return role;
    };
    for (const Layout& layout : kLayouts) {
        const bool product = std::find(layout.products.begin(), layout.products.end(),
                                       id.product) != layout.products.end();
        if (layout.vendor != id.vendor || !product)
            continue;
        if (info.usbInterface >= 0 && info.usbInterface < int(layout.interfaces.size()))
            return said(layout.maker, layout.interfaces[std::size_t(info.usbInterface)]);
        // Windows tells no interface number, but the port's name says what it carries:
        // "Quectel USB DM Port", "SimTech HS-USB NMEA 9001".
        const auto names = [&](const char* word) {
            return info.description.contains(QLatin1String(word), Qt::CaseInsensitive);
        };
        if (names("NMEA"))
            return said(layout.maker, kNmea);
        if (names("DM Port") || names("Diagnostic"))
            return said(layout.maker, kDiag);
        if (names("Audio"))
            return said(layout.maker, kAudio);
        return InterfaceRole::Unknown;
    }
    // Huawei tells its AT port (PCUI) by the interface's class.
    if (id.vendor == 0x12d1 && (info.interfaceClass == QLatin1String("ff/01/02") ||
                                info.interfaceClass == QLatin1String("ff/02/02")))
        return said("Huawei", kAt);
    return InterfaceRole::Unknown;
}

bool inDefaultScan(const PortInfo& info) {
    static const QRegularExpression comPort(QStringLiteral("^COM[0-9]+$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QString name = kernelName(info);
    if (name.startsWith(QLatin1String("ttyUSB")) || comPort.match(info.device).hasMatch())
        return true;
    if (name.startsWith(QLatin1String("ttyACM")))
        return info.interfaceClass.startsWith(QLatin1String("02/02/")) &&
               !among(kBoardMakers, usbId(info.vidPid).vendor);
    return info.device == QLatin1String("/dev/serial0") ||
           info.links.contains(QStringLiteral("/dev/serial0"));
}

ProbePlan planProbe(const PortInfo& info, const QString& holder) {
    ProbePlan plan;
    QString maker;
    const InterfaceRole role = interfaceRole(info, &maker);
    // Windows names a Bluetooth port only in its description.
    const bool rfcomm = kernelName(info).startsWith(QLatin1String("rfcomm"));
    if (rfcomm || info.description.contains(QLatin1String("Bluetooth"), Qt::CaseInsensitive))
        plan.skip = QStringLiteral("a Bluetooth link (%1): opening it calls the paired device")
                        .arg(rfcomm ? QStringLiteral("rfcomm") : info.description);
    else if (info.vidPid == QLatin1String("05c6:9008"))
        plan.skip = QStringLiteral("a Qualcomm modem in its flashing mode (QDL, 05c6:9008), which "
                                   "takes no AT commands");
    else if (!holder.isEmpty())
        plan.skip = QStringLiteral("held by %1: not a byte sent").arg(holder);
    else if (!info.console.isEmpty())
        plan.skip = QStringLiteral("a console: %1").arg(info.console);
    else if (role == InterfaceRole::Diagnostics)
        plan.skip = QStringLiteral("the diagnostics (DIAG) port of a %1 modem%2")
                        .arg(maker, interfaceText(info));
    else if (role == InterfaceRole::Nmea)
        plan.skip =
            QStringLiteral("the GPS (NMEA) port of a %1 modem%2").arg(maker, interfaceText(info));
    else if (role == InterfaceRole::Audio)
        plan.skip =
            QStringLiteral("the audio port of a %1 modem%2").arg(maker, interfaceText(info));
    if (plan.skip.isEmpty())
        plan.speeds = modemsOwnPort(info) ? QList<int>{kLineSpeed} : kUartSpeeds;
    return plan;
}

ProbeReply readProbeReply(const QByteArray& received) {
    static const QRegularExpression nmea(
        QStringLiteral(R"(^\$[A-Z]{2}[A-Z0-9]{2,4},[^*]*\*[0-9A-Fa-f]{2}$)"));
    bool sentence = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i < received.size(); ++i) {
        if (!isLineEnd(received[i]))
            continue;
        QByteArray line = received.mid(start, i - start);
        start = i + 1;
        line.replace('\x1b', QByteArray());
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        if (line == "OK")
            return ProbeReply::Ok;
        if (line == "ERROR" || line.startsWith("+CME ERROR:"))
            return ProbeReply::Error;
        sentence = sentence || nmea.match(QString::fromLatin1(line)).hasMatch();
    }
    if (sentence)
        return ProbeReply::Nmea;
    const auto nuls = received.count('\0');
    if (nuls >= 16 && nuls * 2 >= received.size())
        return ProbeReply::Nul;
    // A diagnostics frame starts with a command byte below 0x20 and ends in a CRC,
    // which may or may not hold bytes above ASCII; noise at another speed is mostly
    // high bytes.
    const auto binary = std::count_if(received.begin(), received.end(), isBinary);
    if (std::any_of(received.begin(), received.end(), isControl) ||
        (binary >= 3 && binary * 8 >= received.size()))
        return ProbeReply::Binary;
    // A few NULs or a stray byte, as a line gives when a device powers up or a UART
    // hears another speed, are no answer.
    return std::any_of(received.begin(), received.end(), isPrintable) ? ProbeReply::Text
                                                                      : ProbeReply::Nothing;
}

bool settles(ProbeReply reply) {
    return reply == ProbeReply::Ok || reply == ProbeReply::Error || reply == ProbeReply::Nmea ||
           reply == ProbeReply::Nul;
}

PortProbe::PortProbe(std::unique_ptr<SerialControl> line, std::unique_ptr<Timer> timer, qint16 port,
                     QList<int> speeds, QObject* parent)
    : QObject(parent)
    , line_(std::move(line))
    , timer_(std::move(timer))
    , port_(port)
    , speeds_(std::move(speeds)) {
    connect(line_.get(), &SerialControl::OnComm, this, &PortProbe::onComm);
    connect(timer_.get(), &Timer::tick, this, &PortProbe::timeUp);
}

PortProbe::~PortProbe() {
    stop();
}

void PortProbe::start() {
    if (speeds_.isEmpty()) {
        finish();
        return;
    }
    listen(speeds_[next_++]);
}

// The first speed opens the port; each further one changes the open port's speed,
// which raises no modem line again.
void PortProbe::listen(int speed) {
    received_.clear();
    result_.speed = speed;
    result_.speedsTried.append(speed);
    try {
        if (next_ == 1) {
            openWithLineSettings(*line_, port_, speed);
        } else if (!line_->PortOpen()) {
            fail(QStringLiteral("the device went away")); // never opened again
            return;
        } else {
            line_->setSettings(QStringLiteral("%1,n,8,1").arg(speed));
            while (!line_->Input().isEmpty()) {
                // what came at the speed before is no answer at this one
            }
        }
        line_->Output(QString::fromLatin1(kProbeBytes));
    } catch (const SerialError& error) {
        fail(error.text());
        return;
    }
    // Each speed has its time from now, also when the one before ended early.
    timer_->setEnabled(false);
    timer_->setInterval(next_ == 1 ? kProbeAnswerTime : kOtherSpeedTime);
    timer_->setEnabled(true);
}

void PortProbe::onComm() {
    if (done_)
        return;
    // The control has closed the port by the time it says the device is gone.
    if (line_->CommEvent() == CommEventCode::DeviceLost) {
        fail(QStringLiteral("the device went away"));
        return;
    }
    if (!line_->PortOpen())
        return;
    for (QString part = line_->Input(); !part.isEmpty(); part = line_->Input())
        received_ += part.toLatin1();
    const ProbeReply reply = readProbeReply(received_);
    if (settles(reply) || (reply == ProbeReply::Binary && next_ == speeds_.size())) {
        result_.reply = reply;
        finish();
    } else if (reply == ProbeReply::Binary) {
        listen(speeds_[next_++]); // what another speed makes of the line's bytes
    }
}

// A port that spoke readable text without a result code runs at this speed and is no
// modem; a silent or unreadable one is asked at the next speed.
void PortProbe::timeUp() {
    if (done_)
        return;
    const ProbeReply reply = readProbeReply(received_);
    if (reply == ProbeReply::Text || next_ == speeds_.size()) {
        result_.reply = reply;
        finish();
        return;
    }
    listen(speeds_[next_++]);
}

void PortProbe::fail(const QString& why) {
    // The sentence names the port as the control does; the report names it already,
    // on one line.
    const QString prefix = line_->portDescription() + QStringLiteral(": ");
    result_.failure = (why.startsWith(prefix) ? why.mid(prefix.size()) : why).simplified();
    finish();
}

// For the report: the result code that was an answer, else the first line that is
// text and not the probe's own echo.
QString PortProbe::shownLine() const {
    QString echo;
    for (QByteArray line : received_.split('\n')) {
        line.replace('\x1b', QByteArray()).replace('\0', QByteArray());
        const QByteArray text = line.trimmed();
        if (text.isEmpty() || std::any_of(text.begin(), text.end(), isBinary))
            continue;
        if (result_.reply == ProbeReply::Error ? text == "ERROR" || text.startsWith("+CME ERROR:")
                                               : text != "AT")
            return QString::fromLatin1(text);
        echo = QString::fromLatin1(text);
    }
    return result_.reply == ProbeReply::Error ? QString() : echo;
}

void PortProbe::finish() {
    result_.received = shownLine();
    stop();
    if (!done_) {
        done_ = true;
        emit finished();
    }
}

void PortProbe::stop() {
    timer_->setEnabled(false);
    if (line_->PortOpen()) {
        try {
            line_->setPortOpen(false);
        } catch (const SerialError&) {
            // closing a port that went away: nothing is left to close
        }
    }
}

} // namespace tarvex
