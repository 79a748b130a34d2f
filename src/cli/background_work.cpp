#include "cli/background_work.h"

#include "cli/command.h"
#include "cli/interrupt.h"

#include <QEventLoop>
#include <QTimer>

namespace tarnlow::cli {

bool runInBackground(InterruptWatch& watch, Transaction& sqlca, DatabaseWorker::JobFunction job,
                     const std::function<void()>& onInterrupt) {
    DatabaseWorker worker(sqlca);
    QEventLoop loop;
    QObject::connect(&worker, &DatabaseWorker::finished, &loop, &QEventLoop::quit);
    QTimer grace;
    grace.setSingleShot(true);
    QObject::connect(&grace, &QTimer::timeout, &grace, [] {
        InterruptWatch::exitNow("tarnlow_as_cli: the work did not stop in time and is cut off; the database "
                                "discards what was not committed\n");
    });
    QObject::connect(&watch, &InterruptWatch::interrupted, &loop, [&] {
        if (grace.isActive())
            return;
        if (onInterrupt)
            onInterrupt();
        printError(QStringLiteral("tarnlow_as_cli: Ctrl+C: stopping (press Ctrl+C again to stop at once)"));
        worker.requestCancel();
        grace.start(kStopGraceSeconds * 1000);
    });
    watch.setArmed(true);
    if (!worker.start(std::move(job))) {
        watch.setArmed(false);
        return false;
    }
    loop.exec();
    watch.setArmed(false);
    return watch.wasInterrupted();
}

} // namespace tarnlow::cli
