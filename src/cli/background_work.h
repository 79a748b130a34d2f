#pragma once

#include "db/database_worker.h"
#include "db/transaction.h"

#include <QString>

#include <optional>

namespace tarnlow::cli {

class InterruptWatch;

// Seconds a job has to stop after Ctrl+C before the process ends without it.
inline constexpr int kStopGraceSeconds = 3;

// Runs `job` on a database worker on the open connection of `sqlca`, which is lent to the worker's
// thread and given back when the job ends, while this thread waits in its event loop, so that Ctrl+C is
// answered: the first asks the job to stop at its next look at cancelRequested() (the job's own steps report
// what became of the work); a job stuck in a call that cannot be interrupted (a login, a statement) is given
// kStopGraceSeconds, after which the process ends with exit code 130, and the database discards the
// unfinished transaction as it would after a crash. `onInterrupt` runs on this thread when Ctrl+C arrives (to
// clear a progress line, say). True when Ctrl+C was pressed. `watch` is armed while the job runs.
bool runInBackground(InterruptWatch& watch, Transaction& sqlca, DatabaseWorker::JobFunction job,
                     const std::function<void()>& onInterrupt = {});

// What became of work run on the worker's own connection.
template <typename Outcome> struct BackgroundResult {
    // True when Ctrl+C was pressed.
    bool interrupted = false;
    // What the work returned; none when the connection could not be lent or Ctrl+C came before
    // the work ran.
    std::optional<Outcome> outcome;
    // Why the work could not run on the connection.
    QString connectFailure;
};

// Runs `work` on the worker's thread with the open connection of `sqlca` (the command's one
// connection, lent and given back) and hands its result back to this thread; Ctrl+C also stops
// the statement running then. `onInterrupt` as for runInBackground.
template <typename Outcome, typename Work>
BackgroundResult<Outcome> runConnectedInBackground(InterruptWatch& watch, Transaction& sqlca, Work work,
                                                   const std::function<void()>& onInterrupt = {}) {
    BackgroundResult<Outcome> result;
    result.interrupted = runInBackground(
        watch, sqlca,
        [&](DatabaseWorker::Job& job) {
            if (!job.connection().isConnected()) {
                job.post([&result] { result.connectFailure = QStringLiteral("the connection is not open"); });
                return;
            }
            job.interruptStatementsOnCancel();
            Outcome done = work(job);
            job.post([&result, done] { result.outcome = done; });
        },
        onInterrupt);
    return result;
}

} // namespace tarnlow::cli
