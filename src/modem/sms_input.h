#pragma once
// What may be carried in a text-mode SMS command. A quote in the number, or a
// control character in either text, would end the command early and turn the
// rest into commands of its own.

#include <QString>

namespace tarvex {

bool isValidMobileNumber(const QString& number);
bool isValidSmsBody(const QString& body);

} // namespace tarvex
