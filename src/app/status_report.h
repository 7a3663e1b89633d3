#pragma once
// What tarvex --status hands over at its end, in the format asked for: to a person,
// to a script (json), to a monitoring plugin's caller (nagios), to node_exporter's
// textfile collector (prometheus); and how it reaches standard output or a file.

#include "command_line.h"
#include "modem/readiness_report.h"

#include <QString>
#include <chrono>

namespace tarvex {

struct StatusOutcome {
    int exit = 0;
    QString report; // for standard output or --output; empty: nothing to hand over
};

// The modem answered every query (or said it could not).
StatusOutcome statusOf(const ShellRequest& request, const Findings& findings,
                       std::chrono::milliseconds duration);
// The modem gave no OK to the test.
StatusOutcome statusWithoutModem(const ShellRequest& request, std::chrono::milliseconds duration);
// The run ended without a verdict with `shellExit` (the port failed, the time ran out):
// `why` says so, as a plugin's UNKNOWN under --format nagios.
StatusOutcome statusWithoutVerdict(const ShellRequest& request, int shellExit, const QString& why);

// `report` to standard output, or to --output whole or not at all: a temporary file
// in the same folder, renamed over the old one. Empty when done, else why not.
QString deliverReport(const ShellRequest& request, const QString& report);

} // namespace tarvex
