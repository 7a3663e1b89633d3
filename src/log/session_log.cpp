#include "session_log.h"

#include <QDateTime>
#include <QDir>
#include <cstdio>

namespace tarvex {
namespace {

const QString kNamePattern = QStringLiteral("tarvex-*.log");

// Room kept at the end of a full file for the line that says what was left out.
constexpr qint64 kTailRoom = 160;

} // namespace

SessionLog::SessionLog(Options options)
    : start_(options.start)
    , record_([this](const QString& line) { write(line); }, !options.personalData) {
    open(options);
}

SessionLog::~SessionLog() {
    finish();
}

QString SessionLog::filePath() const {
    return file_.fileName();
}

LogTime SessionLog::now() const {
    return std::chrono::duration_cast<LogTime>(Clock::now() - start_);
}

void SessionLog::open(const Options& options) {
    const QString refused = makeLogFolderPrivate(options.folder);
    if (!refused.isEmpty()) {
        stop(refused);
        return;
    }
    QDir folder(options.folder);
    // Named by the start time, so that the names sort as the runs happened.
    const QString stem = QStringLiteral("tarvex-") + QDateTime::currentDateTime().toString(
                                                         QStringLiteral("yyyy-MM-dd_HH-mm-ss.zzz"));
    // A name already taken, by a file or a link to anywhere, is passed over.
    for (int n = 1; n < 100 && !file_.isOpen(); ++n) {
        file_.setFileName(folder.filePath(
            stem + (n > 1 ? QStringLiteral("_%1").arg(n) : QString()) + QStringLiteral(".log")));
        openNewLogFile(file_);
    }
    if (!file_.isOpen()) {
        stop(QStringLiteral("cannot write in %1: %2")
                 .arg(QDir::toNativeSeparators(options.folder), file_.errorString()));
        file_.setFileName(QString());
        return;
    }
    // The newest files stay, this one among them.
    const QStringList logs = folder.entryList({kNamePattern}, QDir::Files, QDir::Name);
    for (qsizetype i = 0; i + kKeptFiles < logs.size(); ++i)
        folder.remove(logs[i]);
    for (const QString& line : options.header)
        write(QStringLiteral("# ") + line);
}

void SessionLog::sent(const QString& characters, LogTime handedAt) {
    for (const QChar c : characters)
        record_.sent(static_cast<char>(c.unicode()), handedAt);
}

void SessionLog::received(const QString& characters) {
    const LogTime at = now();
    for (const QChar c : characters)
        record_.received(static_cast<char>(c.unicode()), at);
}

void SessionLog::note(const QString& text) {
    QString oneLine = text;
    oneLine.replace(QLatin1Char('\n'), QLatin1String(" | "));
    record_.note(oneLine, now());
}

void SessionLog::beginSms(const QString& number, const QString& text) {
    record_.beginSms(number, text);
}

void SessionLog::endSms() {
    record_.endSms();
}

void SessionLog::finish() {
    record_.finish();
    if (leftOut_ > 0 && !stopped_) {
        const QByteArray last =
            QStringLiteral("# %1 bytes left out: a log holds at most %2 bytes\n")
                .arg(leftOut_)
                .arg(kMaxFileBytes)
                .toUtf8();
        if (file_.write(last) == last.size())
            written_ += last.size();
        leftOut_ = 0;
    }
}

void SessionLog::write(const QString& line) {
    if (stopped_ || !file_.isOpen())
        return;
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    if (leftOut_ > 0 || written_ + bytes.size() > kMaxFileBytes - kTailRoom) {
        leftOut_ += bytes.size();
        return;
    }
    if (file_.write(bytes) != bytes.size()) {
        stop(QStringLiteral("cannot write %1: %2")
                 .arg(QDir::toNativeSeparators(file_.fileName()), file_.errorString()));
        return;
    }
    written_ += bytes.size();
}

void SessionLog::stop(const QString& why) {
    stopped_ = true;
    std::fprintf(stderr, "tarvex: no session log from here on: %s\n", qPrintable(why));
    std::fflush(stderr);
}

} // namespace tarvex
