#pragma once
// Which device stands behind "COM<n>", and what is known of it without opening it.

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace tarvex {

constexpr int kFirstPort = 1;
constexpr int kLastPort = 40;

QString comName(int port);

// TARVEX_COM<n> when set, else defaultDeviceForPort(). Throws
// SerialError(InvalidPort) for a port outside 1..40.
QString deviceForPort(int port);
// Which device each entry stands for: deviceForPort, or a lookup of a run's own that
// names a device given as a value (a command line's PORT) in place of an entry.
using DeviceLookup = std::function<QString(int port)>;

// "COM3 (/dev/ttyS2)"; just "COM3" where the device is not known or is the port's
// own name (Windows).
QString portLabel(int port, const QString& device);

// What one entry of the list stands for right now.
struct PortInfo {
    int port = 0;
    QString device;
    bool present = false;
    // What the system knows of a USB device; empty when unknown.
    QString manufacturer;
    QString description;
    QString serialNumber;
    int usbInterface = -1; // -1: not known
    QString vidPid;        // "1e0e:9001"
    // The USB interface's class, subclass and protocol in hex, "ff/01/02"; empty when
    // not known.
    QString interfaceClass;
    // The kernel driver of the port ("option1", "cdc_acm", "ftdi_sio", "serial8250").
    QString driver;
    // The /dev/serial/by-id link that leads to the device, which keeps its name when a
    // USB device comes back under another number.
    QString byId;
    // Links that lead to the device, such as a Raspberry Pi's /dev/serial0.
    QStringList links;
    // Who else talks on the line: a console ("a login prompt (agetty, pid 812)") and
    // how to turn it off, and whether ModemManager probes the modem.
    QString console;
    QString consoleFix;
    bool modemManagerProbes = false;
};

// What to do about ModemManager on a modem of `vidPid` (may be empty): stop it while
// testing, or a udev rule that keeps it off this modem for good.
QString modemManagerAdvice(const QString& vidPid);
// The box after Connect on a port that is also a console: who talks there, and the fix.
QString consoleWarning(const PortInfo& info);

// The entry's tooltip and accessible description: device, presence, what is known.
QString portDetails(const PortInfo& info);
// "COM21 (/dev/ttyACM0, Telit LE910)".
QString portSummary(const PortInfo& info);
// The present entries, for an open failure: "Present: COM21 (...)", or that none is;
// then every device no entry reaches (`beyond`), and how to reach it from `triedPort`.
QString presentPorts(const QList<PortInfo>& ports, const QList<PortInfo>& beyond = {},
                     int triedPort = kFirstPort);
// How many devices beyond the list a report names before "and N more".
constexpr int kMostDevicesNamedBeyond = 8;

// Looks the list's devices up. Only metadata is read: no device is opened, since
// opening a port toggles its modem lines under whatever is connected there.
class PortDirectory {
public:
    virtual ~PortDirectory() = default;
    // One entry per port, COM1 first.
    virtual QList<PortInfo> ports() const = 0;
    // The serial devices the system has that none of `entries` reaches, port 0 each.
    virtual QList<PortInfo> beyondTheList(const QList<PortInfo>& entries) const = 0;
    // Why a serial adapter's device does not stay, when another program takes it
    // away; empty when nothing says so.
    virtual QString adapterTakenAway() const { return {}; }
};

class SystemPortDirectory final : public PortDirectory {
public:
    explicit SystemPortDirectory(DeviceLookup devices = deviceForPort)
        : devices_(std::move(devices)) {}
    QList<PortInfo> ports() const override;
    QList<PortInfo> beyondTheList(const QList<PortInfo>& entries) const override;
    QString adapterTakenAway() const override;

private:
    DeviceLookup devices_;
};

// One implementation per platform (port_names_unix.cpp, port_names_win.cpp).
// The built-in device of a port in 1..40.
QString defaultDeviceForPort(int port);
// Fills in presence and the USB details of each entry from its device.
void lookUpDevices(QList<PortInfo>& ports);
// The system's serial devices, with what is known of them, that no entry reaches.
QList<PortInfo> devicesBeyond(const QList<PortInfo>& entries);
// How the report names the place beyond the list ("COM40"), and what else the
// operator can do there besides TARVEX_COMn (", or ..."; may be empty).
struct BeyondTheList {
    QString where;
    QString advice;
};
BeyondTheList beyondTheListWording();
// The system's adapterTakenAway().
QString adapterTakenAway();
// Every serial device present, with what is known of it, port 0 each: what a scan
// chooses its ports from. Nothing is opened.
QList<PortInfo> serialDevicesPresent();
// Why `device` is no terminal, where that is plain before opening it; empty when it
// may be one or is missing. Nothing is opened.
QString notATerminal(const QString& device);
// Whether a command line's `argument` names a device rather than an entry: a path
// on Linux ("/dev/ttyUSB2"), a COM port of any number on Windows ("COM47").
bool namesADevice(const QString& argument);
// Why `device` is no serial device, where that is plain before opening it (a file,
// a folder); empty otherwise. Nothing is opened.
QString notASerialDevice(const QString& device);

} // namespace tarvex
