#pragma once
// What tarvex --scan prints: one line per port with its verdict, then how to reach the
// modem it found; or the same as JSON, one object per port.

#include "modem/port_scan.h"

#include <QList>
#include <QString>

namespace tarvex {

// One port of a scan and what became of it.
struct ScannedPort {
    PortInfo info; // the device, its by-id link and USB details
    QString entry; // "COM7" where an entry of the list reaches it; else empty
    QString skip;  // why it was left alone; empty: it was probed
    ProbeResult probe;
};

// The port answered AT: OK, or ERROR, which an AT port gives all the same.
bool answered(const ScannedPort& port);
// "GSM Modem OK", "GSM Modem OK at 115200 baud", "not a modem: ...", "skipped: ...".
QString scanVerdict(const ScannedPort& port);

// The table, with a heading, one line per port in the order given, then what to do.
QString scanText(const QList<ScannedPort>& ports, bool all);
QString scanJson(const QList<ScannedPort>& ports);

} // namespace tarvex
