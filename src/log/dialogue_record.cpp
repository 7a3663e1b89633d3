#include "dialogue_record.h"

#include <QRegularExpression>
#include <QStringList>
#include <algorithm>

namespace tarvex {
namespace {

// E.164 country codes: 1 and 7 stand alone, these two-digit ones are assigned, and
// every other code has three digits.
int countryCodeLength(QStringView digits) {
    if (digits.isEmpty())
        return 0;
    if (digits[0] == QLatin1Char('1') || digits[0] == QLatin1Char('7'))
        return 1;
    static const QStringList twoDigit =
        QStringLiteral("20 27 30 31 32 33 34 36 39 40 41 43 44 45 46 47 48 "
                       "49 51 52 53 54 55 56 57 58 60 61 62 63 64 65 66 81 "
                       "82 84 86 90 91 92 93 94 95 98")
            .split(QLatin1Char(' '));
    if (twoDigit.contains(digits.left(2).toString()))
        return 2;
    return 3;
}

// How many leading characters of a number stay readable: the "+" and its country code.
qsizetype keptPrefixLength(const QString& number) {
    if (!number.startsWith(QLatin1Char('+')))
        return 0;
    qsizetype digits = 1;
    while (digits < number.size() && number[digits].isDigit())
        ++digits;
    const int code = countryCodeLength(QStringView(number).mid(1, digits - 1));
    return std::min<qsizetype>(1 + code, number.size());
}

QString milliseconds(LogTime t) {
    return QString::number(std::chrono::duration<double, std::milli>(t).count(), 'f', 1)
        .rightJustified(10);
}

QString line(LogTime first, const LogTime* last, const char* kind, const QString& text) {
    return milliseconds(first) + QLatin1Char(' ') +
           (last ? milliseconds(*last) : QString(10, QLatin1Char(' '))) + QLatin1Char(' ') +
           QLatin1String(kind) + QLatin1Char(' ') + text;
}

} // namespace

QString escapedLineBytes(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        switch (b) {
        case '\r':
            text += QLatin1String("<CR>");
            break;
        case '\n':
            text += QLatin1String("<LF>");
            break;
        case 26:
            text += QLatin1String("<SUB>");
            break;
        case 27:
            text += QLatin1String("<ESC>");
            break;
        default:
            // "<" itself is escaped, so that a typed "<CR>" never reads as a line end.
            if (b >= 0x20 && b < 0x7f && b != '<')
                text += QLatin1Char(byte);
            else
                text += QStringLiteral("<x%1>").arg(
                    QString::number(b, 16).toUpper().rightJustified(2, QLatin1Char('0')));
        }
    }
    return text;
}

QString maskedNumber(const QString& number) {
    const qsizetype kept = keptPrefixLength(number);
    const qsizetype tail = std::min<qsizetype>(2, number.size() - kept);
    return number.left(kept) + QString(number.size() - kept - tail, QLatin1Char('#')) +
           number.right(tail);
}

QString maskedText(qsizetype length) {
    return QStringLiteral("<text: %1 characters>").arg(length);
}

DialogueRecord::DialogueRecord(Sink sink, bool maskPersonalData)
    : sink_(std::move(sink))
    , mask_(maskPersonalData) {}

void DialogueRecord::sent(char byte, LogTime at) {
    take(sent_, byte, at);
}

void DialogueRecord::received(char byte, LogTime at) {
    take(received_, byte, at);
}

void DialogueRecord::note(const QString& text, LogTime at) {
    for (Direction* d : {&sent_, &received_}) {
        writeCollected(*d);
        endLine(*d);
    }
    sink_(line(at, nullptr, "---", text));
}

void DialogueRecord::beginSms(const QString& number, const QString& text) {
    if (!mask_)
        return;
    for (Direction* d : {&sent_, &received_}) {
        d->inside = nullptr; // it points into the secrets replaced here
        d->numberWhole = false;
        d->secrets.clear();
        if (!number.isEmpty())
            d->secrets.push_back({number.toLatin1(), maskedNumber(number), true, false});
        if (!text.isEmpty())
            d->secrets.push_back({text.toLatin1(), maskedText(text.size()), false, false});
    }
}

void DialogueRecord::endSms() {
    for (Direction* d : {&sent_, &received_}) {
        writeCollected(*d);
        release(*d, true);
        d->inside = nullptr;
        d->numberWhole = false;
        d->secrets.clear();
    }
}

void DialogueRecord::finish() {
    for (Direction* d : {&sent_, &received_}) {
        writeCollected(*d);
        release(*d, true);
        endLine(*d);
    }
}

void DialogueRecord::take(Direction& d, char byte, LogTime at) {
    // The other side's line is over: the log stays in the order things happened.
    endLine(d.received ? sent_ : received_);
    if (d.received && (d.length > 0 || !d.held.isEmpty()) && at - d.lastTaken > kQuietGap)
        endLine(d);
    d.lastTaken = at;
    if (takeInside(d, byte, at))
        return;
    d.held.append(byte);
    d.heldTimes.push_back(at);
    release(d, false);
    d.recent = (d.recent + byte).right(kLongestAnchor);
    enterAtItsPlace(d);
}

bool DialogueRecord::takeInside(Direction& d, char byte, LogTime at) {
    if (!d.inside)
        return false;
    const Secret& secret = *d.inside;
    if (d.at < secret.bytes.size() && byte == secret.bytes[d.at]) {
        if (d.collected == 0)
            d.collectedFrom = at;
        d.collectedTo = at;
        ++d.at;
        ++d.collected;
        if (d.at == secret.bytes.size()) {
            writeCollected(d);
            d.numberWhole = secret.isNumber;
            d.inside = nullptr;
        }
        return true;
    }
    // The secret stops here (an ESC, the line cut short, no echo): what came of it is
    // masked, and this byte is the dialogue's own again.
    writeCollected(d);
    d.inside = nullptr;
    return false;
}

void DialogueRecord::writeCollected(Direction& d) {
    if (!d.inside || d.collected == 0)
        return;
    const Secret& secret = *d.inside;
    const bool whole = !d.cut && d.collected == secret.bytes.size();
    append(d, whole ? secret.mask : partialMask(secret, d.at - d.collected, d.at), true, 0,
           d.collectedFrom, d.collectedTo);
    d.cut = !whole;
    d.collected = 0;
}

// The number follows AT+CMGS=" in both directions; the text follows the command's
// line end as sent, and the modem's "> " as received.
void DialogueRecord::enterAtItsPlace(Direction& d) {
    const QByteArray textPlace = d.received ? QByteArrayLiteral("> ") : QByteArrayLiteral("\"\r\n");
    for (const Secret& s : d.secrets) {
        const bool here = s.isNumber
                              ? d.recent.endsWith("AT+CMGS=\"")
                              : (d.received || d.numberWhole) && d.recent.endsWith(textPlace);
        if (!here)
            continue;
        // Whatever was held as a possible secret is the dialogue's own after all.
        for (qsizetype i = 0; i < d.held.size(); ++i) {
            const char byte = d.held[i];
            append(d, escapedLineBytes(QByteArray(1, byte)), byte != '\r' && byte != '\n', byte,
                   d.heldTimes[std::size_t(i)], d.heldTimes[std::size_t(i)]);
        }
        d.held.clear();
        d.heldTimes.clear();
        d.inside = &s;
        d.at = 0;
        d.collected = 0;
        d.cut = false;
        if (!s.isNumber)
            d.numberWhole = false;
        return;
    }
}

// Writes out held bytes that can no longer become a secret, and a secret once whole.
// With `wholeHeld`, what is left of a secret that never completed goes out masked too.
void DialogueRecord::release(Direction& d, bool wholeHeld) {
    while (!d.held.isEmpty()) {
        const Secret* startOf = nullptr;
        for (Secret& s : d.secrets) {
            if (s.seen || !s.bytes.startsWith(d.held))
                continue;
            if (s.bytes.size() == d.held.size()) {
                s.seen = true;
                append(d, s.mask, true, 0, d.heldTimes.front(), d.heldTimes.back());
                d.held.clear();
                d.heldTimes.clear();
                return;
            }
            startOf = &s;
        }
        if (startOf) {
            if (!wholeHeld)
                return;
            append(d, partialMask(*startOf, 0, d.held.size()), true, 0, d.heldTimes.front(),
                   d.heldTimes.back());
            d.held.clear();
            d.heldTimes.clear();
            return;
        }
        const char byte = d.held.front();
        append(d, escapedLineBytes(QByteArray(1, byte)), byte != '\r' && byte != '\n', byte,
               d.heldTimes.front(), d.heldTimes.front());
        d.held.remove(0, 1);
        d.heldTimes.erase(d.heldTimes.begin());
    }
}

void DialogueRecord::append(Direction& d, const QString& text, bool content, char byte,
                            LogTime first, LogTime last) {
    // A modem echoes a command with its CR alone: the answer after it is a line of its own.
    if (d.received && d.endsInCr && byte != '\n' && d.hasContent)
        endLine(d);
    if (d.length == 0)
        d.first = first;
    d.text += text;
    d.last = last;
    ++d.length;
    d.hasContent = d.hasContent || content;
    d.endsInCr = byte == '\r';
    const bool lineEnd = d.received ? byte == '\n' && d.hasContent : byte == '\n' || byte == 26;
    if (lineEnd || d.length >= kLongestLine)
        endLine(d);
}

void DialogueRecord::endLine(Direction& d) {
    if (d.length == 0)
        return;
    // The modem's identities (IMEI and IMSI of 15 digits, an ICCID of 19 or 20) name a
    // device and its owner as a number does: masked, whatever asked for them.
    static const QRegularExpression identity(QStringLiteral("\\d{14,20}"));
    if (mask_ && d.received)
        for (auto m = identity.globalMatch(d.text); m.hasNext();) {
            const QRegularExpressionMatch found = m.next();
            d.text.replace(found.capturedStart(), found.capturedLength(),
                           QString(found.capturedLength(), QLatin1Char('#')));
        }
    sink_(line(d.first, &d.last, d.arrow, d.text));
    d.text.clear();
    d.length = 0;
    d.hasContent = false;
    d.endsInCr = false;
}

QString DialogueRecord::partialMask(const Secret& secret, qsizetype from, qsizetype to) {
    if (!secret.isNumber)
        return QStringLiteral("<text: %1 of %2 characters>")
            .arg(to - from)
            .arg(secret.bytes.size());
    // Only the "+" and the country code show, wherever the part begins.
    const QString number = QString::fromLatin1(secret.bytes);
    const qsizetype kept = keptPrefixLength(number);
    QString mask;
    for (qsizetype i = from; i < to; ++i)
        mask += i < kept ? number[i] : QLatin1Char('#');
    return mask;
}

} // namespace tarvex
