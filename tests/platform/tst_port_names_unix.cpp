// What the list's entries tell of their devices on Unix, read from sysfs, and who
// else is on their lines, read from /proc, udev's data and the lock folders.

#include "fake_dialogue_world.h"
#include "platform/line_users_unix.h"
#include "platform/port_names_unix.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using namespace tarvex;

namespace {

// "path=text" writes a file, "path->target" makes a symbolic link, under `root`. In
// a cmdline file '|' stands for the NUL between arguments.
void build(const QString& root, const QStringList& entries) {
    for (const QString& entry : entries) {
        const bool isLink = entry.contains(QStringLiteral("->"));
        const QString separator = isLink ? QStringLiteral("->") : QStringLiteral("=");
        const qsizetype at = entry.indexOf(separator);
        const QString path = root + QLatin1Char('/') + entry.left(at);
        QString content = entry.mid(at + separator.size());
        QDir().mkpath(QFileInfo(path).path());
        if (isLink) {
            QVERIFY(QFile::link(content, path));
        } else {
            if (path.endsWith(QLatin1String("/cmdline")))
                content.replace(QLatin1Char('|'), QChar(0));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content.toUtf8() + '\n');
        }
    }
}

// A process's stat line with its controlling terminal as the kernel encodes it.
QString procStat(const QString& pid, const QString& name, unsigned major = 0, unsigned minor = 0) {
    const unsigned tty = (minor & 0xff) | (major << 8) | ((minor & ~0xffu) << 12);
    return QStringLiteral("proc/%1/stat=%1 (%2) S 1 %1 %1 %3 -1 4194560 0 0")
        .arg(pid, name)
        .arg(tty);
}

} // namespace

class TestPortNamesUnix : public QObject {
    Q_OBJECT

private slots:
    void lookUp_data() {
        QTest::addColumn<QString>("node"); // the device's name; empty: no such node
        QTest::addColumn<QStringList>("sysfs");
        QTest::addColumn<QString>("details"); // after the device path
        QTest::addColumn<QString>("summary"); // after "COM1 (<device>"

        const QString acm = QStringLiteral("devices/pci0/usb1/1-1");
        QTest::newRow("CDC-ACM modem")
            << "ttyACM0"
            << QStringList{"class/tty/ttyACM0->../../" + acm + "/1-1:1.0/tty/ttyACM0",
                           acm + "/1-1:1.0/tty/ttyACM0/device->../..",
                           acm + "/1-1:1.0/bInterfaceNumber=00",
                           acm + "/idVendor=1bc7",
                           acm + "/manufacturer=Telit",
                           acm + "/product=LE910",
                           acm + "/serial=0123456789"}
            << ": device present\nManufacturer: Telit\nProduct: LE910\nSerial number: "
               "0123456789\nUSB interface: 0"
            << ", Telit LE910, interface 0)";
        const QString usb = QStringLiteral("devices/pci0/usb1/1-2");
        QTest::newRow("third port of a USB modem")
            << "ttyUSB2"
            << QStringList{"class/tty/ttyUSB2->../../" + usb + "/1-2:1.10/ttyUSB2/tty/ttyUSB2",
                           usb + "/1-2:1.10/ttyUSB2/tty/ttyUSB2/device->../..",
                           usb + "/1-2:1.10/bInterfaceNumber=0a",
                           usb + "/idVendor=2c7c",
                           usb + "/manufacturer=Quectel",
                           usb + "/product=Quectel EC25"}
            << ": device present\nManufacturer: Quectel\nProduct: Quectel EC25\nUSB interface: 10"
            << ", Quectel EC25, interface 10)";
        QTest::newRow("fitted UART")
            << "ttyS0"
            << QStringList{"class/tty/ttyS0->../../devices/pnp0/00:00/tty/ttyS0",
                           "devices/pnp0/00:00/tty/ttyS0/type=4",
                           "devices/pnp0/00:00/tty/ttyS0/device->../.."}
            << ": device present"
            << ")";
        QTest::newRow("UART not fitted")
            << "ttyS3" << QStringList{"class/tty/ttyS3/type=0"} << ": no device present"
            << ")";
        QTest::newRow("pseudo-terminal, nothing in sysfs")
            << "pts7" << QStringList{} << ": device present"
            << ")";
        QTest::newRow("no node") << "" << QStringList{"class/tty/ttyACM1/dev=166:1"}
                                 << ": no device present"
                                 << ")";
    }

    void lookUp() {
        QFETCH(QString, node);
        QFETCH(QStringList, sysfs);
        QFETCH(QString, details);
        QFETCH(QString, summary);
        QTemporaryDir root;
        build(root.path() + QStringLiteral("/sys"), sysfs);
        // A link in front of the node, like /dev/serial0: it is its target that counts.
        const QString device = root.filePath(QStringLiteral("link"));
        if (!node.isEmpty()) {
            build(root.path(), {QStringLiteral("dev/%1=").arg(node)});
            QVERIFY(QFile::link(root.filePath(QStringLiteral("dev/") + node), device));
        }

        QList<PortInfo> ports(1);
        ports[0].port = 1;
        ports[0].device = device;
        lookUpDevicesIn(ports, root.path() + QStringLiteral("/sys"));
        QCOMPARE(portDetails(ports[0]), device + details);
        QCOMPARE(portSummary(ports[0]), QStringLiteral("COM1 (") + device + summary);
    }

    // A Raspberry Pi's /dev/serial0 and serial1 lead to whichever UART the model and
    // config.txt put there; an entry names the ones that lead to its device.
    void piLinks_data() {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QStringList>("links"); // in dev/
        QTest::addColumn<QStringList>("named");

        QTest::newRow("Pi 4: GPIO 14/15 on the mini UART")
            << "ttyS0" << QStringList{"serial0->ttyS0", "serial1->ttyAMA0"}
            << QStringList{"serial0"};
        QTest::newRow("Pi 4 with disable-bt")
            << "ttyAMA0" << QStringList{"serial0->ttyAMA0", "serial1->ttyS0"}
            << QStringList{"serial0"};
        QTest::newRow("Pi 5: serial0 on the debug connector")
            << "ttyAMA0" << QStringList{"serial0->ttyAMA10"} << QStringList{};
        QTest::newRow("both to one UART")
            << "ttyAMA0" << QStringList{"serial0->ttyAMA0", "serial1->ttyAMA0"}
            << QStringList{"serial0", "serial1"};
        QTest::newRow("dangling") << "ttyS0" << QStringList{"serial0->ttyS9"} << QStringList{};
    }

    void piLinks() {
        QFETCH(QString, node);
        QFETCH(QStringList, links);
        QFETCH(QStringList, named);
        QTemporaryDir root;
        const QString dev = root.filePath(QStringLiteral("dev"));
        QStringList entries{node + QLatin1Char('=')};
        for (const QString& link : links)
            entries.append(link);
        build(dev, entries);
        build(root.filePath(QStringLiteral("sys")), {"class/tty/" + node + "/type=4"});

        QList<PortInfo> ports(1);
        ports[0].device = dev + QLatin1Char('/') + node;
        lookUpDevicesIn(ports, root.filePath(QStringLiteral("sys")), dev);
        QStringList expected;
        for (const QString& name : named)
            expected.append(dev + QLatin1Char('/') + name);
        QCOMPARE(ports[0].links, expected);
        QCOMPARE(portDetails(ports[0]).contains(QStringLiteral("\nLinked as: ") +
                                                expected.join(QStringLiteral(", "))),
                 !named.isEmpty());
    }

    // The devices no entry reaches: serial ones only, in numeric order, with what is
    // known of them; an entry's device, reached through a link or not, is left out.
    void beyondTheList() {
        QTemporaryDir root;
        const QString usb = QStringLiteral("devices/pci0/usb1/1-3");
        build(root.path() + QStringLiteral("/sys"),
              {"class/tty/ttyUSB16/device->../../../" + usb + "/1-3:1.2",
               usb + "/1-3:1.2/bInterfaceNumber=02", usb + "/idVendor=2c7c",
               usb + "/manufacturer=Quectel", usb + "/product=EC25",
               "class/tty/ttyUSB2/device->../../../" + usb,
               "class/tty/ttyUSB0/device->../../../" + usb, "class/tty/ttyS4/type=4",
               "class/tty/ttyS4/device->../../../devices", "class/tty/ttyS5/type=0",
               "class/tty/ttyS5/device->../../../devices", "class/tty/rfcomm0/dev=216:0",
               "class/tty/tty1/dev=4:1", "class/tty/ptmx/dev=5:2",
               "class/tty/ttyACM3/device->../../../" + usb,
               // A Pi 5's debug UART, beyond ttyAMA0-3.
               "class/tty/ttyAMA10/device->../../../devices"});
        build(root.path(),
              {"dev/ttyUSB16=", "dev/ttyUSB2=", "dev/ttyUSB0=", "dev/ttyS4=", "dev/ttyS5=",
               "dev/rfcomm0=", "dev/tty1=", "dev/ptmx=", "dev/ttyAMA10="});
        QVERIFY(QFile::link(root.filePath(QStringLiteral("dev/ttyUSB0")),
                            root.filePath(QStringLiteral("modem"))));
        QList<PortInfo> entries(2);
        entries[0].device = root.filePath(QStringLiteral("dev/ttyUSB2"));
        entries[1].device = root.filePath(QStringLiteral("modem"));
        QStringList found;
        for (const PortInfo& info :
             devicesBeyondIn(entries, root.filePath(QStringLiteral("sys")), root.filePath("dev")))
            found.append(portDetails(info).replace(root.path(), QString()));
        QCOMPARE(found, (QStringList{"/dev/rfcomm0: device present",
                                     "/dev/ttyAMA10: device present", "/dev/ttyS4: device present",
                                     "/dev/ttyUSB16: device present\nManufacturer: Quectel\n"
                                     "Product: EC25\nUSB interface: 2"}));
    }

    // Who holds the line, which console shares it, whether ModemManager probes it: on
    // ttyUSB2 (188:2) for the holders and the daemon, ttyS0 (4:64) for the consoles.
    void lineUsers_data() {
        QTest::addColumn<QString>("tty");
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QString>("holder");
        QTest::addColumn<QString>("console");
        QTest::addColumn<bool>("modemManager");
        const QString usb = QStringLiteral("ttyUSB2");
        const QString uart = QStringLiteral("ttyS0");
        const QString option = QStringLiteral("sys/class/tty/ttyUSB2/device/driver->"
                                              "/sys/bus/usb-serial/drivers/option1");
        const QString candidate = QStringLiteral("udev/c188:2=E:ID_MM_CANDIDATE=1");
        const QString daemon = procStat(QStringLiteral("600"), QStringLiteral("ModemManager"));
        QTest::newRow("nobody") << usb << QStringList{} << ""
                                << "" << false;
        QTest::newRow("Qt's lock: the whole name beyond comm's 15 characters")
            << usb
            << QStringList{"lock/LCK..ttyUSB2=4242\ntarvex-open-probe\nbench",
                           procStat("4242", "tarvex-open-pro")}
            << "tarvex-open-probe (pid 4242)"
            << "" << false;
        QTest::newRow("UUCP lock: the PID alone, padded")
            << usb << QStringList{"lock/LCK..ttyUSB2=      4242", procStat("4242", "minicom")}
            << "minicom (pid 4242)"
            << "" << false;
        QTest::newRow("a dead PID's lock names nobody")
            << usb << QStringList{"lock/LCK..ttyUSB2=4242\nminicom\nbench"} << ""
            << "" << false;
        QTest::newRow("an open descriptor")
            << usb << QStringList{procStat("77", "picocom"), "proc/77/fd/3->/dev/ttyUSB2"}
            << "picocom (pid 77)"
            << "" << false;
        QTest::newRow("descriptors that cannot be read name nobody")
            << usb << QStringList{procStat("77", "picocom"), "proc/77/fd->/nonexistent/fd"} << ""
            << "" << false;
        QTest::newRow("ModemManager probing a modem")
            << usb << QStringList{daemon, candidate, option} << ""
            << "" << true;
        QTest::newRow("ModemManager not running") << usb << QStringList{candidate, option} << ""
                                                  << "" << false;
        QTest::newRow("ModemManager told to ignore the modem")
            << usb << QStringList{daemon, candidate + "\nE:ID_MM_DEVICE_IGNORE=1", option} << ""
            << "" << false;
        QTest::newRow("ModemManager told to ignore the port")
            << usb << QStringList{daemon, candidate + "\nE:ID_MM_PORT_IGNORE=1", option} << ""
            << "" << false;
        QTest::newRow("ModemManager leaves a bare adapter alone")
            << usb
            << QStringList{daemon, candidate,
                           "sys/class/tty/ttyUSB2/device/driver->/sys/bus/usb-serial/drivers/ch341"}
            << ""
            << "" << false;
        QTest::newRow("ModemManager on an adapter a rule hands it")
            << usb
            << QStringList{daemon, candidate + "\nE:ID_MM_DEVICE_PROCESS=1",
                           "sys/class/tty/ttyUSB2/device/driver->/sys/bus/usb-serial/drivers/ch341"}
            << ""
            << "" << true;
        QTest::newRow("a getty found by its terminal, named only as -")
            << uart
            << QStringList{procStat("812", "agetty", 4, 64),
                           "proc/812/cmdline=/sbin/agetty|-o|-p -- \\u|--keep-baud|115200|-|vt220"}
            << ""
            << "a login prompt (agetty, pid 812)" << false;
        QTest::newRow("a getty found by its arguments")
            << uart
            << QStringList{procStat("90", "getty"), "proc/90/cmdline=/sbin/getty|-L|ttyS0|115200"}
            << ""
            << "a login prompt (getty, pid 90)" << false;
        QTest::newRow("a getty on another line")
            << uart
            << QStringList{procStat("91", "agetty", 4, 1), "proc/91/cmdline=/sbin/agetty|tty1"}
            << ""
            << "" << false;
        QTest::newRow("the kernel's console, and a login prompt")
            << uart
            << QStringList{"sys/class/tty/console/active=tty1 ttyS0",
                           procStat("812", "agetty", 4, 64)}
            << ""
            << "a login prompt (agetty, pid 812) and the kernel writing its messages there"
            << false;
        QTest::newRow("the kernel's console elsewhere")
            << uart << QStringList{"sys/class/tty/console/active=tty1 ttyS1"} << ""
            << "" << false;
    }
    void lineUsers() {
        QFETCH(QString, tty);
        QFETCH(QStringList, tree);
        QFETCH(QString, holder);
        QFETCH(QString, console);
        QFETCH(bool, modemManager);
        QTemporaryDir root;
        build(root.path(), tree);
        const LineRoots roots{root.filePath("proc"),
                              root.filePath("sys"),
                              root.filePath("udev"),
                              {root.filePath("nolock"), root.filePath("lock")}};
        const bool usb = tty == QLatin1String("ttyUSB2");
        const QString device = QStringLiteral("/dev/") + tty;
        const TtyId id{device, device, tty, usb ? 188u : 4u, usb ? 2u : 64u};
        // At the open: who holds the line, and whether ModemManager would probe it.
        QCOMPARE(holderIn(id, roots), holder);
        QCOMPARE(modemManagerProbesIn(id, roots), modemManager);
        // In the list: the console on it, how to turn that off, and ModemManager again.
        QList<PortInfo> ports{testing::presentPort(1, device)};
        lookUpLineUsersIn(ports, roots, [&](const QString& named) {
            return named == device ? std::optional(id) : std::nullopt;
        });
        QCOMPARE(ports[0].console, console);
        QCOMPARE(ports[0].consoleFix.isEmpty(), console.isEmpty());
        QCOMPARE(ports[0].modemManagerProbes, modemManager);
    }

    // How to turn a console off: raspi-config on a Raspberry Pi, systemd elsewhere.
    void consoleFix() {
        QTemporaryDir root;
        const LineRoots roots{root.filePath("proc"), root.filePath("sys"), {}, {}};
        const TtyId id{"/dev/ttyS0", "/dev/ttyS0", "ttyS0", 4, 64};
        QVERIFY(
            consoleFixIn(id, roots).startsWith("sudo systemctl disable --now serial-getty@ttyS0"));
        build(root.path(), {"proc/device-tree/model=Raspberry Pi 4 Model B Rev 1.4"});
        QVERIFY(consoleFixIn(id, roots).startsWith("sudo raspi-config, Interface Options"));
    }

    // What a shell's PORT may be: a path, refused before any open only when it is
    // plainly no device; a missing one is the open's to report.
    void shellPort_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("device");
        QTest::addColumn<QString>("refused");
        QTest::newRow("a file") << "FILE" << true << "a file";
        QTest::newRow("a folder") << "/tmp" << true << "a folder";
        QTest::newRow("a character device") << "/dev/null" << true << QString();
        QTest::newRow("missing") << "/dev/tarvex-none" << true << QString();
        QTest::newRow("an entry's name") << "COM47" << false << QString();
    }
    void shellPort() {
        QFETCH(QString, path);
        QFETCH(bool, device);
        QFETCH(QString, refused);
        QTemporaryDir dir;
        if (path == QLatin1String("FILE")) {
            path = dir.filePath(QStringLiteral("file"));
            QFile(path).open(QIODevice::WriteOnly);
        }
        QCOMPARE(namesADevice(path), device);
        if (device)
            QCOMPARE(notASerialDevice(path), refused);
    }

    // brltty named only when it runs and an adapter it claims sits on usbfs.
    void adapterClaimed_data() {
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QString>("named"); // the start of the line; empty: none
        const QString ch340 = QStringLiteral("sys/bus/usb/devices/1-3");
        const QStringList adapter{ch340 + "/idVendor=1a86", ch340 + "/idProduct=7523",
                                  ch340 + ":1.0/driver->/sys/bus/usb/drivers/usbfs"};
        const QString brltty = procStat(QStringLiteral("901"), QStringLiteral("brltty"));
        QTest::newRow("brltty holds a CH340")
            << adapter + QStringList{brltty}
            << "brltty (pid 901), the Braille display driver, has taken the USB serial adapter "
               "1a86:7523 (CH340)";
        QTest::newRow("CH340 on usbfs, no brltty") << adapter << "";
        QTest::newRow("brltty, the CH340 on its serial driver")
            << QStringList{ch340 + "/idVendor=1a86", ch340 + "/idProduct=7523",
                           ch340 + ":1.0/driver->/sys/bus/usb/drivers/ch341", brltty}
            << "";
        QTest::newRow("brltty, another device on usbfs")
            << QStringList{ch340 + "/idVendor=2c7c", ch340 + "/idProduct=0125",
                           ch340 + ":1.0/driver->/sys/bus/usb/drivers/usbfs", brltty}
            << "";
        QTest::newRow("brltty holds a CP210x")
            << QStringList{"sys/bus/usb/devices/3-1.2/idVendor=10c4",
                           "sys/bus/usb/devices/3-1.2/idProduct=ea60",
                           "sys/bus/usb/devices/3-1.2:1.0/driver->/sys/bus/usb/drivers/usbfs",
                           brltty}
            << "brltty (pid 901), the Braille display driver, has taken the USB serial adapter "
               "10c4:ea60 (CP210x)";
    }

    void adapterClaimed() {
        QFETCH(QStringList, tree);
        QFETCH(QString, named);
        QTemporaryDir root;
        build(root.path(), tree);
        const QString line =
            adapterClaimedIn(LineRoots{root.filePath("proc"), root.filePath("sys"), {}, {}});
        QVERIFY2(named.isEmpty() ? line.isEmpty() : line.startsWith(named), qPrintable(line));
    }

    // The list as the program reads it: a pseudo-terminal and a missing device on
    // two entries, whatever this machine has on the others.
    void systemDirectory() {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
        const QString pty = QString::fromLocal8Bit(::ptsname(master));
        qputenv("TARVEX_COM5", pty.toLocal8Bit());
        qputenv("TARVEX_COM6", "/dev/tarvex-no-such-device");
        const QList<PortInfo> ports = SystemPortDirectory().ports();
        qunsetenv("TARVEX_COM5");
        qunsetenv("TARVEX_COM6");
        ::close(master);

        QCOMPARE(ports.size(), 40);
        QCOMPARE(ports[4].port, 5);
        QCOMPARE(portDetails(ports[4]), pty + QStringLiteral(": device present"));
        QCOMPARE(ports[5].port, 6);
        QCOMPARE(portDetails(ports[5]),
                 QStringLiteral("/dev/tarvex-no-such-device: no device present"));
        QCOMPARE(ports[20].device, QStringLiteral("/dev/ttyACM0"));
    }
};

QTEST_GUILESS_MAIN(TestPortNamesUnix)
#include "tst_port_names_unix.moc"
