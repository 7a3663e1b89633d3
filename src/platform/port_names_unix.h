#pragma once
// The Unix lookup of the list's devices, with the sysfs root as a parameter so a
// test can hand it a tree of its own.

#include "port_names.h"

namespace tarvex {

// `dev` is where the device nodes are (/dev); links there such as serial0 are named.
void lookUpDevicesIn(QList<PortInfo>& ports, const QString& sysfs,
                     const QString& dev = QStringLiteral("/dev"));
// `dev` is where the device nodes are (/dev).
QList<PortInfo> devicesBeyondIn(const QList<PortInfo>& entries, const QString& sysfs,
                                const QString& dev);

} // namespace tarvex
