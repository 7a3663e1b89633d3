#pragma once
// Which device stands behind "COM<n>".

#include <QString>

namespace tarvex {

constexpr int kFirstPort = 1;
constexpr int kLastPort = 40;

QString comName(int port);

// TARVEX_COM<n> when set, else the platform's own name for the port.
// Throws SerialError(InvalidPort) for a port outside 1..40.
QString deviceForPort(int port);

// "COM3 (/dev/ttyS2)", or just "COM0" for a port that has no device.
QString describePort(int port);

} // namespace tarvex
