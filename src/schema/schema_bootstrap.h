#pragma once

#include "host/numbered_message.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tarnlow {

class SettingsStore;
class Transaction;
enum class DbmsKind;

// The program's own tables.
inline const QString kSystemMenuTable = QStringLiteral("T_SYS_MENU");
inline const QString kSystemConfigTable = QStringLiteral("T_SYS_CONFIG");
inline const QString kSystemVersionTable = QStringLiteral("T_SYS_VER");
// The signed records of the stored program files; created by the first signed import, dropped
// with T_SYS_VER, since its records describe that table's rows.
inline const QString kSystemSignatureTable = QStringLiteral("T_SYS_VER_SIGN");
// The clients' records of their version checks; created by the first check, dropped with the
// others, since each client writes its row again at its next check.
inline const QString kSystemClientTable = QStringLiteral("T_SYS_CLIENT");

// The number of default menu rows; fewer rows than this make the tables count as not initialised.
inline constexpr int kDefaultMenuRowCount = 24;

// Numbered messages of the system tables.
inline constexpr int kMessageTableUnreadable = 10200;   // table name, the server's text
inline constexpr int kMessageCatalogUnreadable = 10201; // the server's text
inline constexpr int kMessageDropQuestion = 10202;      // the tables with their row counts
inline constexpr int kMessageCreateFailed = 10203;      // the server's text (nothing changed)
inline constexpr int kMessageCreatePartial = 10204;     // the server's text (changed partly)
inline constexpr int kMessageCompIdNotWritten = 10205;  // the settings file
inline constexpr int kMessageRowsNeedForce = 10206;     // the tables with their row counts
// Why the tables need initialisation, the first parameter of the messages that say so.
inline constexpr int kReasonTableMissing = 10209;       // table name
inline constexpr int kReasonTooFewMenuRows = 10210;     // rows, the default row count
inline constexpr int kReasonFirstRunMarkerNotN = 10211; // the marker's value
inline constexpr int kReasonFirstRunMarkerMissing = 10212;

// What the check found.
struct SystemTablesFindings {
    bool needsInitialisation = false;
    NumberedMessage reason;                 // why (one of the kReason messages), number 0 when not needed
    std::optional<NumberedMessage> failure; // the check could not tell; nothing may be changed
    QString unreadableTable;                // with failure 10200: the table that exists but cannot be read
};

// Runs the check on the open connection: the menu row count (fetched into a 16-bit integer), the
// version and configuration table probes and the first-run marker (bound, compared after trailing
// blanks are removed). When a probe fails, the catalog tells whether the table is missing (then
// the tables need initialisation) or exists but cannot be read (then the check fails with a
// message that carries the server's text). On an initialised database it sends four statements.
SystemTablesFindings checkSystemTables(Transaction& sqlca);

// One statement of the re-initialisation. dropsTable names the table a DROP statement removes;
// the statement is left out when that table does not exist.
struct SchemaStatement {
    QString text;
    QString dropsTable;
};

// Drop, create and key the three tables, the first-run marker and the default menu rows, in the
// order they run, as the database system of that kind receives them. SQL Server and plain ODBC
// receive the program's own statement texts unchanged.
QList<SchemaStatement> reinitialisationStatements(DbmsKind kind);

// A table that holds rows, as the question before dropping it names it.
struct TableRows {
    QString table;
    qint64 rows = 0;
};
// "T_SYS_MENU: 23, T_SYS_VER: 4", the parameter of the question.
QString describeTableRows(const QList<TableRows>& tables);

// Answers whether tables that still hold rows may be dropped: true to go on.
using DropQuestion = std::function<bool(const NumberedMessage& question, const QList<TableRows>& tables)>;

enum class SystemTablesState {
    AlreadyInitialised, // nothing changed
    Initialised,        // the tables were created anew
    Declined,           // tables with rows were not to be dropped; nothing changed
    Unreadable,         // a table exists but this login cannot read it (message 10200); nothing changed
    Failed,             // the message says why; start-up stops
};

struct SystemTablesOutcome {
    SystemTablesState state = SystemTablesState::Failed;
    NumberedMessage reason;                 // why the tables needed initialisation
    QString unreadableTable;                // with Unreadable: the table
    QList<TableRows> droppedRows;           // tables that held rows when they were dropped (or asked about)
    std::optional<NumberedMessage> message; // to show: the failure, or a warning after Initialised
};

// Creates the three tables anew and drops the signature records' and the clients' tables when they
// exist. Asks
// first (through question) when a table to be dropped holds rows; without a question such tables
// are never dropped. Runs in one transaction where the
// database's table changes are transactional, so a failure leaves the old tables as they were.
// When the caller already has a transaction open, the work joins it and the caller ends it.
// Afterwards Comp_ID is "0" in the settings store.
SystemTablesOutcome reinitialiseSystemTables(Transaction& sqlca, SettingsStore& settings,
                                             const DropQuestion& question);

// The check and, when it finds the tables not initialised, the re-initialisation.
SystemTablesOutcome ensureSystemTables(Transaction& sqlca, SettingsStore& settings,
                                       const DropQuestion& question);

} // namespace tarnlow
