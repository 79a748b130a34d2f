#pragma once

#include "host/result.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace tarnlow {
class SettingsStore;
class Transaction;
} // namespace tarnlow

namespace tarnlow::cli {

// The connection options every database sub-command accepts. An option left out takes the
// stored setting when the connection is made.
struct ConnectionOptions {
    std::optional<QString> dbms;     // --dbms: SQLite, PostgreSQL, ODBC or "MSS Microsoft SQL Server 6.x"
    std::optional<QString> server;   // --server
    std::optional<QString> database; // --database
    std::optional<QString> login;    // --login
    std::optional<QString> password; // --password (plain text)
    std::optional<QString> connectString; // --connect-string (ODBC)
};

// Usage text of the options, for a command's usage line.
QString connectionOptionsUsage();

// Takes the connection options out of arguments (both "--name VALUE" and "--name=VALUE") and
// leaves every other argument in place, in order. An error names the option that lacks its value
// or is given twice.
Result<ConnectionOptions> takeConnectionOptions(QStringList& arguments);

// Sets the transaction's connection fields from the options, falling back for each missing one
// to the stored settings (DBMS, ServerIP, database, login, password unscrambled). A missing DBMS
// means SQLite; an SQLite database left empty is tarnlow_as.db in programFolder, and a relative
// one is taken relative to programFolder. Does not connect.
Result<void> configureTransaction(Transaction& sqlca, const ConnectionOptions& options,
                                  const SettingsStore& settings, const QString& programFolder);

// Configures and connects; the error carries the server's text.
Result<void> connectTransaction(Transaction& sqlca, const ConnectionOptions& options,
                                const SettingsStore& settings, const QString& programFolder);

// The folder of the running program, with a trailing separator.
QString programFolder();

// Connects a sub-command's transaction object: the options, the stored settings for what they
// leave out, and the program folder for an SQLite database. The error reads "cannot connect to
// the database: " and the reason.
Result<void> connectForCommand(Transaction& sqlca, const ConnectionOptions& options,
                               const SettingsStore& settings);

} // namespace tarnlow::cli
