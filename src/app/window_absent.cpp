// A Tarvex built without a window: the shell's commands are all it has.

#include "command_line.h"
#include "window.h"

#include <cstdio>

namespace tarvex {

// TARVEX_WINDOW_ELSEWHERE, from the build, says where the window is to be had: another
// package on Linux, the program beside this one on Windows.
int runWindow(int&, char**, const WindowRequest&) {
    std::fputs("tarvex: this Tarvex has no window; " TARVEX_WINDOW_ELSEWHERE ". From here:\n"
               "  tarvex --check PORT [--tries N]     tests the modem on PORT\n"
               "  tarvex --send PORT NUMBER \"TEXT\"    sends an SMS through it\n"
               "  tarvex --status PORT                tells whether an SMS can go from it\n"
               "See 'tarvex --help'.\n",
               stderr);
    return 1;
}

} // namespace tarvex
