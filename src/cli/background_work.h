#pragma once

#include "db/database_worker.h"

namespace tarnlow::cli {

class InterruptWatch;

// Seconds a job has to stop after Ctrl+C before the process ends without it.
inline constexpr int kStopGraceSeconds = 3;

// Runs `job` on a database worker with the given connection settings while this thread waits in
// its event loop, so that Ctrl+C is answered: the first asks the job to stop at its next look at
// cancelRequested() (the job's own steps report what became of the work); a job stuck in a call
// that cannot be interrupted (a login, a statement) is given kStopGraceSeconds, after which the
// process ends with exit code 130, and the database discards the unfinished transaction as it
// would after a crash. `onInterrupt` runs on this thread when Ctrl+C arrives (to clear a progress
// line, say). True when Ctrl+C was pressed.
// `watch` is armed while the job runs.
bool runInBackground(InterruptWatch& watch, const ConnectionSettings& settings,
                     DatabaseWorker::JobFunction job, const std::function<void()>& onInterrupt = {});

} // namespace tarnlow::cli
