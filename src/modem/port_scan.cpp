#include "port_scan.h"

#include "platform/serial_error.h"
#include "serial/port_opening.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

namespace tarvex {
namespace {

// Which interface carries what on the USB modems whose layout is known, as their
// drivers and modem daemons have it. A product of -1 stands for every product of the
// maker.
struct Interface {
    quint16 vendor;
    int product;
    int number;
    InterfaceRole role;
    const char* maker;
};
constexpr Interface kKnownInterfaces[] = {
    // Quectel EC25, EG25, EG91, EG95, BG96, EC21
    {0x2c7c, -1, 0, InterfaceRole::Diagnostics, "Quectel"},
    {0x2c7c, -1, 1, InterfaceRole::Nmea, "Quectel"},
    {0x2c7c, -1, 2, InterfaceRole::At, "Quectel"},
    {0x2c7c, -1, 3, InterfaceRole::At, "Quectel"},
    // SIMCom SIM7600
    {0x1e0e, 0x9001, 0, InterfaceRole::Diagnostics, "SIMCom"},
    {0x1e0e, 0x9001, 1, InterfaceRole::Nmea, "SIMCom"},
    {0x1e0e, 0x9001, 2, InterfaceRole::At, "SIMCom"},
    {0x1e0e, 0x9001, 3, InterfaceRole::At, "SIMCom"},
    {0x1e0e, 0x9001, 4, InterfaceRole::Audio, "SIMCom"},
    // SIMCom SIM7080
    {0x1e0e, 0x9205, 2, InterfaceRole::At, "SIMCom"},
    // Sierra Wireless EM7455 and EM7565, on qcserial's Sierra layout
    {0x1199, 0x9071, 0, InterfaceRole::Diagnostics, "Sierra Wireless"},
    {0x1199, 0x9071, 2, InterfaceRole::Nmea, "Sierra Wireless"},
    {0x1199, 0x9071, 3, InterfaceRole::At, "Sierra Wireless"},
    {0x1199, 0x9091, 0, InterfaceRole::Diagnostics, "Sierra Wireless"},
    {0x1199, 0x9091, 2, InterfaceRole::Nmea, "Sierra Wireless"},
    {0x1199, 0x9091, 3, InterfaceRole::At, "Sierra Wireless"},
    // Telit LE910C1
    {0x1bc7, 0x1031, 1, InterfaceRole::At, "Telit"},
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

// Bytes no text holds: controls, and anything above ASCII.
bool isBinary(char c) {
    return isControl(c) || static_cast<unsigned char>(c) > 0x7f;
}

} // namespace

InterfaceRole interfaceRole(const PortInfo& info, QString* maker) {
    const UsbId id = usbId(info.vidPid);
    for (const Interface& known : kKnownInterfaces) {
        if (known.vendor == id.vendor && (known.product < 0 || known.product == id.product) &&
            known.number == info.usbInterface) {
            if (maker)
                *maker = QLatin1String(known.maker);
            return known.role;
        }
    }
    // Huawei tells its AT port (PCUI) by the interface's class.
    if (id.vendor == 0x12d1 && (info.interfaceClass == QLatin1String("ff/01/02") ||
                                info.interfaceClass == QLatin1String("ff/02/02"))) {
        if (maker)
            *maker = QStringLiteral("Huawei");
        return InterfaceRole::At;
    }
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
    bool text = false;
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
        text = true;
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
    return text || !received.isEmpty() ? ProbeReply::Text : ProbeReply::Nothing;
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
        if (!line_->PortOpen())
            openWithLineSettings(*line_, port_, speed);
        else
            line_->setSettings(QStringLiteral("%1,n,8,1").arg(speed));
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
    if (done_ || !line_->PortOpen())
        return;
    if (line_->CommEvent() == CommEventCode::DeviceLost) {
        fail(QStringLiteral("the device went away"));
        return;
    }
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
    // The sentence names the port as the control does; the report names it already.
    const QString prefix = line_->portDescription() + QStringLiteral(": ");
    result_.failure = why.startsWith(prefix) ? why.mid(prefix.size()) : why;
    finish();
}

void PortProbe::finish() {
    for (QByteArray line : received_.split('\n')) {
        const QByteArray text = line.replace('\x1b', QByteArray()).trimmed();
        if (!text.isEmpty() && std::none_of(text.begin(), text.end(), isBinary)) {
            result_.received = QString::fromLatin1(text);
            break;
        }
    }
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
