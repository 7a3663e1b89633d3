#pragma once
// Who else is on a serial line on Linux: a program holding the port, a modem daemon
// that probes it, a console on it. Only files any user may read are read, and nothing
// is opened but them; the roots are parameters so a test can hand it trees of its own.

#include "port_names.h"

#include <QStringList>
#include <functional>
#include <optional>

namespace tarvex {

struct LineRoots {
    QString proc = QStringLiteral("/proc");
    QString sys = QStringLiteral("/sys");
    QString udev = QStringLiteral("/run/udev/data");
    // Where Qt Serial Port (and UUCP-style terminal programs) put a port's lock file.
    QStringList lockFolders = {QStringLiteral("/var/lock"),
                               QStringLiteral("/etc/locks"),
                               QStringLiteral("/var/spool/locks"),
                               QStringLiteral("/var/spool/uucp"),
                               QStringLiteral("/tmp"),
                               QStringLiteral("/var/tmp"),
                               QStringLiteral("/var/lock/lockdev"),
                               QStringLiteral("/run/lock")};
};

// A terminal device as the kernel knows it.
struct TtyId {
    QString path;       // as the operator's entry names it
    QString canonical;  // links resolved
    QString kernelName; // "ttyS0", as consoles and udev name it
    unsigned major = 0;
    unsigned minor = 0;
};
std::optional<TtyId> ttyId(const QString& device);

// "minicom (pid 4242)": the live process in the device's lock file, else one whose
// open files include it; empty when none can be seen.
QString holderIn(const TtyId& tty, const LineRoots& roots);
// ModemManager runs and would probe the device: a candidate on a USB modem driver
// that no rule tells it to ignore.
bool modemManagerProbesIn(const TtyId& tty, const LineRoots& roots);
// How to turn a console on the line off, on a Raspberry Pi or elsewhere.
QString consoleFixIn(const TtyId& tty, const LineRoots& roots);

// "brltty (pid 901) has taken the USB serial adapter 1a86:7523 (CH340) ...": the
// Braille display driver runs and holds an adapter of the kinds it claims; empty
// otherwise.
QString adapterClaimedIn(const LineRoots& roots);

// Which terminal a device is; ttyId() for the system's own, a test's stand-in for
// devices this machine does not have.
using TtyLookup = std::function<std::optional<TtyId>(const QString& device)>;

// Fills in the console and ModemManager fields of each present entry: the console
// "a login prompt (agetty, pid 812)", "the kernel writing its messages there", both,
// or empty, and then how to turn it off.
void lookUpLineUsersIn(QList<PortInfo>& ports, const LineRoots& roots,
                       const TtyLookup& ttyOf = ttyId);

} // namespace tarvex
