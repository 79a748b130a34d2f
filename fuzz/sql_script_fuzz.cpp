// Any bytes as an update script, run on an in-memory SQLite database inside a transaction: the
// runner must always come to an end, and a script the import's check lets through for SQLite must
// hold no statement that SQLite itself knows for transaction control.
#include "db/sqlite_script.h"
#include "host/code_page.h"
#include "update/script_check.h"

#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>

using namespace tarnlow;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096)
        return 0; // long scripts only make statements slow, not new
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const Result<QString> script = fromSystemCodePage(bytes);
    if (!script)
        return 0;
    const bool allowed = judgeScript(*script, ScriptDialect::Sqlite).applies();

    sqlite3* handle = nullptr;
    if (sqlite3_open(":memory:", &handle) != SQLITE_OK)
        std::abort();
    // Statements that could take long or reach outside the database are kept small and closed.
    sqlite3_limit(handle, SQLITE_LIMIT_LENGTH, 100000);
    sqlite3_limit(handle, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_progress_handler(
        handle, 10000, [](void*) { return 1; }, nullptr);
    sqlite3_exec(handle, "create table t_sys_ver (a); begin", nullptr, nullptr, nullptr);
    const ScriptOutcome outcome = runSqliteScript(handle, *script, true);
    // SQLite's authorizer refuses exactly the statements that begin, end or split a transaction;
    // the check for SQLite must have refused each of them first.
    if (allowed && !outcome.ok && outcome.code == SQLITE_AUTH)
        std::abort();
    sqlite3_close(handle);
    return 0;
}
