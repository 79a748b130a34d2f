#include "db/dialect.h"

#include "db/connection_parameters.h"
#include "db/transaction.h"

#include <QDir>

namespace tarnlow {
namespace {

QString sqliteFilePath(const QString& database, const QString& programFolder) {
    QString name = database.trimmed();
    if (name.isEmpty())
        name = QStringLiteral("tarnlow_as.db");
    if (name == QLatin1String(":memory:") || QDir::isAbsolutePath(name))
        return name;
    return QDir(programFolder).filePath(name);
}

bool containsKey(const QString& connectString, const QString& key) {
    const QStringList entries = connectString.split(QLatin1Char(';'));
    for (const QString& entry : entries) {
        if (entry.section(QLatin1Char('='), 0, 0).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// Qt's ODBC driver uses the text as a whole connect string only when it names a driver or a
// server, and otherwise puts "DSN=" in front; a string that starts with its own DSN entry is
// handed over without it so the data source is named once.
QString forQtOdbc(const QString& connectString) {
    if (containsKey(connectString, QStringLiteral("DRIVER")) ||
        containsKey(connectString, QStringLiteral("SERVER")) ||
        connectString.contains(QLatin1String(".dsn"), Qt::CaseInsensitive))
        return connectString;
    QString text = connectString.trimmed();
    if (text.startsWith(QLatin1String("DSN="), Qt::CaseInsensitive))
        return text.mid(4);
    return text;
}

class SqliteDialect final : public Dialect {
public:
    DbmsKind kind() const override { return DbmsKind::SQLite; }
    QString binaryType() const override { return QStringLiteral("BLOB"); }
    QString binaryLengthExpression(const QString& column) const override {
        return QStringLiteral("length(") + column + QLatin1Char(')');
    }
    QString tableExistsQuery() const override {
        return QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND lower(name) = ?");
    }
    QString applicationLockStatement(const QString&) const override { return {}; }
    bool transactionalDdl() const override { return true; }
    QString qtDriver() const override { return QStringLiteral("QSQLITE"); }
    // Server and login play no part; a locked database is waited for up to the login timeout.
    void configureConnection(QSqlDatabase& db, const ConnectionFields& fields) const override {
        db.setDatabaseName(sqliteFilePath(fields.database, fields.programFolder));
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(fields.timeoutSeconds * 1000));
    }
};

class PostgresDialect final : public Dialect {
public:
    DbmsKind kind() const override { return DbmsKind::PostgreSQL; }
    QString binaryType() const override { return QStringLiteral("bytea"); }
    QString binaryLengthExpression(const QString& column) const override {
        return QStringLiteral("octet_length(") + column + QLatin1Char(')');
    }
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
    QString qtDriver() const override { return QStringLiteral("QPSQL"); }
    // The server is a host (or a socket folder), optionally "host:port"; Port=N in the further
    // parameters wins over the port in the server name.
    void configureConnection(QSqlDatabase& db, const ConnectionFields& fields) const override {
        const HostAndPort address = splitHostAndPort(fields.serverName);
        bool portOk = false;
        int port = dbParmValue(fields.dbParm, QStringLiteral("Port")).toInt(&portOk);
        if (!portOk)
            port = address.port;
        db.setHostName(address.host);
        if (port > 0)
            db.setPort(port);
        db.setDatabaseName(fields.database);
        db.setUserName(fields.login);
        db.setPassword(fields.password);
        db.setConnectOptions(QStringLiteral("connect_timeout=%1").arg(fields.timeoutSeconds));
    }
};

// SQL Server, and plain ODBC which the program uses against SQL Server.
class SqlServerDialect : public Dialect {
public:
    DbmsKind kind() const override { return DbmsKind::SqlServer; }
    QString binaryType() const override { return QStringLiteral("image"); }
    QString binaryLengthExpression(const QString& column) const override {
        return QStringLiteral("datalength(") + column + QLatin1Char(')');
    }
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
    QString qtDriver() const override { return QStringLiteral("QODBC"); }
    void configureConnection(QSqlDatabase& db, const ConnectionFields& fields) const override {
        db.setDatabaseName(sqlServerConnectString(fields.serverName, fields.database, fields.login,
                                                  fields.password, fields.dbParm));
        db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(fields.timeoutSeconds));
    }
    // Session options as SQL Server's own clients set them, so statements behave the same
    // whatever the driver's defaults: double quotes name identifiers and image columns are never
    // cut short.
    QStringList sessionStatements() const override {
        return {
            QStringLiteral("SET TEXTSIZE 2147483647"),
            QStringLiteral("SET QUOTED_IDENTIFIER ON"),
            QStringLiteral("SET ANSI_NULLS ON"),
            QStringLiteral("SET ANSI_PADDING ON"),
            QStringLiteral("SET ANSI_WARNINGS ON"),
            QStringLiteral("SET CONCAT_NULL_YIELDS_NULL ON"),
            QStringLiteral("SET ANSI_NULL_DFLT_ON ON"),
            QStringLiteral("SET IMPLICIT_TRANSACTIONS OFF"),
            QStringLiteral("SET CURSOR_CLOSE_ON_COMMIT OFF"),
        };
    }
};

class OdbcDialect final : public SqlServerDialect {
public:
    DbmsKind kind() const override { return DbmsKind::Odbc; }
    // The driver behind the data source translates ODBC's own scalar function.
    QString binaryLengthExpression(const QString& column) const override {
        return QStringLiteral("{fn OCTET_LENGTH(") + column + QStringLiteral(")}");
    }
    // Whatever driver stands behind the data source may commit table changes at once.
    bool transactionalDdl() const override { return false; }
    // The connect string from the further parameters, or the database as the name of a data
    // source; a login and password go in unless the connect string carries its own. The server's
    // session options stay as the data source sets them.
    void configureConnection(QSqlDatabase& db, const ConnectionFields& fields) const override {
        QString connectString = dbParmValue(fields.dbParm, QStringLiteral("ConnectString"));
        if (connectString.isEmpty())
            connectString = QStringLiteral("DSN=") + odbcConnectValue(fields.database);
        if (!fields.login.isEmpty() && !containsKey(connectString, QStringLiteral("UID")))
            connectString += QStringLiteral(";UID=") + odbcConnectValue(fields.login);
        if (!fields.password.isEmpty() && !containsKey(connectString, QStringLiteral("PWD")))
            connectString += QStringLiteral(";PWD=") + odbcConnectValue(fields.password);
        db.setDatabaseName(forQtOdbc(connectString));
        db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(fields.timeoutSeconds));
    }
    QStringList sessionStatements() const override { return {}; }
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
