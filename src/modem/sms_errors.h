#pragma once

#include <QString>
#include <span>

namespace tarvex {

// A code the operator is given words for, and the words.
struct SmsErrorWords {
    int code;
    const char* words;
};

// Every code with words of its own: the "+CMS ERROR" table (network = true) or the
// "+CME ERROR" one. smsErrorText() reads its words from here, and nowhere else.
std::span<const SmsErrorWords> smsErrorTable(bool network);

// The operator's words for a "+CMS ERROR: <n>" (network = true) or
// "+CME ERROR: <n>" answer; the modem's own text when it sent words instead.
QString smsErrorText(bool network, const QString& code);

} // namespace tarvex
