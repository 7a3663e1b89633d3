#include "serial_platform.h"

#include <QMetaMethod>
#include <cstdio>
#include <utility>
#include <windows.h>

namespace tarvex::serial_platform {
namespace {

// What drivers answer on a handle whose device is gone: a USB adapter pulled fails
// with any of these, depending on the driver. ERROR_NOT_READY is Wine's for a
// terminal whose other end has closed (EIO).
bool isLossCode(DWORD code) {
    switch (code) {
    case ERROR_NOT_READY:
    case ERROR_DEVICE_REMOVED:
    case ERROR_BAD_COMMAND:
    case ERROR_ACCESS_DENIED:
    case ERROR_OPERATION_ABORTED:
    case ERROR_INVALID_HANDLE:
        return true;
    default:
        return false;
    }
}

enum class LineAnswer { Set, Unsupported, Failed };

LineAnswer setLine(HANDLE handle, DWORD function) {
    if (::EscapeCommFunction(handle, function))
        return LineAnswer::Set;
    const DWORD code = ::GetLastError();
    return code == ERROR_NOT_SUPPORTED || code == ERROR_INVALID_FUNCTION ? LineAnswer::Unsupported
                                                                         : LineAnswer::Failed;
}

} // namespace

// Windows has no permission bits on a COM port, and asking whether one exists
// means opening it; the open itself answers.
std::optional<OpenFailure> checkBeforeOpen(const QString&) {
    return std::nullopt;
}

// Windows opens a COM port for one program at a time, and only an administrator's
// handle search could tell which program that is.
Holder holderOf(const QString& device) {
    return {QStringLiteral("Another program has %1 open").arg(device), {}};
}

// Windows tells who holds a COM port to nobody; its open says the port is taken.
QString holderBeforeOpen(const QString&) {
    return {};
}

// ResourceError stands for ERROR_DEVICE_REMOVED, ERROR_BAD_COMMAND,
// ERROR_OPERATION_ABORTED and ERROR_INVALID_HANDLE; ERROR_ACCESS_DENIED from a
// completed read or write arrives as PermissionError, which an open port cannot
// otherwise raise.
bool isLossError(QSerialPort::SerialPortError error) {
    return error == QSerialPort::ResourceError || error == QSerialPort::PermissionError;
}

// A read or write error keeps only the system's text; the driver is asked again
// for the code.
bool hungUp(const QSerialPort& port) {
    DWORD errors = 0;
    COMSTAT status{};
    return !::ClearCommError(port.handle(), &errors, &status) && isLossCode(::GetLastError());
}

// A pulled adapter fails the read that Qt Serial Port always has pending, with one
// of the codes above: the error says it.
std::unique_ptr<QObject> watchLine(const QSerialPort&, std::function<void()>) {
    return nullptr;
}

// Qt Serial Port's Windows backend collects its completed reads, writes and waits
// for serial events on a thread of its own, and hands them to the port's thread
// with a queued signal, except while that thread is inside one of QSerialPort's
// waitFor* calls: then the call takes them itself, one at a time, until the one it
// waits for. A completion queued just behind that one (the modem echoing what was
// just written, or answering at once) is left with no signal on its way. Until a
// later write happens to collect it, nothing is read and nothing waits for the
// modem's next characters: an OK sent at once goes unseen, and the modem test ends
// in "Modem Not Found". (Qt 6.8, QWinOverlappedIoNotifier.) The notifier's own slot
// delivers everything queued; without such a child, as on a Qt that works
// otherwise, nothing is done. A notifier without that slot is a Qt that renamed it:
// said once on stderr as a fault, which the end-to-end run under Wine fails on.
void afterBlockingWait(QSerialPort& port) {
    for (QObject* child : port.children()) {
        if (!child->inherits("QWinOverlappedIoNotifier"))
            continue;
        if (child->metaObject()->indexOfMethod("_q_notified()") >= 0) {
            QMetaObject::invokeMethod(child, "_q_notified", Qt::DirectConnection);
            continue;
        }
        static bool said = false;
        if (!std::exchange(said, true)) {
            std::fprintf(stderr, "tarvex-fault QWinOverlappedIoNotifier has no _q_notified() "
                                 "slot: answers sent at once may go unseen\n");
            std::fflush(stderr);
        }
    }
}

// Virtual COM ports, Bluetooth serial links and Wine's pseudo-terminals refuse
// RTS and DTR with ERROR_NOT_SUPPORTED or ERROR_INVALID_FUNCTION. QSerialPort
// keeps only the text, so the lines are set once more to read the code; if that
// now succeeds for both, what failed was something else, and that is a fault.
bool modemLinesUnsupported(const QSerialPort& port, const QString&, bool rts, bool dtr) {
    const LineAnswer answers[] = {setLine(port.handle(), rts ? SETRTS : CLRRTS),
                                  setLine(port.handle(), dtr ? SETDTR : CLRDTR)};
    bool unsupported = false;
    for (const LineAnswer answer : answers) {
        if (answer == LineAnswer::Failed)
            return false;
        unsupported = unsupported || answer == LineAnswer::Unsupported;
    }
    return unsupported;
}

} // namespace tarvex::serial_platform
