#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace tarnlow {

enum class DbmsKind;

// The connection fields of the transaction object, as a dialect needs them to set up a
// connection.
struct ConnectionFields {
    QString serverName;
    QString database;
    QString login;
    QString password;
    QString dbParm;
    // The login timeout in seconds.
    int timeoutSeconds = 0;
    // The folder a relative SQLite file name is taken from, with or without a trailing separator.
    QString programFolder;
};

// The statements that differ between the database systems. SQL Server (and plain ODBC, which the
// program uses against SQL Server) receives the program's own statements unchanged.
class Dialect {
public:
    virtual ~Dialect() = default;
    virtual DbmsKind kind() const = 0;
    // Type name of a column holding arbitrary bytes.
    virtual QString binaryType() const = 0;
    // An expression for the size in bytes of the binary value in `column`.
    virtual QString binaryLengthExpression(const QString& column) const = 0;
    // A query with one placeholder (the table name, in lower case) that returns one row with a
    // count greater than zero when a table of that name exists. It consults the catalog, so it
    // also finds a table that the login may not read.
    virtual QString tableExistsQuery() const = 0;
    // Takes a lock that serialises writers of the same name until the transaction ends.
    // Empty when the dialect locks by starting an immediate write transaction instead.
    virtual QString applicationLockStatement(const QString& name) const = 0;
    // True when table creation and removal take part in a transaction, so that a rollback undoes
    // them.
    virtual bool transactionalDdl() const = 0;
    // The Qt SQL driver that reaches this database system.
    virtual QString qtDriver() const = 0;
    // Sets up a connection that has not been opened yet from the fields: what it connects to, the
    // login and the driver's options, the login timeout among them.
    virtual void configureConnection(QSqlDatabase& db, const ConnectionFields& fields) const = 0;
    // Statements that run on every new connection before any other, so that statements behave
    // the same whatever the server's or driver's defaults.
    virtual QStringList sessionStatements() const { return {}; }
    // The text as an SQL string constant, quotes doubled.
    static QString quoteText(const QString& text);

    static const Dialect& forKind(DbmsKind kind);
};

} // namespace tarnlow
