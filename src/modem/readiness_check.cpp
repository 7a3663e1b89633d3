// Will an SMS go: the read-only queries after the modem test, one at a time.

#include "dialogue_timing.h"
#include "modem_dialogue.h"
#include "readiness_answers.h"
#include "readiness_report.h"

namespace tarvex {
namespace {

std::chrono::milliseconds timeoutOf(const QString& query) {
    return query == QLatin1String("+COPS?") ? kOperatorQueryTimeout : kQueryTimeout;
}

// A SIM still starting up. A modem left at +CMEE=0 says only ERROR, which Tarvex
// may not change: every modem knows +CPIN?, so that is taken for busy too.
bool simBusy(const CommandAnswer& answer) {
    if (answer.final == CommandAnswer::Final::Error)
        return true;
    if (answer.final != CommandAnswer::Final::CmeError)
        return false;
    const auto error = parseMeError(answer.finalLine);
    return error && (error->code == kCmeSimBusy ||
                     error->words.contains(QLatin1String("busy"), Qt::CaseInsensitive));
}

} // namespace

void ModemDialogue::checkReadiness() {
    if (!requireConnection())
        return;
    answers_.clear();
    nextQuery_ = 0;
    simWaited_ = {};
    note(QStringLiteral("readiness: %1 queries").arg(kReadinessQueries.size()));
    // The test's ATE0 is still being answered: its OK must not pass for the first query's.
    runner_.await(QStringLiteral("E0"), kQueryTimeout,
                  [this](const CommandAnswer&) { run([this] { askNextQuery(); }); });
}

void ModemDialogue::askNextQuery() {
    if (nextQuery_ >= kReadinessQueries.size()) {
        emit readinessKnown(answers_);
        return;
    }
    const QString query = kReadinessQueries[nextQuery_];
    // The answer comes from a receive notification or the time-out's tick: either way
    // behind the handler boundary, since the next query is written from there.
    runner_.run(query, timeoutOf(query), [this, query](const CommandAnswer& answer) {
        run([&] { queryAnswered(query, answer); });
    });
}

void ModemDialogue::queryAnswered(const QString& query, const CommandAnswer& answer) {
    if (query == QLatin1String("+CPIN?") && simBusy(answer) && simWaited_ < kSimBusyWait) {
        if (simWaited_ == std::chrono::milliseconds::zero()) {
            note(QStringLiteral("SIM busy: asked again for up to %1 s")
                     .arg(std::chrono::duration_cast<std::chrono::seconds>(kSimBusyWait).count()));
            emit waitingForSim(kSimBusyWait);
        }
        Sleep(kSimBusyRetryPause);
        simWaited_ += kSimBusyRetryPause;
        askNextQuery();
        return;
    }
    answers_.insert(query, answer);
    ++nextQuery_;
    askNextQuery();
}

} // namespace tarvex
