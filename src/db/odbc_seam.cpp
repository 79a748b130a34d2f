#include "db/odbc_seam.h"

#include <sql.h>
#include <sqlext.h>

#include <utility>

namespace tarnlow {
namespace {

OdbcSeam& currentSeam() {
    static OdbcSeam seam;
    return seam;
}

} // namespace

OdbcSeam setOdbcSeam(OdbcSeam seam) {
    return std::exchange(currentSeam(), std::move(seam));
}

QString odbcDbmsName(const QString& reported) {
    const OdbcSeam& seam = currentSeam();
    return seam.dbmsName ? seam.dbmsName(reported) : reported;
}

QString odbcStatementText(const QString& sql) {
    const OdbcSeam& seam = currentSeam();
    return seam.statementText ? seam.statementText(sql) : sql;
}

qint64 odbcRowCount(const QString& sql, qint64 reported) {
    const OdbcSeam& seam = currentSeam();
    return seam.rowCount ? seam.rowCount(sql, reported) : reported;
}

QString odbcDbmsNameOf(void* connection) {
    QString reported;
    if (connection) {
        SQLCHAR name[256] = {};
        SQLSMALLINT length = 0;
        if (SQL_SUCCEEDED(SQLGetInfo(connection, SQL_DBMS_NAME, name, sizeof name, &length)))
            reported = QString::fromUtf8(reinterpret_cast<const char*>(name)).trimmed();
    }
    return odbcDbmsName(reported);
}

} // namespace tarnlow
