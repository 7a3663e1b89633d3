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

std::optional<QString> smsInputProblem(const QString& number, const QString& body) {
    if (number.isEmpty())
        return QStringLiteral("Enter Mobile Number");
    if (body.isEmpty())
        return QStringLiteral("Enter SMS Data");
    if (!isValidMobileNumber(number))
        return QStringLiteral("Invalid Mobile Number");
    if (number.size() > kMaxMobileNumberLength)
        return QStringLiteral("Invalid Mobile Number: %1 characters, at most %2 fit in an SMS (20 "
                              "digits and a leading +)")
            .arg(number.size())
            .arg(kMaxMobileNumberLength);
    if (!isValidSmsBody(body))
        return QStringLiteral("Invalid SMS Data");
    if (body.size() > kMaxSmsBodyLength)
        return QStringLiteral("Invalid SMS Data: %1 characters, at most %2 are sent")
            .arg(body.size())
            .arg(kMaxSmsBodyLength);
    return std::nullopt;
}

} // namespace tarvex
