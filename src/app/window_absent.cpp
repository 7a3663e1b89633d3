// A Tarvex built without a window: the shell's commands are all it has.

#include "command_line.h"
#include "window.h"

#include <cstdio>

namespace tarvex {

int runWindow(int&, char**, const WindowRequest&) {
    std::fputs("tarvex: this Tarvex has no window; the package tarvex has it. From here:\n"
               "  tarvex --check PORT [--tries N]     tests the modem on PORT\n"
               "  tarvex --send PORT NUMBER \"TEXT\"    sends an SMS through it\n"
               "See 'tarvex --help'.\n",
               stderr);
    return 1;
}

} // namespace tarvex
