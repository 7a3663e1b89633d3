#include "terminal.h"

#include <QMetaObject>
#include <QObject>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <windows.h>

namespace tarvex::terminal {
namespace {

std::atomic<int> interruptions{0};
// The console's thread reads these while the run may be ending on its own.
std::mutex handlerLock;
QObject* handlerContext = nullptr;
std::function<void()> interruptHandler;
// Set once the run has closed its port and its log.
const HANDLE runOver = CreateEventW(nullptr, TRUE, FALSE, nullptr);

void callHandler() {
    std::function<void()> handler;
    {
        const std::lock_guard hold(handlerLock);
        handler = interruptHandler;
    }
    if (handler)
        handler();
}

// Runs on a thread of its own, which Windows starts for the console's event.
BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    if (interruptions.fetch_add(1) > 0)
        std::_Exit(kInterruptedExit);
    {
        const std::lock_guard hold(handlerLock);
        if (handlerContext)
            QMetaObject::invokeMethod(handlerContext, callHandler, Qt::QueuedConnection);
    }
    // A closed console ends the process as soon as this returns (five seconds at the
    // latest): the run gets four of them to take the SMS back and close its log.
    if (event == CTRL_CLOSE_EVENT)
        WaitForSingleObject(runOver, 4000);
    return TRUE;
}

} // namespace

void onInterrupt(QObject* context, std::function<void()> handler) {
    {
        const std::lock_guard hold(handlerLock);
        handlerContext = context;
        interruptHandler = std::move(handler);
    }
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool interrupted() {
    return interruptions.load() > 0;
}

void runEnded() {
    {
        const std::lock_guard hold(handlerLock);
        handlerContext = nullptr;
        interruptHandler = nullptr;
    }
    SetEvent(runOver);
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

// Windows has no SIGPIPE: a write to a closed pipe fails by itself.
void keepGoingOnBrokenPipe() {}

QString missingDisplay() {
    return {};
}

} // namespace tarvex::terminal
