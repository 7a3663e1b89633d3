#pragma once
// Reads a session log back: each line's times, kind and text, and the bytes an
// escaped text stands for, so a suite can hold the log against what crossed the line.

#include <QDir>
#include <QFile>
#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTest>

namespace tarvex::testing {

struct LogLine {
    double first = 0;
    double last = -1; // -1: a single time
    QString kind;     // "-->", "<--" or "---"
    QString text;
};

inline QByteArray unescapedLineBytes(const QString& text) {
    static const QRegularExpression token(QStringLiteral("<(CR|LF|SUB|ESC|x[0-9A-F]{2})>"));
    QByteArray bytes;
    qsizetype at = 0;
    for (auto it = token.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        bytes += text.mid(at, m.capturedStart() - at).toLatin1();
        const QString t = m.captured(1);
        bytes += t == QLatin1String("CR")    ? '\r'
                 : t == QLatin1String("LF")  ? '\n'
                 : t == QLatin1String("SUB") ? char(26)
                 : t == QLatin1String("ESC") ? char(27)
                                             : char(t.mid(1).toInt(nullptr, 16));
        at = m.capturedEnd();
    }
    return bytes + text.mid(at).toLatin1();
}

// The header ("# " lines) left out.
inline QList<LogLine> readSessionLog(const QString& path) {
    QFile file(path);
    QList<LogLine> lines;
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    for (const QString& l : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (l.size() < 26 || l.startsWith(QLatin1Char('#')))
            continue;
        const QString last = l.mid(11, 10).trimmed();
        lines.append({l.left(10).trimmed().toDouble(), last.isEmpty() ? -1 : last.toDouble(),
                      l.mid(22, 3), l.mid(26)});
    }
    return lines;
}

// Everything of one kind, joined: the bytes for "-->" and "<--".
inline QByteArray bytesOf(const QList<LogLine>& lines, const QString& kind) {
    QByteArray bytes;
    for (const LogLine& l : lines)
        if (l.kind == kind)
            bytes += unescapedLineBytes(l.text);
    return bytes;
}

inline QStringList textsOf(const QList<LogLine>& lines, const QString& kind) {
    QStringList texts;
    for (const LogLine& l : lines)
        if (l.kind == kind)
            texts.append(l.text);
    return texts;
}

// The kinds and texts of the lines in the order given, each after the one before.
// What came in is one step per run of "<--" lines, matched by what it contains:
// where a quiet gap splits what the modem said, and how much of it is read before
// the next command leaves, depend on how late each side was woken.
inline void checkStory(const QList<LogLine>& lines, const QStringList& story) {
    QStringList steps;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const bool joins = i > 0 && lines[i].kind == QLatin1String("<--") &&
                           lines[i - 1].kind == QLatin1String("<--");
        if (joins)
            steps.last() += lines[i].text;
        else
            steps.append(lines[i].kind + QLatin1Char(' ') + lines[i].text);
    }
    const QLatin1String in("<-- ");
    const auto matches = [&](const QString& line, const QString& step) {
        return step.startsWith(in) ? line.startsWith(in) && line.mid(4).contains(step.mid(4))
                                   : line == step;
    };
    qsizetype at = 0;
    for (const QString& step : story) {
        while (at < steps.size() && !matches(steps[at], step))
            ++at;
        QVERIFY2(at < steps.size(), qPrintable(QStringLiteral("not in order: ") + step + "\n" +
                                               steps.join(QLatin1Char('\n'))));
        ++at;
    }
}

inline QString newestSessionLog(const QString& folder) {
    const QStringList logs =
        QDir(folder).entryList({QStringLiteral("tarvex-*.log")}, QDir::Files, QDir::Name);
    return logs.isEmpty() ? QString() : QDir(folder).filePath(logs.last());
}

} // namespace tarvex::testing
