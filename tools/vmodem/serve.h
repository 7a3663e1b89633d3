#pragma once

#include "options.h"
#include "pty.h"

#include <cstdio>

namespace tarvex::vmodem {

// Runs the modem on the pty until stopFd becomes readable or the device
// vanishes. Blocks in poll() whenever there is nothing to do. `stamps` (may be
// null) gets every byte received and written, with its time.
void serve(const Options& options, Pty& pty, std::FILE* log, std::FILE* stamps, int stopFd);

} // namespace tarvex::vmodem
