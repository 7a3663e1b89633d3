// The list's devices on Linux and other Unix systems, and what sysfs knows of them.

#include "port_names_unix.h"

#include "line_users_unix.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace tarvex {
namespace {

struct DeviceFamily {
    int firstPort;
    int count;
    const char* prefix;
};

// The one table of which device each entry stands for (the README shows it).
// COM1-COM4 are a PC's own COM1-COM4, as Windows numbers them. A USB modem brings
// three to six ports of one family (the AT port is often the third), so the USB
// families get room for a few modems. A Raspberry Pi HAT sits on a PL011 UART, or
// on the mini UART, which is ttyS0.
constexpr DeviceFamily kDeviceFamilies[] = {
    {1, 4, "/dev/ttyS"},     // built-in UARTs
    {5, 16, "/dev/ttyUSB"},  // USB serial adapters, multi-interface USB modems
    {21, 16, "/dev/ttyACM"}, // CDC-ACM modems
    {37, 4, "/dev/ttyAMA"},  // Raspberry Pi UARTs
};

constexpr bool coversTheList() {
    int next = kFirstPort;
    for (const DeviceFamily& family : kDeviceFamilies) {
        if (family.firstPort != next || family.count <= 0)
            return false;
        next += family.count;
    }
    return next == kLastPort + 1;
}
static_assert(coversTheList(), "every port of the list has exactly one device");

QString attribute(const QString& directory, const char* name) {
    QFile file(directory + QLatin1Char('/') + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).trimmed();
}

// A ttyACM's sysfs device is its USB interface; a ttyUSB's is a port one level
// below it. The USB device with its strings is the interface's parent.
void readUsbDetails(const QString& ttyDirectory, PortInfo& info) {
    QString directory = QFileInfo(ttyDirectory + QStringLiteral("/device")).canonicalFilePath();
    info.driver =
        QFileInfo(QFileInfo(directory + QStringLiteral("/driver")).symLinkTarget()).fileName();
    for (int depth = 0; depth < 4 && !directory.isEmpty(); ++depth) {
        if (info.usbInterface < 0) {
            bool ok = false;
            const int number = attribute(directory, "bInterfaceNumber").toInt(&ok, 16);
            if (ok) {
                info.usbInterface = number;
                info.interfaceClass = QStringList{attribute(directory, "bInterfaceClass"),
                                                  attribute(directory, "bInterfaceSubClass"),
                                                  attribute(directory, "bInterfaceProtocol")}
                                          .join(QLatin1Char('/'));
            }
        }
        if (QFileInfo::exists(directory + QStringLiteral("/idVendor"))) {
            info.manufacturer = attribute(directory, "manufacturer");
            info.description = attribute(directory, "product");
            info.serialNumber = attribute(directory, "serial");
            info.vidPid = attribute(directory, "idVendor") + QLatin1Char(':') +
                          attribute(directory, "idProduct");
            return;
        }
        directory = QFileInfo(directory).path();
    }
    info.usbInterface = -1; // an interface number without a USB device is no USB port
    info.interfaceClass.clear();
}

// The Raspberry Pi's links to the UART on GPIO 14/15 (serial0) and to the other
// one (serial1); which device each leads to depends on the model and config.txt.
constexpr const char* kPortLinks[] = {"serial0", "serial1"};

// The links in `dev` that lead to `node`: serial0 and the like, and udev's by-id name.
void readLinks(const QString& dev, const QFileInfo& node, PortInfo& info) {
    const QString device = node.canonicalFilePath();
    for (const char* name : kPortLinks) {
        const QFileInfo link(dev + QLatin1Char('/') + QLatin1String(name));
        if (link.isSymLink() && link.canonicalFilePath() == device &&
            link.filePath() != info.device)
            info.links.append(link.filePath());
    }
    const QDir byId(dev + QStringLiteral("/serial/by-id"));
    for (const QFileInfo& link : byId.entryInfoList(QDir::System | QDir::Files, QDir::Name)) {
        if (link.canonicalFilePath() == device) {
            info.byId = link.filePath();
            break;
        }
    }
}

} // namespace

QString defaultDeviceForPort(int port) {
    for (const DeviceFamily& family : kDeviceFamilies) {
        if (port >= family.firstPort && port < family.firstPort + family.count)
            return QLatin1String(family.prefix) + QString::number(port - family.firstPort);
    }
    return {};
}

void lookUpDevices(QList<PortInfo>& ports) {
    lookUpDevicesIn(ports, QStringLiteral("/sys"));
    lookUpLineUsersIn(ports, LineRoots{});
}

QList<PortInfo> devicesBeyond(const QList<PortInfo>& entries) {
    return devicesBeyondIn(entries, QStringLiteral("/sys"), QStringLiteral("/dev"));
}

BeyondTheList beyondTheListWording() {
    return {QStringLiteral("the list"), {}};
}

bool namesADevice(const QString& argument) {
    return argument.startsWith(QLatin1Char('/'));
}

QString notASerialDevice(const QString& device) {
    struct stat st = {};
    if (::stat(QFile::encodeName(device).constData(), &st) != 0 || S_ISCHR(st.st_mode))
        return {}; // a missing device is the open's to report, with what is present
    return S_ISDIR(st.st_mode) ? QStringLiteral("a folder") : QStringLiteral("a file");
}

QString adapterTakenAway() {
    return adapterClaimedIn(LineRoots{});
}

QList<PortInfo> serialDevicesPresent() {
    QList<PortInfo> devices = devicesBeyondIn({}, QStringLiteral("/sys"), QStringLiteral("/dev"));
    lookUpLineUsersIn(devices, LineRoots{});
    return devices;
}

// A terminal's node has the kernel's tty class behind it, or is a pseudo-terminal,
// which has none (UNIX 98 majors 136 to 143).
QString notATerminal(const QString& device) {
    struct stat st = {};
    if (::stat(QFile::encodeName(device).constData(), &st) != 0)
        return {};
    if (!S_ISCHR(st.st_mode))
        return notASerialDevice(device);
    const unsigned major = ::major(st.st_rdev);
    const QFileInfo subsystem(
        QStringLiteral("/sys/dev/char/%1:%2/subsystem").arg(major).arg(::minor(st.st_rdev)));
    // The program's own terminal (5:0), the console (5:1), the multiplexer (5:2) and
    // the virtual consoles (4:0 to 4:63) are terminals, but no serial line.
    const unsigned minor = ::minor(st.st_rdev);
    if ((major == 5 && minor <= 2) || (major == 4 && minor < 64))
        return QStringLiteral("a terminal of this machine's own, no serial line");
    if (subsystem.exists() ? subsystem.canonicalFilePath().endsWith(QLatin1String("/tty"))
                           : major >= 136 && major <= 143)
        return {};
    return QStringLiteral("a device that is no terminal");
}

// A serial device is a tty with a device behind it (virtual consoles and
// pseudo-terminals have none) whose UART is fitted, or a Bluetooth RFCOMM link.
QList<PortInfo> devicesBeyondIn(const QList<PortInfo>& entries, const QString& sysfs,
                                const QString& dev) {
    QStringList reached;
    for (const PortInfo& entry : entries)
        reached.append(QFileInfo(entry.device).canonicalFilePath());
    const QString classTty = sysfs + QStringLiteral("/class/tty");
    QStringList names = QDir(classTty).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    // ttyUSB9 before ttyUSB10.
    QCollator order;
    order.setNumericMode(true);
    std::sort(names.begin(), names.end(), order);
    QList<PortInfo> beyond;
    for (const QString& name : names) {
        const QString ttyDirectory = classTty + QLatin1Char('/') + name;
        const bool serial = QFileInfo::exists(ttyDirectory + QStringLiteral("/device")) ||
                            name.startsWith(QLatin1String("rfcomm"));
        const QFileInfo node(dev + QLatin1Char('/') + name);
        if (!serial || !node.exists() || attribute(ttyDirectory, "type") == QLatin1String("0") ||
            reached.contains(node.canonicalFilePath()))
            continue;
        PortInfo info;
        info.device = node.filePath();
        info.present = true;
        readUsbDetails(ttyDirectory, info);
        readLinks(dev, node, info);
        beyond.append(info);
    }
    return beyond;
}

void lookUpDevicesIn(QList<PortInfo>& ports, const QString& sysfs, const QString& dev) {
    for (PortInfo& info : ports) {
        // stat() only, through links such as /dev/serial0.
        const QFileInfo node(info.device);
        if (!node.exists())
            continue;
        const QString ttyDirectory =
            sysfs + QStringLiteral("/class/tty/") + QFileInfo(node.canonicalFilePath()).fileName();
        // The 8250 driver makes nodes for UARTs that are not fitted; their type is 0.
        if (attribute(ttyDirectory, "type") == QLatin1String("0"))
            continue;
        info.present = true;
        readUsbDetails(ttyDirectory, info);
        readLinks(dev, node, info);
    }
}

} // namespace tarvex
