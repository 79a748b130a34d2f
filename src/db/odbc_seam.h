#pragma once

#include <QString>

#include <functional>
#include <utility>

namespace tarnlow {

// Where the program's statements meet an ODBC driver. No SQL Server runs where the tests run, so
// they play one on the ODBC drivers that do: they may rename the database system the driver
// reports, answer a statement SQL Server alone understands (SELECT @@TRANCOUNT) by giving the
// driver another text, and report -1 rows as SQL Server's driver does under SET NOCOUNT ON. Each
// part left empty passes the driver's own through.
struct OdbcSeam {
    // The database system named by SQLGetInfo(SQL_DBMS_NAME).
    std::function<QString(const QString& reported)> dbmsName;
    // The text a statement reaches the driver with.
    std::function<QString(const QString& sql)> statementText;
    // The rows a statement affected, as SQLRowCount reports them (-1: not reported).
    std::function<qint64(const QString& sql, qint64 reported)> rowCount;
};

// Installs a seam and returns the previous one; an empty seam restores the driver's own answers.
// Installed while no statement runs.
OdbcSeam setOdbcSeam(OdbcSeam seam);

// Installs a seam for the life of the object, then restores the one before.
class ScopedOdbcSeam {
public:
    explicit ScopedOdbcSeam(OdbcSeam seam)
        : m_previous(setOdbcSeam(std::move(seam))) {}
    ~ScopedOdbcSeam() { setOdbcSeam(std::move(m_previous)); }
    ScopedOdbcSeam(const ScopedOdbcSeam&) = delete;
    ScopedOdbcSeam& operator=(const ScopedOdbcSeam&) = delete;

private:
    OdbcSeam m_previous;
};

// The driver's answers, passed through the seam.
QString odbcDbmsName(const QString& reported);
QString odbcStatementText(const QString& sql);
qint64 odbcRowCount(const QString& sql, qint64 reported);

// The database system the ODBC connection `connection` (an SQLHDBC) reaches, through the seam.
QString odbcDbmsNameOf(void* connection);

} // namespace tarnlow
