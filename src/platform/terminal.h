#pragma once
// What a run from a shell needs of the operating system: the interrupt keys and
// signals, the terminal's output, and whether a window could be shown at all. One
// implementation per platform (terminal_unix.cpp, terminal_win.cpp), chosen by CMake.

#include <QString>
#include <functional>

class QObject;

namespace tarvex::terminal {

// The exit status of a run that was interrupted, as shells give it for SIGINT.
constexpr int kInterruptedExit = 130;

// Ctrl-C (and on Linux SIGTERM and SIGHUP): the first makes interrupted() true and
// calls `handler` from the event loop of `context`'s thread; the second ends the
// process at once with kInterruptedExit.
void onInterrupt(QObject* context, std::function<void()> handler);
bool interrupted();
// The run has closed its port and its log: an interrupt now has nothing to stop, and
// a console being closed (Windows) may end the process.
void runEnded();

// Makes standard output and error reach the terminal the program was started from,
// where the system does not do it by itself (a Windows program with a window).
void attach();

// A peer that hangs up (an X server that turns the window away, a reader that went)
// makes the write to it fail rather than end the process.
void keepGoingOnBrokenPipe();

// Why no window can be shown: empty when a display can be reached, or when the
// system has no such question (Windows).
QString missingDisplay();

} // namespace tarvex::terminal
