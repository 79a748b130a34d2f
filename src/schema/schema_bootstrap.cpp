#include "schema/schema_bootstrap.h"

#include "db/dialect.h"
#include "db/transaction.h"
#include "host/settings_store.h"

#include <algorithm>

namespace tarnlow {
namespace {

const QString kMenuCount = QStringLiteral("select count ( *) from t_sys_menu ");
const QString kVersionProbe = QStringLiteral("select count ( *) from t_sys_ver ");
const QString kConfigProbe = QStringLiteral("select count ( *) from t_sys_config ");
// The marker's key is bound: a double-quoted "FR" would name a column on most connections.
const QString kFirstRunQuery = QStringLiteral("select conf_value from t_sys_config where conf_type = ? ");

const QStringList& systemTables() {
    static const QStringList tables{kSystemMenuTable, kSystemConfigTable, kSystemVersionTable,
                                    kSystemSignatureTable, kSystemClientTable};
    return tables;
}

// The tables created when first needed are not part of the program's own statement list; each goes
// when it exists.
SchemaStatement laterTableDrop(DbmsKind kind, const QString& table) {
    if (kind == DbmsKind::SqlServer || kind == DbmsKind::Odbc)
        return {QStringLiteral("DROP TABLE [dbo].[") + table + QLatin1Char(']'), table};
    return {QStringLiteral("DROP TABLE ") + table, table};
}

QString withoutTrailingBlanks(const QString& text) {
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.left(end);
}

// Whether the table exists, from the catalog; no value when the catalog cannot be read.
std::optional<bool> tableExists(Transaction& sqlca, const QString& table) {
    const std::optional<QVariantList> row =
        sqlca.selectInto(sqlca.dialect().tableExistsQuery(), {table.toLower()});
    if (!row)
        return sqlca.SQLCode == kSqlNotFound ? std::optional<bool>(false) : std::nullopt;
    return row->value(0).toLongLong() > 0;
}

// After a probe of the table failed: a missing table means the tables need initialisation;
// anything else stops the check before anything is changed.
SystemTablesFindings afterFailedProbe(Transaction& sqlca, const QString& table) {
    const QString probeError = sqlca.SQLErrText;
    SystemTablesFindings findings;
    const std::optional<bool> exists = tableExists(sqlca, table);
    if (!exists) {
        findings.failure = NumberedMessage{kMessageCatalogUnreadable, {sqlca.SQLErrText}};
        return findings;
    }
    if (*exists) {
        findings.failure = NumberedMessage{kMessageTableUnreadable, {table, probeError}};
        findings.unreadableTable = table;
        return findings;
    }
    findings.needsInitialisation = true;
    findings.reason = NumberedMessage{kReasonTableMissing, {table}};
    return findings;
}

SystemTablesOutcome failed(int number, const QStringList& parameters, QList<TableRows> rows = {}) {
    SystemTablesOutcome outcome;
    outcome.state = SystemTablesState::Failed;
    outcome.message = NumberedMessage{number, parameters};
    outcome.droppedRows = std::move(rows);
    return outcome;
}

} // namespace

SystemTablesFindings checkSystemTables(Transaction& sqlca) {
    // The menu rows are counted into a 16-bit integer, as the stored count has always been read.
    qint16 li_test = 0;
    QString ls_firstrun = QStringLiteral("");

    std::optional<QVariantList> row = sqlca.selectInto(kMenuCount);
    if (sqlca.SQLCode < 0)
        return afterFailedProbe(sqlca, kSystemMenuTable);
    // Clamped first: a table of more than 32,767 rows must not wrap to a negative count and look
    // empty.
    li_test = static_cast<qint16>(std::clamp<qint64>(row ? row->value(0).toLongLong() : 0, 0, 32767));
    if (li_test < kDefaultMenuRowCount) {
        SystemTablesFindings findings;
        findings.needsInitialisation = true;
        findings.reason = NumberedMessage{kReasonTooFewMenuRows,
                                          {QString::number(li_test), QString::number(kDefaultMenuRowCount)}};
        return findings;
    }

    sqlca.selectInto(kVersionProbe);
    if (sqlca.SQLCode < 0)
        return afterFailedProbe(sqlca, kSystemVersionTable);
    sqlca.selectInto(kConfigProbe);
    if (sqlca.SQLCode < 0)
        return afterFailedProbe(sqlca, kSystemConfigTable);

    row = sqlca.selectInto(kFirstRunQuery, {QStringLiteral("FR")});
    if (sqlca.SQLCode < 0) {
        // The table was readable a moment ago, so this is no missing table.
        return afterFailedProbe(sqlca, kSystemConfigTable);
    }
    if (row) {
        const QVariant value = row->value(0);
        ls_firstrun = value.isNull() ? QString() : withoutTrailingBlanks(value.toString());
    }
    SystemTablesFindings findings;
    if (!ls_firstrun.isNull() && ls_firstrun != QLatin1String("N")) {
        findings.needsInitialisation = true;
        findings.reason = row ? NumberedMessage{kReasonFirstRunMarkerNotN, {ls_firstrun}}
                              : NumberedMessage{kReasonFirstRunMarkerMissing, {}};
    }
    return findings;
}

QString describeTableRows(const QList<TableRows>& tables) {
    QStringList parts;
    for (const TableRows& table : tables)
        parts << table.table + QStringLiteral(": ") + QString::number(table.rows);
    return parts.join(QStringLiteral(", "));
}

SystemTablesOutcome reinitialiseSystemTables(Transaction& sqlca, SettingsStore& settings,
                                             const DropQuestion& question) {
    // Which tables exist and which of them hold rows, before anything is touched.
    QStringList existing;
    QList<TableRows> withRows;
    for (const QString& table : systemTables()) {
        const std::optional<bool> exists = tableExists(sqlca, table);
        if (!exists)
            return failed(kMessageCatalogUnreadable, {sqlca.SQLErrText});
        if (!*exists)
            continue;
        existing << table;
        const std::optional<QVariantList> count =
            sqlca.selectInto(QStringLiteral("SELECT count(*) FROM ") + table);
        if (!count) {
            // A table that cannot be read is never dropped: nobody could tell what it held.
            SystemTablesOutcome outcome = failed(kMessageTableUnreadable, {table, sqlca.SQLErrText});
            outcome.state = SystemTablesState::Unreadable;
            outcome.unreadableTable = table;
            return outcome;
        }
        const qint64 rows = count->value(0).toLongLong();
        if (rows > 0)
            withRows.append({table, rows});
    }

    if (!withRows.isEmpty()) {
        const NumberedMessage ask{kMessageDropQuestion, {describeTableRows(withRows)}};
        if (!question || !question(ask, withRows)) {
            SystemTablesOutcome outcome;
            outcome.state = SystemTablesState::Declined;
            outcome.droppedRows = withRows;
            return outcome;
        }
    }

    const bool transactional = sqlca.dialect().transactionalDdl();
    // A connection without autocommit is already inside a transaction; the work joins it.
    const bool ownTransaction = transactional && !sqlca.inTransaction();
    if (ownTransaction && sqlca.begin() != kSqlSuccess)
        return failed(kMessageCreateFailed, {sqlca.SQLErrText}, withRows);

    QList<SchemaStatement> statements = reinitialisationStatements(sqlca.kind());
    statements.append(laterTableDrop(sqlca.kind(), kSystemSignatureTable));
    statements.append(laterTableDrop(sqlca.kind(), kSystemClientTable));
    for (const SchemaStatement& statement : statements) {
        if (!statement.dropsTable.isEmpty() && !existing.contains(statement.dropsTable))
            continue;
        if (sqlca.executeImmediate(statement.text) != kSqlSuccess) {
            const QString text = sqlca.SQLErrText;
            // A caller's transaction is the caller's to end.
            if (ownTransaction)
                sqlca.rollback();
            return failed(transactional ? kMessageCreateFailed : kMessageCreatePartial, {text}, withRows);
        }
    }
    if (ownTransaction && sqlca.commit() != kSqlSuccess)
        return failed(kMessageCreateFailed, {sqlca.SQLErrText}, withRows);

    SystemTablesOutcome outcome;
    outcome.state = SystemTablesState::Initialised;
    outcome.droppedRows = withRows;
    // Every component stored in the database is new to this computer from now on.
    if (!settings.write(kSettingsKey, QStringLiteral("Comp_ID"), QStringLiteral("0")))
        outcome.message = NumberedMessage{kMessageCompIdNotWritten, {settings.filePath()}};
    return outcome;
}

SystemTablesOutcome ensureSystemTables(Transaction& sqlca, SettingsStore& settings,
                                       const DropQuestion& question) {
    const SystemTablesFindings findings = checkSystemTables(sqlca);
    if (findings.failure) {
        SystemTablesOutcome outcome;
        outcome.state =
            findings.unreadableTable.isEmpty() ? SystemTablesState::Failed : SystemTablesState::Unreadable;
        outcome.message = findings.failure;
        outcome.unreadableTable = findings.unreadableTable;
        return outcome;
    }
    if (!findings.needsInitialisation) {
        SystemTablesOutcome outcome;
        outcome.state = SystemTablesState::AlreadyInitialised;
        return outcome;
    }
    SystemTablesOutcome outcome = reinitialiseSystemTables(sqlca, settings, question);
    outcome.reason = findings.reason;
    return outcome;
}

} // namespace tarnlow
