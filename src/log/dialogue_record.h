#pragma once
// The serial dialogue as lines a person can read: each command as it was sent, what
// came back gathered at its line ends, and what happened in between, each with its
// time. The destination number and the message text are masked, unless the operator
// asked otherwise, wherever they show up and however the modem's echo is split.

#include <QByteArray>
#include <QString>
#include <chrono>
#include <functional>
#include <vector>

namespace tarvex {

// Time since the session started.
using LogTime = std::chrono::microseconds;

// Printable ASCII as is; <CR>, <LF>, <SUB>, <ESC>; any other byte <xNN>.
QString escapedLineBytes(const QByteArray& bytes);
// "+91########10": the "+" and country code as typed, then only the last two digits.
QString maskedNumber(const QString& number);
// "<text: 22 characters>".
QString maskedText(qsizetype length);

class DialogueRecord {
public:
    // Receives each finished line, without its line end.
    using Sink = std::function<void(const QString& line)>;

    // Received bytes further apart than this are not one line: a prompt such as "> "
    // has no line end of its own.
    static constexpr LogTime kQuietGap = std::chrono::milliseconds(50);
    // A longer run without a line end (noise, a flood) is split into lines this long.
    static constexpr qsizetype kLongestLine = 256;
    // The longest run of bytes that says what comes next (AT+CMGS=").
    static constexpr qsizetype kLongestAnchor = 9;

    DialogueRecord(Sink sink, bool maskPersonalData);

    void sent(char byte, LogTime at);
    void received(char byte, LogTime at);
    void note(const QString& text, LogTime at);
    // From here until endSms() the number and the text are masked in each direction:
    // as sent, and in the modem's echo. Where the dialogue puts them (after
    // AT+CMGS=" the number; after the command's line end, or the modem's "> ", the
    // text) every byte that belongs to them is masked, also when the line is cut short
    // or goes on after a note; elsewhere a whole one is masked once.
    void beginSms(const QString& number, const QString& text);
    void endSms();
    // Writes out whatever is still open; the record can go on afterwards.
    void finish();

private:
    struct Secret {
        QByteArray bytes;
        QString mask;
        bool isNumber = false;
        bool seen = false;
    };
    struct Direction {
        Direction(const char* kind, bool isReceived)
            : arrow(kind)
            , received(isReceived) {}
        const char* arrow;
        bool received;
        std::vector<Secret> secrets;
        QByteArray held; // bytes that may be the start of a secret
        std::vector<LogTime> heldTimes;
        // The secret whose place in the dialogue has come: `at` of its bytes are in,
        // `collected` of them not yet written; `cut` once part of it has been.
        const Secret* inside = nullptr;
        qsizetype at = 0;
        qsizetype collected = 0;
        LogTime collectedFrom{}, collectedTo{};
        bool cut = false;
        bool numberWhole = false; // the number has just gone by: the text is next
        QByteArray recent;        // the last bytes outside a secret, for its place
        QString text;
        LogTime first{}, last{};
        qsizetype length = 0;
        bool hasContent = false;
        bool endsInCr = false;
        LogTime lastTaken{};
    };

    void take(Direction& d, char byte, LogTime at);
    // True when `byte` belonged to the secret whose place it is.
    bool takeInside(Direction& d, char byte, LogTime at);
    // Writes what is collected of the secret as its mask, whole or in part.
    void writeCollected(Direction& d);
    void enterAtItsPlace(Direction& d);
    void release(Direction& d, bool wholeHeld);
    void append(Direction& d, const QString& text, bool content, char byte, LogTime first,
                LogTime last);
    void endLine(Direction& d);
    static QString partialMask(const Secret& secret, qsizetype from, qsizetype to);

    Sink sink_;
    bool mask_;
    Direction sent_{"-->", false};
    Direction received_{"<--", true};
};

} // namespace tarvex
