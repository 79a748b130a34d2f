#include "db/sqlite_script.h"

#include <QByteArray>
#include <QSqlDriver>
#include <QVariant>

namespace tarnlow {
namespace {

// Names the statement of a script that failed, shortened to its first line.
QString statementPlace(int number, const char* begin, const char* end) {
    QString text = QString::fromUtf8(begin, end - begin).trimmed();
    text = text.section(QLatin1Char('\n'), 0, 0).trimmed();
    if (text.size() > 120)
        text = text.left(117) + QStringLiteral("...");
    return QStringLiteral(" (statement %1 of the script: %2)").arg(number).arg(text);
}

struct AuthorizerState {
    bool refusedTransactionControl = false;
};

int refuseTransactionControl(void* data, int action, const char*, const char*, const char*, const char*) {
    if (action != SQLITE_TRANSACTION && action != SQLITE_SAVEPOINT)
        return SQLITE_OK;
    static_cast<AuthorizerState*>(data)->refusedTransactionControl = true;
    return SQLITE_DENY;
}

// Installs the authorizer for the lifetime of one script run only.
class ScopedAuthorizer {
public:
    ScopedAuthorizer(sqlite3* handle, AuthorizerState* state)
        : m_handle(handle) {
        if (state)
            sqlite3_set_authorizer(m_handle, refuseTransactionControl, state);
    }
    ~ScopedAuthorizer() { sqlite3_set_authorizer(m_handle, nullptr, nullptr); }
    ScopedAuthorizer(const ScopedAuthorizer&) = delete;
    ScopedAuthorizer& operator=(const ScopedAuthorizer&) = delete;

private:
    sqlite3* m_handle;
};

} // namespace

sqlite3* sqliteHandle(const QSqlDatabase& db) {
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
}

ScriptOutcome runSqliteScript(sqlite3* handle, const QString& script, bool keepTransaction) {
    ScriptOutcome outcome;
    AuthorizerState authorizer;
    const ScopedAuthorizer scoped(handle, keepTransaction ? &authorizer : nullptr);
    const QByteArray bytes = script.toUtf8();
    const char* next = bytes.constData();
    const char* const end = next + bytes.size();
    int number = 0;
    while (next < end) {
        sqlite3_stmt* statement = nullptr;
        const char* tail = end;
        int code = sqlite3_prepare_v2(handle, next, static_cast<int>(end - next), &statement, &tail);
        if (code != SQLITE_OK) {
            const QString reason =
                authorizer.refusedTransactionControl
                    ? QStringLiteral("the statement would end or split the open transaction, "
                                     "which a statement text run inside it must not do")
                    : QString::fromUtf8(sqlite3_errmsg(handle));
            outcome = {false, 0, reason + statementPlace(number + 1, next, end), code};
            return outcome;
        }
        // SQLite stops reading at a zero byte and hands back no statement, so the loop would
        // never move past it.
        if (tail == next) {
            outcome = {
                false, 0,
                QStringLiteral("the text holds a zero byte at byte %1, and no statement is read past it")
                    .arg(next - bytes.constData() + 1),
                SQLITE_MISUSE};
            return outcome;
        }
        const char* const begin = next;
        next = tail;
        if (!statement)
            continue; // only blanks or a comment
        ++number;
        const sqlite3_int64 changesBefore = sqlite3_total_changes64(handle);
        do {
            code = sqlite3_step(statement);
        } while (code == SQLITE_ROW);
        if (code != SQLITE_DONE) {
            outcome = {false, 0,
                       QString::fromUtf8(sqlite3_errmsg(handle)) + statementPlace(number, begin, tail), code};
            sqlite3_finalize(statement);
            return outcome;
        }
        sqlite3_finalize(statement);
        // sqlite3_changes keeps the count of the last insert, update or delete through other
        // statements; it belongs to this one only when the total moved.
        if (sqlite3_total_changes64(handle) != changesBefore)
            outcome.rows += sqlite3_changes64(handle);
    }
    return outcome;
}

} // namespace tarnlow
