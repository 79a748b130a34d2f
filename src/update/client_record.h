#pragma once

#include "host/client_identity.h"
#include "host/numbered_message.h"
#include "host/result.h"

#include <QDateTime>
#include <QString>
#include <QVariantList>

#include <optional>

namespace tarnlow {

class SettingsStore;
class Transaction;

// The table in which every client records its last version check, one row per machine and
// program folder.
inline const QString kClientTable = QStringLiteral("T_SYS_CLIENT");

// The check's state could not be recorded; the download is not affected: table, reason.
inline constexpr int kMessageClientNotRecorded = 10416;

// What a client records about itself after a version check.
struct ClientCheck {
    ClientIdentity identity;
    QString folder;              // the program folder the check brought up to date
    qint32 installedComponent{}; // Comp_ID after the check
    QDateTime checkedAt;         // UTC
    std::optional<NumberedMessage> failure;
    QString failureText; // the failure's text as the operator read it
};

// The two forms the table's statements take: SQL Server's (also plain ODBC, which the program
// uses against SQL Server), and the one PostgreSQL and SQLite share.
enum class ClientTableSyntax { SqlServer, Standard };

// The form for the database behind the connection; an ODBC data source is asked which system it is.
ClientTableSyntax clientTableSyntax(const Transaction& sqlca);
QString clientTableStatement(ClientTableSyntax syntax);
// One statement that inserts the client's row or updates it when the machine and folder already
// have one, atomically under concurrent clients; ten bound values in clientRowValues' order.
QString clientUpsertStatement(ClientTableSyntax syntax);
QVariantList clientRowValues(const ClientCheck& check);

// The time of a check as stored: ISO 8601 in UTC with milliseconds, so that the text sorts as the
// times do.
QString checkTimeText(const QDateTime& time);

// Writes the client's row in a short transaction of its own, creating the table first when it does
// not exist. Call it outside any transaction of the caller's: the work is committed at once.
Result<void> recordClientCheck(Transaction& sqlca, const ClientCheck& check);

// This client's check (identity, Comp_ID from the settings, now), recorded; message 10416 when it
// could not be, for the front end to say once where it does not stand in the way.
std::optional<NumberedMessage> recordVersionCheck(Transaction& sqlca, const SettingsStore& settings,
                                                  const QString& folder,
                                                  const std::optional<NumberedMessage>& failure);

} // namespace tarnlow
