#include "db/native_handles.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

namespace tarnlow {
namespace {

// The native handle of the connection's driver when its type is the one named, else null.
void* nativeHandle(const QSqlDatabase& db, const char* typeName) {
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), typeName) != 0)
        return nullptr;
    return *static_cast<void* const*>(handle.constData());
}

} // namespace

// Qt names the type by its typedef or by the struct behind it, depending on the version.
pg_conn* postgresHandle(const QSqlDatabase& db) {
    if (void* handle = nativeHandle(db, "PGconn*"))
        return static_cast<pg_conn*>(handle);
    return static_cast<pg_conn*>(nativeHandle(db, "pg_conn*"));
}

// Qt's ODBC driver hands out its connection handle (SQLHDBC) as a plain pointer.
void* odbcHandle(const QSqlDatabase& db) {
    if (db.driverName() != QLatin1String("QODBC"))
        return nullptr;
    if (void* handle = nativeHandle(db, "SQLHANDLE"))
        return handle;
    return nativeHandle(db, "void*");
}

} // namespace tarnlow
