#include "db/dialect.h"

#include "db/transaction.h"

namespace tarnlow {
namespace {

class SqliteDialect final : public Dialect {
public:
    DbmsKind kind() const override { return DbmsKind::SQLite; }
    QString binaryType() const override { return QStringLiteral("BLOB"); }
    QString tableExistsQuery() const override {
        return QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND lower(name) = ?");
    }
    QString applicationLockStatement(const QString&) const override { return {}; }
    bool transactionalDdl() const override { return true; }
};

class PostgresDialect final : public Dialect {
public:
    DbmsKind kind() const override { return DbmsKind::PostgreSQL; }
    QString binaryType() const override { return QStringLiteral("bytea"); }
    // to_regclass resolves the name along the search path like an unqualified table name in a
    // statement does, and needs no right on the table itself.
    QString tableExistsQuery() const override {
        return QStringLiteral("SELECT count(*) FROM pg_catalog.pg_class WHERE oid = to_regclass(?) "
                              "AND relkind IN ('r', 'p')");
    }
    QString applicationLockStatement(const QString& name) const override {
        return QStringLiteral("SELECT pg_advisory_xact_lock(hashtext(%1))").arg(quoteText(name));
    }
    bool transactionalDdl() const override { return true; }
};

// SQL Server, and plain ODBC which the program uses against SQL Server.
class SqlServerDialect : public Dialect {
public:
    DbmsKind kind() const override { return DbmsKind::SqlServer; }
    QString binaryType() const override { return QStringLiteral("image"); }
    QString tableExistsQuery() const override {
        return QStringLiteral("SELECT count(*) FROM sysobjects WHERE type = 'U' AND lower(name) = ?");
    }
    // A lock that cannot be had within 30 seconds fails the statement instead of waiting for ever.
    QString applicationLockStatement(const QString& name) const override {
        return QStringLiteral("DECLARE @result int; EXEC @result = sp_getapplock @Resource = %1, "
                              "@LockMode = 'Exclusive', @LockOwner = 'Transaction', @LockTimeout = 30000; "
                              "IF @result < 0 RAISERROR('application lock %2 not granted', 16, 1)")
            .arg(quoteText(name), QString(name)
                                      .replace(QLatin1Char('\''), QLatin1String("''"))
                                      .replace(QLatin1Char('%'), QLatin1String("%%")));
    }
    bool transactionalDdl() const override { return true; }
};

class OdbcDialect final : public SqlServerDialect {
public:
    DbmsKind kind() const override { return DbmsKind::Odbc; }
    // Whatever driver stands behind the data source may commit table changes at once.
    bool transactionalDdl() const override { return false; }
};

} // namespace

QString Dialect::quoteText(const QString& text) {
    return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QLatin1String("''")) +
           QLatin1Char('\'');
}

const Dialect& Dialect::forKind(DbmsKind kind) {
    static const SqliteDialect sqlite;
    static const PostgresDialect postgres;
    static const SqlServerDialect sqlServer;
    static const OdbcDialect odbc;
    switch (kind) {
    case DbmsKind::SQLite:
        return sqlite;
    case DbmsKind::PostgreSQL:
        return postgres;
    case DbmsKind::SqlServer:
        return sqlServer;
    case DbmsKind::Odbc:
        return odbc;
    }
    return sqlite;
}

} // namespace tarnlow
