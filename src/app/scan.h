#pragma once
// tarvex --scan: every candidate port probed at once for an AT answer, from a shell.

namespace tarvex {
struct ScanRequest;
}

namespace tarvex::scan {

// Runs `request`: 0 when a modem answered, 1 when none did, 130 interrupted (every
// port closed). Call with the QCoreApplication made.
int run(const ScanRequest& request);

} // namespace tarvex::scan
