#pragma once
// tarvex --check and --send: the modem dialogue driven from a shell, with no display.
// The message boxes become lines on the terminal and the verdict an exit status.

namespace tarvex::shell {

// The exit statuses, the same on every system.
enum Exit : int {
    kDone = 0,         // "GSM Modem OK", "SMS Send"
    kModemSaidNo = 1,  // "Modem Not Found", "SMS Not Sent: ..."
    kPortFailed = 2,   // the port could not be opened, or failed while in use
    kUsage = 64,       // a wrong command line or input: nothing opened, nothing sent
    kInterrupted = 130 // Ctrl-C or SIGTERM
};

// True when the command line asks for --check or --send.
bool requested(int argc, char** argv);

// Reads the command line and runs it; the exit status. Call with the
// QCoreApplication made.
int run();

} // namespace tarvex::shell
