#pragma once
// The characters that frame what goes to the modem.

#include <QString>

namespace tarvex {

// Ends every command.
inline const QString kCrLf = QStringLiteral("\r\n");
// Ends an SMS body in text mode; in an answer it can only be an echo of one.
inline constexpr QChar kCtrlZ = QChar(26);
// Abandons an SMS body in text mode instead: the modem sends nothing.
inline constexpr QChar kEscape = QChar(27);
// V.250's command line editing: deletes the character before it (S5); a CR alone
// (S3) ends a line.
inline constexpr QChar kBackspace = QChar(8);
inline constexpr QChar kCarriageReturn = QChar(13);

} // namespace tarvex
