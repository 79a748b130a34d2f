#include "update/sql_scanner.h"

#include <optional>

namespace tarnlow {
namespace {

// How one database reads quotes and comments.
struct Rules {
    bool nestedComments = false;
    bool escapeStrings = false;   // E'...' with backslash escapes
    bool nationalStrings = false; // N'...'
    bool bracketNames = false;
    bool bracketDoubling = false; // ]] inside [name] stands for ]
    bool backtickNames = false;
    bool dollarQuotes = false;
};

Rules rulesFor(ScriptDialect dialect) {
    switch (dialect) {
    case ScriptDialect::SqlServer:
        return {true, false, true, true, true, false, false};
    case ScriptDialect::PostgreSql:
        return {true, true, false, false, false, false, true};
    case ScriptDialect::Sqlite:
        return {false, false, false, true, false, true, false};
    }
    return {};
}

// Every database takes characters beyond ASCII as parts of names.
bool isWordStart(QChar c) {
    return c.isLetter() || c == QLatin1Char('_') || c == QLatin1Char('@') || c == QLatin1Char('#') ||
           c.unicode() >= 0x80;
}

bool isWordPart(QChar c) {
    return isWordStart(c) || c.isDigit() || c == QLatin1Char('$');
}

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r') ||
           c == QLatin1Char('\f') || c == QLatin1Char('\v');
}

class Scanner {
public:
    Scanner(const QString& text, Rules rules)
        : m_text(text)
        , m_rules(rules) {}

    QList<SqlToken> run() {
        while (m_at < m_text.size()) {
            const QChar c = m_text.at(m_at);
            if (c == QLatin1Char('\n')) {
                ++m_line;
                ++m_at;
                m_lineHasContent = false;
                continue;
            }
            if (c.isSpace()) {
                ++m_at;
                continue;
            }
            const bool lineStart = !m_lineHasContent;
            m_lineHasContent = true;
            if (startsWith("--")) {
                const qsizetype end = m_text.indexOf(QLatin1Char('\n'), m_at);
                m_at = end < 0 ? m_text.size() : end;
            } else if (startsWith("/*")) {
                skipBlockComment();
            } else {
                token(c, lineStart);
            }
        }
        return m_tokens;
    }

private:
    void token(QChar c, bool lineStart) {
        const qsizetype begin = m_at;
        const int line = m_line;
        SqlToken::Kind kind = SqlToken::Kind::Other;
        QString text;
        if (c == QLatin1Char('\'')) {
            text = skipQuoted(QLatin1Char('\''), true, false);
            kind = SqlToken::Kind::Text;
        } else if (c == QLatin1Char('"') || (c == QLatin1Char('`') && m_rules.backtickNames)) {
            text = skipQuoted(c, true, false);
            kind = SqlToken::Kind::QuotedName;
        } else if (c == QLatin1Char('[') && m_rules.bracketNames) {
            text = skipQuoted(QLatin1Char(']'), m_rules.bracketDoubling, false);
            kind = SqlToken::Kind::QuotedName;
        } else if (c == QLatin1Char('$') && m_rules.dollarQuotes && skipDollarQuoted()) {
            kind = SqlToken::Kind::Text;
        } else if (c == QLatin1Char(';')) {
            kind = SqlToken::Kind::Semicolon;
            ++m_at;
        } else if (c == QLatin1Char('(')) {
            kind = SqlToken::Kind::OpenParen;
            ++m_at;
        } else if (c == QLatin1Char(')')) {
            kind = SqlToken::Kind::CloseParen;
            ++m_at;
        } else if (isWordStart(c)) {
            while (m_at < m_text.size() && isWordPart(m_text.at(m_at)))
                ++m_at;
            text = m_text.mid(begin, m_at - begin).toUpper();
            kind = SqlToken::Kind::Word;
            const bool quoteFollows = m_at < m_text.size() && m_text.at(m_at) == QLatin1Char('\'');
            if (quoteFollows && ((text == QLatin1String("N") && m_rules.nationalStrings) ||
                                 (text == QLatin1String("E") && m_rules.escapeStrings))) {
                text = skipQuoted(QLatin1Char('\''), true, text == QLatin1String("E"));
                kind = SqlToken::Kind::Text;
            } else if (lineStart && text == QLatin1String("GO")) {
                if (const std::optional<QString> count = restOfGoLine()) {
                    kind = SqlToken::Kind::BatchEnd;
                    text = *count;
                }
            }
        } else if (c.isDigit()) {
            while (m_at < m_text.size() &&
                   (m_text.at(m_at).isLetterOrNumber() || m_text.at(m_at) == QLatin1Char('.')))
                ++m_at;
        } else {
            ++m_at;
        }
        m_tokens.append(SqlToken{kind, text, line, begin, m_at});
    }

    // After a GO at the start of a line: the count when only blanks, an optional count and an
    // optional -- comment follow up to the end of the line. The position moves past a count.
    std::optional<QString> restOfGoLine() {
        qsizetype at = m_at;
        while (at < m_text.size() && isBlank(m_text.at(at)))
            ++at;
        const qsizetype digits = at;
        while (at < m_text.size() && m_text.at(at).isDigit())
            ++at;
        const QString count = m_text.mid(digits, at - digits);
        if (!count.isEmpty() && at < m_text.size() && !isBlank(m_text.at(at)) &&
            m_text.at(at) != QLatin1Char('\n') && m_text.at(at) != QLatin1Char('-'))
            return std::nullopt;
        while (at < m_text.size() && isBlank(m_text.at(at)))
            ++at;
        if (at < m_text.size() && m_text.at(at) != QLatin1Char('\n') &&
            !QStringView(m_text).mid(at).startsWith(QLatin1String("--")))
            return std::nullopt;
        if (!count.isEmpty())
            m_at = digits + count.size();
        return count;
    }

    bool startsWith(const char* prefix) const {
        return QStringView(m_text).mid(m_at).startsWith(QLatin1String(prefix));
    }

    void advanceTo(qsizetype end) {
        for (; m_at < end && m_at < m_text.size(); ++m_at)
            if (m_text.at(m_at) == QLatin1Char('\n'))
                ++m_line;
    }

    void skipBlockComment() {
        int depth = 0;
        while (m_at < m_text.size()) {
            if (startsWith("/*") && (depth == 0 || m_rules.nestedComments)) {
                ++depth;
                m_at += 2;
            } else if (startsWith("*/")) {
                m_at += 2;
                if (--depth == 0)
                    return;
            } else {
                advanceTo(m_at + 1);
            }
        }
    }

    // Steps over a quoted piece that starts at the current position and returns what stands
    // between the quotes. With `doubling` a doubled closing character stands for itself; with
    // `backslashes` a backslash takes the character after it.
    QString skipQuoted(QChar close, bool doubling, bool backslashes) {
        ++m_at; // the opening quote
        QString inside;
        while (m_at < m_text.size()) {
            const QChar c = m_text.at(m_at);
            if (backslashes && c == QLatin1Char('\\')) {
                advanceTo(m_at + 2);
            } else if (c == close) {
                ++m_at;
                if (!doubling || m_at >= m_text.size() || m_text.at(m_at) != close)
                    return inside;
                inside += close;
                ++m_at;
            } else {
                inside += c;
                advanceTo(m_at + 1);
            }
        }
        return inside;
    }

    // $tag$ ... $tag$ (the tag may be empty); a $ that opens no such quote ($1) is left alone.
    bool skipDollarQuoted() {
        qsizetype end = m_at + 1;
        if (end < m_text.size() && m_text.at(end).isDigit())
            return false;
        while (end < m_text.size() &&
               (m_text.at(end).isLetterOrNumber() || m_text.at(end) == QLatin1Char('_') ||
                m_text.at(end).unicode() >= 0x80))
            ++end;
        if (end >= m_text.size() || m_text.at(end) != QLatin1Char('$'))
            return false;
        const QString tag = m_text.mid(m_at, end - m_at + 1);
        advanceTo(end + 1);
        const qsizetype close = m_text.indexOf(tag, m_at);
        advanceTo(close < 0 ? m_text.size() : close + tag.size());
        return true;
    }

    const QString& m_text;
    const Rules m_rules;
    qsizetype m_at = 0;
    int m_line = 1;
    bool m_lineHasContent = false;
    QList<SqlToken> m_tokens;
};

} // namespace

QString scriptDialectName(ScriptDialect dialect) {
    switch (dialect) {
    case ScriptDialect::SqlServer:
        return QStringLiteral("SQL Server");
    case ScriptDialect::PostgreSql:
        return QStringLiteral("PostgreSQL");
    case ScriptDialect::Sqlite:
        return QStringLiteral("SQLite");
    }
    return {};
}

QList<SqlToken> scanSql(const QString& script, ScriptDialect dialect) {
    return Scanner(script, rulesFor(dialect)).run();
}

} // namespace tarnlow
