#pragma once
// tarvex --check and --send: the modem dialogue driven from a shell, with no display.
// The message boxes become lines on the terminal and the verdict an exit status.

namespace tarvex {
struct ShellRequest;
}

namespace tarvex::shell {

// The exit statuses, the same on every system.
enum Exit : int {
    kDone = 0,         // "GSM Modem OK", "SMS Send"
    kModemSaidNo = 1,  // "Modem Not Found", "SMS Not Sent: ..."
    kPortFailed = 2,   // the port could not be opened, or failed while in use
    kUsage = 64,       // a wrong command line or input: nothing opened, nothing sent
    kInterrupted = 130 // Ctrl-C or SIGTERM
};

// Runs `request`; the exit status. Call with the QCoreApplication made.
int run(const ShellRequest& request);

} // namespace tarvex::shell
