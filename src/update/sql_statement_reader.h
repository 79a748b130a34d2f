#pragma once

#include "update/sql_scanner.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

namespace tarnlow {

// Tokens [first, end) of a script.
struct SqlRange {
    qsizetype first = 0;
    qsizetype end = 0;
    bool isEmpty() const { return first >= end; }
};

// The part of a script before, between or after lines that hold only GO.
struct SqlBatch {
    SqlRange tokens;
    qsizetype textBegin = 0; // the batch's text in the script, its GO line left out
    qsizetype textEnd = 0;
    int firstLine = 1;                  // line of its first token (of its GO line when it has none)
    std::optional<qsizetype> separator; // the BatchEnd token that ends it, if one does
};

// A script read by the rules of one database: its tokens, its batches and, where semicolons end
// statements, its statements.
class SqlReading {
public:
    SqlReading(const QString& script, ScriptDialect dialect);

    ScriptDialect dialect() const { return m_dialect; }
    const QList<SqlToken>& tokens() const { return m_tokens; }
    const QList<SqlBatch>& batches() const { return m_batches; }

    // The statements of a batch, divided at semicolons. A semicolon inside the body of an SQLite
    // trigger, of a PostgreSQL function written as BEGIN ATOMIC ... END or inside parentheses on
    // PostgreSQL (a rule's actions) does not end its statement. SQL Server needs no semicolons
    // between statements, so its batches are not divided here.
    QList<SqlRange> statements(const SqlBatch& batch) const;

    // The word at `index` (upper case), or an empty text when no word stands there.
    QString word(qsizetype index) const;

    // Matches `pattern` against the tokens from `from` on, up to `end`, and returns the words it
    // matched, joined by blanks. The pattern is a list of elements separated by blanks:
    //   WORD      the word (or a string constant holding it)   A|B   one of these words
    //   ?WORD     the word or nothing                          ()    a parenthesised group or nothing
    //   !WORD     anything but this word follows (takes no token)
    //   *         any tokens, as few as let the rest match     $     the end
    std::optional<QString> match(qsizetype from, qsizetype end, QStringView pattern) const;

private:
    bool matchFrom(const QList<QStringView>& elements, qsizetype element, qsizetype at, qsizetype end,
                   QStringList& words) const;
    bool tokenIs(qsizetype index, QStringView alternatives) const;
    // The index after the parenthesised group that opens at `index`.
    qsizetype afterGroup(qsizetype index, qsizetype end) const;

    ScriptDialect m_dialect;
    QList<SqlToken> m_tokens;
    QList<SqlBatch> m_batches;
};

} // namespace tarnlow
