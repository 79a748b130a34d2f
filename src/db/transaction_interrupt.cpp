// Stopping the statement that runs on a connection from another thread: the worker's Cancel and
// Ctrl+C reach a statement that waits for a lock or runs a long script.

#include "db/native_handles.h"
#include "db/sqlite_script.h"
#include "db/transaction.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <QThreadPool>

#include <memory>

namespace tarnlow {

std::function<void()> Transaction::statementInterrupter() const {
    const QSqlDatabase db = database();
    if (!db.isValid() || !db.isOpen())
        return {};
    if (sqlite3* handle = sqliteHandle(db))
        return [handle] { sqlite3_interrupt(handle); };
    if (pg_conn* handle = postgresHandle(db)) {
        // The cancel object carries the server's address and the session's key, so it stays
        // usable whatever becomes of the connection. PQcancel opens a connection of its own to
        // the server, so it runs on the pool rather than on the caller's (a window's) thread;
        // the application waits for the pool before it exits.
        std::shared_ptr<PGcancel> cancel(PQgetCancel(handle), PQfreeCancel);
        if (!cancel)
            return {};
        return [cancel] {
            QThreadPool::globalInstance()->start([cancel] {
                char reason[256] = {};
                PQcancel(cancel.get(), reason, static_cast<int>(sizeof reason));
            });
        };
    }
    return {};
}

} // namespace tarnlow
