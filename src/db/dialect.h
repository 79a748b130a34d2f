#pragma once

#include <QString>
#include <QStringList>

namespace tarnlow {

enum class DbmsKind;

// The statements that differ between the database systems. SQL Server (and plain ODBC, which the
// program uses against SQL Server) receives the program's own statements unchanged.
class Dialect {
public:
    virtual ~Dialect() = default;
    virtual DbmsKind kind() const = 0;
    // Type name of a column holding arbitrary bytes.
    virtual QString binaryType() const = 0;
    // A query with one placeholder (the table name, in lower case) that returns one row with a
    // count greater than zero when a table of that name exists.
    virtual QString tableExistsQuery() const = 0;
    // Takes a lock that serialises writers of the same name until the transaction ends.
    // Empty when the dialect locks by starting an immediate write transaction instead.
    virtual QString applicationLockStatement(const QString& name) const = 0;

    static const Dialect& forKind(DbmsKind kind);
};

} // namespace tarnlow
