#pragma once
// Opening a port with the line's one fixed configuration.

#include "platform/serial_control.h"

namespace tarvex {

// The window's line speed, and every program's unless told otherwise.
constexpr int kLineSpeed = 9600;

// `speed` baud (9600 unless told), no parity, 8 data bits, 1 stop bit, no
// handshaking, RTS on, one character per read and a notification for each. Every
// setting is written before the open, in this order. Throws SerialError as the
// control does.
void openWithLineSettings(SerialControl& line, qint16 port, int speed = kLineSpeed);

} // namespace tarvex
