#pragma once

#include <QList>
#include <QString>

#include <array>

namespace tarnlow {

// The databases an update script is read for. Each reads quotes, comments and statements its own
// way, so a script is judged once for each of them.
enum class ScriptDialect { SqlServer, PostgreSql, Sqlite };

inline constexpr std::array<ScriptDialect, 3> kScriptDialects = {
    ScriptDialect::SqlServer, ScriptDialect::PostgreSql, ScriptDialect::Sqlite};

// "SQL Server", "PostgreSQL", "SQLite".
QString scriptDialectName(ScriptDialect dialect);

// One piece of a script as its database's tokenizer sees it. Comments and blanks leave no token.
struct SqlToken {
    enum class Kind {
        Word,       // a key word, a plain name or a variable (@x, #t); text in upper case
        QuotedName, // "name", [name], `name`; text is the name inside the quotes
        Text,       // a string constant, N'...', E'...' (text: what it holds) or a $$ quoted body
        Semicolon,
        OpenParen,
        CloseParen,
        Other,    // a number, an operator, any other character
        BatchEnd, // a line that holds only GO (text: the count written after it, if any)
    };
    Kind kind = Kind::Other;
    QString text;
    int line = 1;        // 1-based line of the token's first character
    qsizetype begin = 0; // offset of the first character in the script
    qsizetype end = 0;   // offset after the last character
};

// Splits a script into tokens the way `dialect` reads it:
// - SQL Server: -- and nested /* */ comments, '' and N'' strings, [names] with ]] and "names";
// - PostgreSQL: -- and nested /* */ comments, '' and E'' strings (backslash escapes), "names",
//   $$ and $tag$ quoted bodies;
// - SQLite: -- and /* */ comments that end at the first */, '' strings, "names", [names], `names`.
// In every dialect a line holding only GO (with blanks, a count or a -- comment after it) becomes
// a BatchEnd token: SQL Server's tools end a batch there, the others would read it as SQL.
// Anything left open (a quote, a comment) runs to the end of the script, as it does for the database.
QList<SqlToken> scanSql(const QString& script, ScriptDialect dialect);

} // namespace tarnlow
