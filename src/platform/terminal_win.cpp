#include "terminal.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <windows.h>

namespace tarvex::terminal {
namespace {

std::atomic<int> interruptions{0};
QPointer<QObject> handlerContext;
std::function<void()> interruptHandler;

// Runs on a thread of its own, which Windows starts for the console's event.
BOOL WINAPI onConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        if (interruptions.fetch_add(1) > 0)
            std::_Exit(kInterruptedExit);
        if (handlerContext)
            QMetaObject::invokeMethod(
                handlerContext, [] { interruptHandler(); }, Qt::QueuedConnection);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

void onInterrupt(QObject* context, std::function<void()> handler) {
    handlerContext = context;
    interruptHandler = std::move(handler);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool interrupted() {
    return interruptions.load() > 0;
}

// tarvex.exe is a program with a window: started from a console it has none of its
// own, so its lines would go nowhere. Where they are not redirected, they go to the
// console it was started from.
void attach() {
    if (GetStdHandle(STD_OUTPUT_HANDLE) && GetStdHandle(STD_ERROR_HANDLE))
        return;
    if (!AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (!GetStdHandle(STD_OUTPUT_HANDLE))
        std::freopen("CONOUT$", "w", stdout);
    if (!GetStdHandle(STD_ERROR_HANDLE))
        std::freopen("CONOUT$", "w", stderr);
}

QString missingDisplay() {
    return {};
}

} // namespace tarvex::terminal
