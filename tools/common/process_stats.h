#pragma once
// What the soak driver and the benchmark read about a running process.

#include <QtGlobal>

namespace tarvex::tools {

// Resident memory (VmRSS) of a process in KiB, or -1 when it cannot be read.
long residentKiB(qint64 pid);
long residentKiB(); // this process

} // namespace tarvex::tools
