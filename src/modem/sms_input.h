#pragma once
// What may be carried in a text-mode SMS command. A quote in the number, or a
// control character in either text, would end the command early and turn the
// rest into commands of its own.

#include <QString>
#include <optional>

namespace tarvex {

// What the number box starts with, and returns to once an SMS has gone.
inline const QString kNumberPrefix = QStringLiteral("+91");

// The longest destination an SMS can carry: 20 digits (3GPP TS 23.040, TP-DA), and
// the leading "+" of an international number. Anything longer is a slip of the
// clipboard, and sending it, paced character by character, would hold the window.
inline constexpr qsizetype kMaxMobileNumberLength = 21;

// The most the message box takes; what reaches the modem some other way is held to it too.
inline constexpr qsizetype kMaxSmsBodyLength = 34;

bool isValidMobileNumber(const QString& number);
bool isValidSmsBody(const QString& body);

// What is wrong with the number or the text, in the words the operator is shown, in
// the order they are checked; nothing when both may be sent.
std::optional<QString> smsInputProblem(const QString& number, const QString& body);

} // namespace tarvex
