#pragma once
// What may be carried in a text-mode SMS command. A quote in the number, or a
// control character in either text, would end the command early and turn the
// rest into commands of its own.

#include <QString>

namespace tarvex {

// What the number box starts with, and returns to once an SMS has gone.
inline const QString kNumberPrefix = QStringLiteral("+91");

// The longest destination an SMS can carry: 20 digits (3GPP TS 23.040, TP-DA), and
// the leading "+" of an international number. Anything longer is a slip of the
// clipboard, and sending it, paced character by character, would hold the window.
inline constexpr qsizetype kMaxMobileNumberLength = 21;

bool isValidMobileNumber(const QString& number);
bool isValidSmsBody(const QString& body);

} // namespace tarvex
