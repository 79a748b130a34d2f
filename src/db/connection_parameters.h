#pragma once

#include <QString>

namespace tarnlow {

// The login timeout when the further parameters name none, in seconds.
inline constexpr int kDefaultLoginTimeoutSeconds = 10;

// Reads one entry of the further connection parameters "Key=Value;Key=Value". Keys compare
// case-insensitively and blanks around keys and values are ignored. A value in single quotes may
// hold ';' (a doubled quote stands for one quote). An unquoted ConnectString takes the whole rest
// of the text, because a connect string is itself a list separated by ';'. A missing key gives a
// null string.
QString dbParmValue(const QString& dbParm, const QString& key);

// The login timeout that the further parameters ask for (Timeout=N), or the default.
int loginTimeoutSeconds(const QString& dbParm);

// A server name split into host and port: "host:port" and "host,port" (the SQL Server form) give
// both parts; a name without a port gives port 0. An IPv6 address in brackets keeps its brackets off.
struct HostAndPort {
    QString host;
    int port = 0;
};
HostAndPort splitHostAndPort(const QString& serverName);

// One value of an ODBC connect string, in braces when it holds a character that would otherwise
// end or change the entry.
QString odbcConnectValue(const QString& value);

// The connect string for SQL Server through the FreeTDS ODBC driver (or the driver the further
// parameters name with Driver=...).
QString sqlServerConnectString(const QString& serverName, const QString& database, const QString& login,
                               const QString& password, const QString& dbParm);

} // namespace tarnlow
