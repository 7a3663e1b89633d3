#pragma once

#include <QString>

namespace tarvex {

// The operator's words for a "+CMS ERROR: <n>" (network = true) or
// "+CME ERROR: <n>" answer; the modem's own text when it sent words instead.
QString smsErrorText(bool network, const QString& code);

} // namespace tarvex
