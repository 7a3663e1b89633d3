#pragma once
// Reads the modem's answer to an SMS submission, line by line, and decides
// whether the message was accepted.

#include <QString>
#include <optional>

namespace tarvex {

struct SmsOutcome {
    bool accepted = false;
    QString reason; // why it was refused, in the operator's words
};

// What one answer line says about the submission.
struct AnswerLine {
    enum class Kind { Other, Accepted, Refused } kind = Kind::Other;
    QString reason;
};
AnswerLine classifyAnswerLine(const QString& line);

class SmsAnswerReader {
public:
    // Starts listening; the echo of the body is never taken for an answer.
    void start(const QString& body);
    // Ends listening without an outcome.
    void stop();
    bool active() const { return active_; }

    // Feeds received text. Returns the outcome once, for the line that decides it;
    // after that the reader is inactive and ignores everything.
    std::optional<SmsOutcome> feed(const QString& received);

private:
    std::optional<SmsOutcome> endLine();

    bool active_ = false;
    bool overlong_ = false;
    QString body_;
    QString line_;
};

} // namespace tarvex
