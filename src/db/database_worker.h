#pragma once

#include "db/connection_settings.h"

#include <QMetaObject>
#include <QObject>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

class QThread;

namespace tarnlow {

class Transaction;

// Runs one piece of long database work (connecting, importing, downloading) on a thread of its own
// with a transaction object of its own, so that the thread that started it (a window's) keeps
// answering. A Qt SQL connection belongs to the thread that opened it: either the job connects its
// own object with the given connection settings (a login attempt), or the worker borrows an open
// connection, hands it to the job's thread and gives it back when the job ends, so that a piece of
// work never needs a second connection to the server. Everything the job wants done on the
// starting thread (progress, the result) it posts; posted steps run there in order, followed by
// finished().
class DatabaseWorker : public QObject {
    Q_OBJECT

public:
    // What a running job sees.
    class Job {
    public:
        // The job's own transaction object: the borrowed connection, or not yet connected with the
        // worker's settings applied.
        Transaction& connection() const { return m_connection; }
        // True once cancellation was requested; long jobs look at it between pieces of work.
        bool cancelRequested() const;
        // From now until the job ends, a cancel request also stops the statement running on the
        // job's connection (a lock wait, a long script), which then fails; at once when the
        // request came already. Call it once connected. A job that hands its connection over to
        // another thread must not call it.
        void interruptStatementsOnCancel() const;
        // Runs `step` on the thread that started the worker, after the steps posted before it.
        // Nothing runs there once the worker was abandoned or destroyed.
        void post(std::function<void()> step) const;
        // The thread that started the worker, for handing a connection over to it.
        QThread* startingThread() const;

    private:
        friend class DatabaseWorker;
        struct State;
        Job(std::shared_ptr<State> state, Transaction& connection)
            : m_state(std::move(state))
            , m_connection(connection) {}
        std::shared_ptr<State> m_state;
        Transaction& m_connection;
    };
    using JobFunction = std::function<void(Job& job)>;

    explicit DatabaseWorker(ConnectionSettings settings, QObject* parent = nullptr);
    // Jobs run on `borrowed`'s open connection, handed to the job's thread when it starts and given
    // back before finished(). The object must outlive the worker and stay unused meanwhile. A
    // connection left inside a transaction, or one whose job was abandoned, is closed instead.
    explicit DatabaseWorker(Transaction& borrowed, QObject* parent = nullptr);
    // A job still running is abandoned: it ends on its own, and nothing it posts is delivered.
    ~DatabaseWorker() override;
    DatabaseWorker(const DatabaseWorker&) = delete;
    DatabaseWorker& operator=(const DatabaseWorker&) = delete;

    // Starts the job on a new thread. False when a job of this worker is still running.
    bool start(JobFunction job);
    // Asks the running job to stop at its next look at cancelRequested().
    void requestCancel();
    bool cancelRequested() const;
    // From start() until finished() was delivered (or the job was abandoned).
    bool isRunning() const { return static_cast<bool>(m_state); }
    // Gives up on the running job without waiting for it, for work that cannot be interrupted (a
    // connection attempt). Cancellation is requested, nothing more it posts is delivered and its
    // thread cleans up after itself; the worker can start another job at once.
    void abandon();

    // Waits at most `timeout` until the jobs of every worker have ended; false when one still runs
    // then. The program calls it before it exits, so that its own shutdown never pulls the
    // database layer away from a job that is still waiting for a server.
    static bool waitForAllJobs(std::chrono::milliseconds timeout);
    // Jobs started and not yet ended, over all workers.
    static int runningJobs();

Q_SIGNALS:
    // On the starting thread, after every step the job posted.
    void finished();

private:
    ConnectionSettings m_settings;
    Transaction* m_borrowed = nullptr;
    std::shared_ptr<Job::State> m_state;
    QMetaObject::Connection m_delivery;
};

} // namespace tarnlow
