#pragma once

#include "db/connect_retry.h"
#include "host/result.h"

#include <QString>
#include <QStringList>

#include <optional>

class QCommandLineParser;

namespace tarnlow {
class SettingsStore;
class Transaction;
} // namespace tarnlow

namespace tarnlow::cli {

// The environment variable that holds the password when no option gives one.
inline constexpr char kPasswordVariable[] = "TARNLOW_AS_PASSWORD";

// The connection options every database sub-command accepts. An option left out takes the
// stored setting when the connection is made.
struct ConnectionOptions {
    std::optional<QString> dbms;         // --dbms: SQLite, PostgreSQL, ODBC or "MSS Microsoft SQL Server 6.x"
    std::optional<QString> server;       // --server
    std::optional<QString> database;     // --database
    std::optional<QString> login;        // --login
    std::optional<QString> password;     // --password: the text, or "-" to ask on the terminal
    std::optional<QString> passwordFile; // --password-file
    std::optional<QString> connectString;  // --connect-string (ODBC)
    std::optional<QString> connectTimeout; // --connect-timeout, as typed
    // How long a busy server is waited for, from --connect-timeout.
    int connectTimeoutSeconds = kDefaultConnectTimeoutSeconds;
};

// Declares the connection options on a sub-command's parser.
void addConnectionOptions(QCommandLineParser& parser);

// Declares --connect-timeout alone, for a command with connection options of its own, and reads
// it: whole seconds, 0 or more (0: one attempt); the default when it is not given.
void addConnectTimeoutOption(QCommandLineParser& parser);
Result<int> connectTimeoutOption(const QCommandLineParser& parser);

// Connects `sqlca` with its fields, waiting up to `timeoutSeconds` while the server is busy. The
// waiting is shown on the terminal's progress line, or said once on standard error when that is
// not a terminal.
int connectWaitingOnTerminal(Transaction& sqlca, int timeoutSeconds);

// The connection options of a parsed command line. An error names the option that is wrong: an
// unknown database system, or --password together with --password-file.
Result<ConnectionOptions> connectionOptions(const QCommandLineParser& parser);

// The password to log in with: from --password-file (the file's first line), from the terminal
// for "--password -", from --password, from TARNLOW_AS_PASSWORD, or else the stored password
// unscrambled, in that order. The error says which source failed and why.
Result<QString> connectionPassword(const ConnectionOptions& options, const SettingsStore& settings);

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
