// How SQL Server runs an update script: batches between GO lines, definitions that take the rest
// of their batch, transactions that nest inside the import's one, and the statements it refuses
// inside a transaction.
//
// T-SQL needs no semicolon between statements, so statements are not divided here; the words that
// matter (BEGIN, COMMIT, ROLLBACK, SAVE, TRAN, CREATE, ...) are reserved key words, which stand
// nowhere but at the start of their statement or inside it where no name can stand.

#include "update/script_rules.h"

#include <QSet>
#include <QStringList>

namespace tarnlow {
namespace {

// Statements SQL Server refuses inside a transaction.
const QList<const char16_t*> kNotInTransaction = {
    u"CREATE DATABASE !AUDIT !ENCRYPTION !SCOPED",
    u"ALTER DATABASE !AUDIT !ENCRYPTION !SCOPED",
    u"DROP DATABASE !AUDIT !ENCRYPTION !SCOPED",
    u"BACKUP",
    u"RESTORE",
    u"CREATE|ALTER|DROP FULLTEXT CATALOG|INDEX",
};

// A definition takes the rest of its batch and must be the first statement there.
const char16_t* const kDefinition = u"CREATE|ALTER ?OR ?ALTER PROC|PROCEDURE|FUNCTION|TRIGGER|VIEW";

// T-SQL's reserved key words: none of them can be the name of a transaction or a savepoint, so a
// ROLLBACK TRAN followed by one of them names nothing.
bool isReserved(const QString& word) {
    static const QSet<QString> reserved = [] {
        const QString words = QStringLiteral(
            "ADD ALL ALTER AND ANY AS ASC AUTHORIZATION BACKUP BEGIN BETWEEN BREAK BROWSE BULK BY CASCADE "
            "CASE "
            "CHECK CHECKPOINT CLOSE CLUSTERED COALESCE COLLATE COLUMN COMMIT COMPUTE CONSTRAINT CONTAINS "
            "CONTAINSTABLE CONTINUE CONVERT CREATE CROSS CURRENT CURRENT_DATE CURRENT_TIME CURRENT_TIMESTAMP "
            "CURRENT_USER CURSOR DATABASE DBCC DEALLOCATE DECLARE DEFAULT DELETE DENY DESC DISK DISTINCT "
            "DISTRIBUTED DOUBLE DROP DUMP ELSE END ERRLVL ESCAPE EXCEPT EXEC EXECUTE EXISTS EXIT EXTERNAL "
            "FETCH "
            "FILE FILLFACTOR FOR FOREIGN FREETEXT FREETEXTTABLE FROM FULL FUNCTION GOTO GRANT GROUP HAVING "
            "HOLDLOCK IDENTITY IDENTITY_INSERT IDENTITYCOL IF IN INDEX INNER INSERT INTERSECT INTO IS JOIN "
            "KEY "
            "KILL LEFT LIKE LINENO LOAD MERGE NATIONAL NOCHECK NONCLUSTERED NOT NULL NULLIF OF OFF OFFSETS "
            "ON "
            "OPEN OPENDATASOURCE OPENQUERY OPENROWSET OPENXML OPTION OR ORDER OUTER OVER PERCENT PIVOT PLAN "
            "PRECISION PRIMARY PRINT PROC PROCEDURE PUBLIC RAISERROR READ READTEXT RECONFIGURE REFERENCES "
            "REPLICATION RESTORE RESTRICT RETURN REVERT REVOKE RIGHT ROLLBACK ROWCOUNT ROWGUIDCOL RULE SAVE "
            "SCHEMA SECURITYAUDIT SELECT SEMANTICKEYPHRASETABLE SEMANTICSIMILARITYDETAILSTABLE "
            "SEMANTICSIMILARITYTABLE SESSION_USER SET SETUSER SHUTDOWN SOME STATISTICS SYSTEM_USER TABLE "
            "TABLESAMPLE TEXTSIZE THEN TO TOP TRAN TRANSACTION TRIGGER TRUNCATE TRY_CONVERT TSEQUAL UNION "
            "UNIQUE UNPIVOT UPDATE UPDATETEXT USE USER VALUES VARYING VIEW WAITFOR WHEN WHERE WHILE WITH "
            "WITHIN WRITETEXT");
        const QStringList list = words.split(QLatin1Char(' '));
        return QSet<QString>(list.cbegin(), list.cend());
    }();
    return reserved.contains(word);
}

// Follows the transactions of a script through its batches, in the order SQL Server meets them.
class TransactionWalk {
public:
    explicit TransactionWalk(const SqlReading& reading)
        : m_reading(reading) {}

    std::optional<ScriptRefusal> run() {
        for (const SqlBatch& batch : m_reading.batches()) {
            if (std::optional<ScriptRefusal> refused = walkBatch(batch))
                return refused;
            if (batch.separator && !m_reading.tokens().at(*batch.separator).text.isEmpty())
                return refusalAt(
                    m_reading, *batch.separator,
                    QStringLiteral("GO ") + m_reading.tokens().at(*batch.separator).text,
                    QStringLiteral("a count after GO repeats the batch in SQL Server's tools, but "
                                   "the import runs each batch once; write the batch out as often "
                                   "as it should run"));
        }
        if (!m_openLines.isEmpty())
            return ScriptRefusal{
                m_openLines.first(), m_openWords.first(),
                QStringLiteral("no later COMMIT balances it, so the import's transaction would "
                               "be left open")};
        return std::nullopt;
    }

private:
    std::optional<ScriptRefusal> walkBatch(const SqlBatch& batch) {
        qsizetype first = batch.tokens.first;
        while (first < batch.tokens.end && m_reading.tokens().at(first).kind == SqlToken::Kind::Semicolon)
            ++first;
        // The body of a definition is not run now: whatever it holds is the definition's.
        if (m_reading.match(first, batch.tokens.end, kDefinition))
            return std::nullopt;
        for (qsizetype i = first; i < batch.tokens.end; ++i) {
            // GRANT CREATE PROCEDURE, DENY BACKUP DATABASE and the like name permissions, not
            // statements: their list ends at ON, TO or FROM.
            if (m_reading.match(i, batch.tokens.end, u"GRANT|DENY|REVOKE")) {
                while (i + 1 < batch.tokens.end && !m_reading.match(i + 1, batch.tokens.end, u"ON|TO|FROM"))
                    ++i;
                continue;
            }
            if (std::optional<ScriptRefusal> refused = atWord(i, batch.tokens.end))
                return refused;
        }
        return std::nullopt;
    }

    std::optional<ScriptRefusal> atWord(qsizetype i, qsizetype end) {
        const QString word = m_reading.word(i);
        if (word.isEmpty())
            return std::nullopt;
        if (const std::optional<QString> definition = m_reading.match(i, end, kDefinition))
            return refusalAt(m_reading, i, *definition,
                             QStringLiteral("%1 must be the first statement of its batch; put a line holding "
                                            "only GO before it")
                                 .arg(*definition));
        if (word == QLatin1String("BEGIN"))
            return begin(i, end);
        if (word == QLatin1String("COMMIT"))
            return commit(i, end);
        if (word == QLatin1String("ROLLBACK"))
            return rollback(i, end);
        if (word == QLatin1String("SAVE")) {
            if (m_reading.match(i, end, u"SAVE TRAN|TRANSACTION")) {
                if (const std::optional<QString> name = nameAt(i + 2, end))
                    m_savepoints.insert(*name);
            }
            return std::nullopt;
        }
        return tableRefusal(m_reading, i, end, kNotInTransaction, cannotRunInTransaction());
    }

    std::optional<ScriptRefusal> begin(qsizetype i, qsizetype end) {
        if (const std::optional<QString> words =
                m_reading.match(i, end, u"BEGIN DISTRIBUTED TRAN|TRANSACTION"))
            return refusalAt(m_reading, i, *words,
                             QStringLiteral("a distributed transaction cannot be started inside the import's "
                                            "transaction"));
        // BEGIN ... END, BEGIN TRY and BEGIN CATCH are blocks, not transactions.
        if (const std::optional<QString> words = m_reading.match(i, end, u"BEGIN TRAN|TRANSACTION")) {
            m_openLines.append(m_reading.tokens().at(i).line);
            m_openWords.append(*words);
        }
        return std::nullopt;
    }

    // A COMMIT ends the innermost transaction the script began; with none open it would commit
    // the import's.
    std::optional<ScriptRefusal> commit(qsizetype i, qsizetype end) {
        const QString words = *m_reading.match(i, end, u"COMMIT ?TRAN|TRANSACTION|WORK");
        if (m_openLines.isEmpty())
            return refusalAt(m_reading, i, words,
                             QStringLiteral("no BEGIN TRANSACTION of the script comes before it, so it would "
                                            "commit the import's transaction"));
        m_openLines.removeLast();
        m_openWords.removeLast();
        return std::nullopt;
    }

    // Only a ROLLBACK to a savepoint of the script leaves the import's transaction standing.
    std::optional<ScriptRefusal> rollback(qsizetype i, qsizetype end) {
        const QString words = *m_reading.match(i, end, u"ROLLBACK ?TRAN|TRANSACTION|WORK");
        const bool named = words != QLatin1String("ROLLBACK") && words != QLatin1String("ROLLBACK WORK");
        const std::optional<QString> name = named ? nameAt(i + 2, end) : std::nullopt;
        if (!name)
            return refusalAt(
                m_reading, i, words,
                QStringLiteral("a ROLLBACK without the name of a savepoint rolls back the import's "
                               "whole transaction; roll back to a savepoint instead (SAVE "
                               "TRANSACTION name ... ROLLBACK TRANSACTION name)"));
        if (!m_savepoints.contains(*name))
            return refusalAt(m_reading, i, words + QLatin1Char(' ') + *name,
                             QStringLiteral("%1 is not a savepoint the script saved before with SAVE "
                                            "TRANSACTION")
                                 .arg(*name));
        return std::nullopt;
    }

    // The name of a transaction or savepoint at `index`: a plain name, a quoted name or a variable.
    std::optional<QString> nameAt(qsizetype index, qsizetype end) const {
        if (index >= end)
            return std::nullopt;
        const SqlToken& token = m_reading.tokens().at(index);
        if (token.kind == SqlToken::Kind::QuotedName)
            return token.text.toUpper();
        if (token.kind == SqlToken::Kind::Word && !isReserved(token.text))
            return token.text;
        return std::nullopt;
    }

    const SqlReading& m_reading;
    QList<int> m_openLines; // the BEGIN TRAN of the script not yet balanced, outermost first
    QStringList m_openWords;
    QSet<QString> m_savepoints;
};

} // namespace

std::optional<ScriptRefusal> sqlServerRefusal(const SqlReading& reading) {
    return TransactionWalk(reading).run();
}

} // namespace tarnlow
