#include "sms_input.h"

#include <algorithm>

namespace tarvex {
namespace {

bool isPrintableAscii(QChar c) {
    return c.unicode() >= 0x20 && c.unicode() <= 0x7E;
}

} // namespace

bool isValidMobileNumber(const QString& number) {
    return std::all_of(number.begin(), number.end(),
                       [](QChar c) { return isPrintableAscii(c) && c != QLatin1Char('"'); });
}

bool isValidSmsBody(const QString& body) {
    return std::all_of(body.begin(), body.end(), isPrintableAscii);
}

} // namespace tarvex
