#pragma once
// The paced transmitter: a text goes out one character at a time, each followed by
// the character pause, the only flow control on a line without handshaking.

#include "platform/modFunctions.h"
#include "platform/serial_control.h"

#include <QString>

namespace tarvex {

// Writes `text` to `line` character by character with kCharacterPause after each,
// the last one included. `pause` may stop the run before any write or after any
// pause (by throwing); `sent`, when given, counts the characters out so far. A text
// longer than a 16-bit count is refused before anything of it is sent
// (std::length_error).
void sendPaced(SerialControl& line, Pause& pause, const QString& text, qsizetype* sent = nullptr);

} // namespace tarvex
