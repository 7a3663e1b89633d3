#pragma once
// The window's start: the splash, then the main window, for the rest of the run. One
// implementation per build (window_start.cpp; window_absent.cpp where Tarvex is built
// without a window), chosen by CMake.

namespace tarvex {

struct WindowRequest;

// Runs the window until the operator quits; the exit status. `argc` and `argv` go to
// the QApplication, which takes Qt's own options from them.
int runWindow(int& argc, char** argv, const WindowRequest& request);

} // namespace tarvex
