#include "sms_answer.h"

#include "line_characters.h"
#include "sms_errors.h"

#include <QRegularExpression>

namespace tarvex {
namespace {

// No answer line of a modem comes near this; longer ones are noise and are
// dropped rather than collected without bound.
constexpr qsizetype kMaxLineLength = 256;

} // namespace

AnswerLine classifyAnswerLine(const QString& raw) {
    const QString line = raw.trimmed();
    static const QRegularExpression accepted(QStringLiteral(R"(^\+CMGS:\s*\d+(\s*,.*)?$)"));
    static const QRegularExpression refused(QStringLiteral(R"(^\+(CMS|CME) ERROR:\s*(.*)$)"));
    if (accepted.match(line).hasMatch())
        return {AnswerLine::Kind::Accepted, {}};
    if (line == QLatin1String("ERROR"))
        return {AnswerLine::Kind::Refused, QStringLiteral("the modem answered ERROR")};
    if (const auto m = refused.match(line); m.hasMatch()) {
        const bool network = m.captured(1) == QLatin1String("CMS");
        return {AnswerLine::Kind::Refused, smsErrorText(network, m.captured(2).trimmed())};
    }
    return {};
}

void SmsAnswerReader::start(const QString& body) {
    active_ = true;
    overlong_ = false;
    body_ = body;
    line_.clear();
}

void SmsAnswerReader::stop() {
    active_ = false;
    line_.clear();
}

std::optional<SmsOutcome> SmsAnswerReader::feed(const QString& received) {
    for (const QChar c : received) {
        if (!active_)
            return std::nullopt;
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (auto outcome = endLine())
                return outcome;
            continue;
        }
        if (line_.size() >= kMaxLineLength) {
            overlong_ = true;
            continue;
        }
        line_.append(c);
    }
    return std::nullopt;
}

std::optional<SmsOutcome> SmsAnswerReader::endLine() {
    const QString line = line_;
    const bool overlong = overlong_;
    line_.clear();
    overlong_ = false;
    // The echo of what we sent sits on the prompt line ("> " body Ctrl-Z) or, from a
    // modem without a prompt, on a line of its own: never an answer.
    if (overlong || line.contains(kCtrlZ) || line.startsWith(QLatin1Char('>')) ||
        line.trimmed() == body_.trimmed())
        return std::nullopt;
    const AnswerLine answer = classifyAnswerLine(line);
    if (answer.kind == AnswerLine::Kind::Other)
        return std::nullopt;
    stop();
    return SmsOutcome{answer.kind == AnswerLine::Kind::Accepted, answer.reason};
}

} // namespace tarvex
