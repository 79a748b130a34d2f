#include "db/database_worker.h"

#include "db/transaction.h"

#include <QThread>

#include <condition_variable>
#include <mutex>

namespace tarnlow {
namespace {

// Jobs of every worker that have not ended yet.
std::mutex jobsMutex;
std::condition_variable jobsEnded;
int jobsRunning = 0;

void jobStarted() {
    const std::lock_guard lock(jobsMutex);
    ++jobsRunning;
}

void jobEnded() {
    {
        const std::lock_guard lock(jobsMutex);
        --jobsRunning;
    }
    jobsEnded.notify_all();
}

} // namespace

// A step the job posts to the starting thread; `last` marks the end of the job.
struct WorkerStep {
    std::function<void()> run;
    bool last = false;
};

// Carries posted steps across threads as queued signals; it lives as long as the job's state.
class WorkerStepRelay : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

Q_SIGNALS:
    void stepPosted(const tarnlow::WorkerStep& step);
};

struct DatabaseWorker::Job::State {
    ConnectionSettings settings;
    QThread* startingThread = nullptr;
    std::atomic<bool> cancel{false};
    std::atomic<bool> abandoned{false};
    WorkerStepRelay relay;
    // Set while the job's connection may be interrupted; the mutex keeps the connection open
    // while the interrupter runs.
    std::mutex interruptMutex;
    std::function<void()> interrupter;

    void requestCancel() {
        cancel.store(true);
        const std::lock_guard lock(interruptMutex);
        if (interrupter)
            interrupter();
    }
};

bool DatabaseWorker::Job::cancelRequested() const {
    return m_state->cancel.load();
}

void DatabaseWorker::Job::interruptStatementsOnCancel() const {
    const std::lock_guard lock(m_state->interruptMutex);
    m_state->interrupter = m_connection.statementInterrupter();
    if (m_state->interrupter && m_state->cancel.load())
        m_state->interrupter();
}

void DatabaseWorker::Job::post(std::function<void()> step) const {
    if (!m_state->abandoned.load())
        Q_EMIT m_state->relay.stepPosted(WorkerStep{std::move(step), false});
}

QThread* DatabaseWorker::Job::startingThread() const {
    return m_state->startingThread;
}

DatabaseWorker::DatabaseWorker(ConnectionSettings settings, QObject* parent)
    : QObject(parent)
    , m_settings(std::move(settings)) {}

DatabaseWorker::DatabaseWorker(Transaction& borrowed, QObject* parent)
    : QObject(parent)
    , m_settings(ConnectionSettings::of(borrowed))
    , m_borrowed(&borrowed) {}

DatabaseWorker::~DatabaseWorker() {
    abandon();
}

bool DatabaseWorker::start(JobFunction function) {
    if (m_state)
        return false;
    auto state = std::make_shared<Job::State>();
    state->settings = m_settings;
    state->startingThread = QThread::currentThread();
    m_state = state;
    // The state is checked on delivery too: a step already queued when the job was abandoned
    // never runs.
    m_delivery = connect(
        &state->relay, &WorkerStepRelay::stepPosted, this,
        [this, state](const WorkerStep& step) {
            if (state->abandoned.load())
                return;
            if (step.run)
                step.run();
            if (step.last && m_state == state) {
                m_state.reset();
                disconnect(m_delivery);
                Q_EMIT finished();
            }
        },
        Qt::QueuedConnection);

    jobStarted();
    // Filled once the thread exists, before it starts: the connection is handed to that thread.
    auto lent = std::make_shared<std::shared_ptr<Transaction::HandedOverConnection>>();
    Transaction* borrowed = m_borrowed;
    QThread* thread = QThread::create([state, lent, borrowed, function = std::move(function)] {
        {
            Transaction connection;
            if (!*lent || !connection.takeOver(*lent))
                state->settings.applyTo(connection);
            lent->reset();
            Job job(state, connection);
            function(job);
            {
                const std::lock_guard lock(state->interruptMutex);
                state->interrupter = nullptr;
            }
            if (borrowed != nullptr && !state->abandoned.load()) {
                // Given back on the starting thread before finished(); dropped (and so closed) when
                // the worker goes away first.
                std::shared_ptr<Transaction::HandedOverConnection> back =
                    connection.handOver(state->startingThread);
                if (back)
                    Q_EMIT state->relay.stepPosted(
                        WorkerStep{[borrowed, back] { borrowed->takeOver(back); }, false});
            }
            connection.disconnect();
        }
        if (!state->abandoned.load())
            Q_EMIT state->relay.stepPosted(WorkerStep{{}, true});
        jobEnded();
    });
    if (m_borrowed != nullptr)
        *lent = m_borrowed->handOver(thread);
    thread->setObjectName(QStringLiteral("tarnlow database work"));
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
    return true;
}

void DatabaseWorker::requestCancel() {
    if (m_state)
        m_state->requestCancel();
}

bool DatabaseWorker::cancelRequested() const {
    return m_state && m_state->cancel.load();
}

void DatabaseWorker::abandon() {
    if (!m_state)
        return;
    m_state->requestCancel();
    m_state->abandoned.store(true);
    disconnect(m_delivery);
    m_state.reset();
}

bool DatabaseWorker::waitForAllJobs(std::chrono::milliseconds timeout) {
    std::unique_lock lock(jobsMutex);
    return jobsEnded.wait_for(lock, timeout, [] { return jobsRunning == 0; });
}

int DatabaseWorker::runningJobs() {
    const std::lock_guard lock(jobsMutex);
    return jobsRunning;
}

} // namespace tarnlow

#include "database_worker.moc"
