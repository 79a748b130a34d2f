#include "update/script_check.h"

#include <QList>
#include <QStringList>

namespace tarnlow {
namespace {

struct Token {
    enum Kind { Word, Semicolon, Other } kind = Other;
    QString word; // upper case, for words only
    int line = 1;
};

bool isWordStart(QChar c) {
    return c.isLetter() || c == QLatin1Char('_') || c == QLatin1Char('@') || c == QLatin1Char('#');
}

bool isWordPart(QChar c) {
    return isWordStart(c) || c.isDigit() || c == QLatin1Char('$');
}

// How one dialect reads quotes and comments. The dialects disagree (PostgreSQL nests block
// comments and knows E'' strings with backslashes and $$ quotes, SQL Server and SQLite quote
// names in brackets, SQLite and MySQL in backticks), and a script is judged under every reading
// so that no dialect can find a statement inside what another takes for a quote or comment.
struct Reading {
    bool nestedComments = false;
    bool backslashStrings = false;
    bool bracketNames = false;
    bool backtickNames = false;
    bool dollarQuotes = false;
};

// Splits a script into words and statement ends, stepping over everything quoted or commented.
class Scanner {
public:
    Scanner(const QString& text, Reading reading)
        : m_text(text)
        , m_reading(reading) {}

    QList<Token> tokens() {
        QList<Token> result;
        while (m_at < m_text.size()) {
            const QChar c = m_text.at(m_at);
            if (c == QLatin1Char('\n')) {
                ++m_line;
                ++m_at;
            } else if (c.isSpace()) {
                ++m_at;
            } else if (startsWith("--")) {
                skipUntil(QStringLiteral("\n"));
            } else if (startsWith("/*")) {
                skipBlockComment();
            } else if (c == QLatin1Char('\'')) {
                const bool backslashes =
                    m_reading.backslashStrings && m_at > 0 &&
                    (m_text.at(m_at - 1) == QLatin1Char('E') || m_text.at(m_at - 1) == QLatin1Char('e'));
                skipQuoted(QLatin1Char('\''), backslashes);
                result.append(Token{Token::Other, {}, m_line});
            } else if (c == QLatin1Char('"') || (c == QLatin1Char('`') && m_reading.backtickNames)) {
                skipQuoted(c, false);
                result.append(Token{Token::Other, {}, m_line});
            } else if (c == QLatin1Char('[') && m_reading.bracketNames) {
                skipQuoted(QLatin1Char(']'), false);
                result.append(Token{Token::Other, {}, m_line});
            } else if (c == QLatin1Char('$') && m_reading.dollarQuotes && skipDollarQuoted()) {
                result.append(Token{Token::Other, {}, m_line});
            } else if (c == QLatin1Char(';')) {
                result.append(Token{Token::Semicolon, {}, m_line});
                ++m_at;
            } else if (isWordStart(c)) {
                const qsizetype begin = m_at;
                while (m_at < m_text.size() && isWordPart(m_text.at(m_at)))
                    ++m_at;
                result.append(Token{Token::Word, m_text.mid(begin, m_at - begin).toUpper(), m_line});
            } else {
                result.append(Token{Token::Other, {}, m_line});
                ++m_at;
            }
        }
        return result;
    }

private:
    bool startsWith(const char* prefix) const {
        return QStringView(m_text).mid(m_at).startsWith(QLatin1String(prefix));
    }

    void advanceTo(qsizetype end) {
        for (; m_at < end && m_at < m_text.size(); ++m_at)
            if (m_text.at(m_at) == QLatin1Char('\n'))
                ++m_line;
    }

    void skipUntil(const QString& terminator) {
        const qsizetype found = m_text.indexOf(terminator, m_at);
        advanceTo(found < 0 ? m_text.size() : found);
    }

    void skipBlockComment() {
        int depth = 0;
        while (m_at < m_text.size()) {
            if (startsWith("/*") && (depth == 0 || m_reading.nestedComments)) {
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

    // A doubled closing character stands for itself.
    void skipQuoted(QChar close, bool backslashes) {
        ++m_at;
        while (m_at < m_text.size()) {
            const QChar c = m_text.at(m_at);
            if (backslashes && c == QLatin1Char('\\')) {
                advanceTo(m_at + 2);
            } else if (c == close) {
                ++m_at;
                if (m_at < m_text.size() && m_text.at(m_at) == close)
                    ++m_at;
                else
                    return;
            } else {
                advanceTo(m_at + 1);
            }
        }
    }

    // $tag$ ... $tag$ (tag may be empty); a $ that opens no such quote ($1) is left to the caller.
    bool skipDollarQuoted() {
        qsizetype end = m_at + 1;
        if (end < m_text.size() && m_text.at(end).isDigit())
            return false;
        while (end < m_text.size() &&
               (m_text.at(end).isLetterOrNumber() || m_text.at(end) == QLatin1Char('_')))
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
    const Reading m_reading;
    qsizetype m_at = 0;
    int m_line = 1;
};

// Words after BEGIN that make it the start of a transaction rather than of a block.
bool beginsTransaction(const Token* next) {
    if (!next || next->kind == Token::Semicolon)
        return true;
    static const QStringList words = {
        QStringLiteral("TRAN"),      QStringLiteral("TRANSACTION"), QStringLiteral("WORK"),
        QStringLiteral("DEFERRED"),  QStringLiteral("IMMEDIATE"),   QStringLiteral("EXCLUSIVE"),
        QStringLiteral("ISOLATION"), QStringLiteral("READ"),        QStringLiteral("DISTRIBUTED"),
        QStringLiteral("NOT"),       QStringLiteral("DEFERRABLE")};
    return next->kind == Token::Word && words.contains(next->word);
}

QString refusal(const Token& token, const QString& statement) {
    return QStringLiteral("line %1 of the SQL script holds \"%2\", which would end or split the import's "
                          "transaction; an update script must not control transactions")
        .arg(token.line)
        .arg(statement);
}

std::optional<QString> transactionControl(const QList<Token>& tokens) {
    bool statementStart = true;
    int blocks = 0; // open BEGIN ... END blocks of triggers, procedures and T-SQL batches
    int cases = 0;  // open CASE ... END expressions
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const Token& token = tokens.at(i);
        const bool atStart = statementStart;
        statementStart = token.kind == Token::Semicolon;
        if (token.kind != Token::Word)
            continue;
        const Token* next = i + 1 < tokens.size() ? &tokens.at(i + 1) : nullptr;
        const Token* previous = i > 0 ? &tokens.at(i - 1) : nullptr;
        const QString nextWord = next && next->kind == Token::Word ? next->word : QString();
        const QString& word = token.word;

        if (word == QLatin1String("CASE")) {
            ++cases;
        } else if (word == QLatin1String("END")) {
            // END IF, END LOOP and the like close procedural blocks that nothing here counts.
            static const QStringList closesOther = {QStringLiteral("IF"),    QStringLiteral("LOOP"),
                                                    QStringLiteral("WHILE"), QStringLiteral("REPEAT"),
                                                    QStringLiteral("FOR"),   QStringLiteral("CASE")};
            if (closesOther.contains(nextWord))
                continue;
            const bool endsTransaction =
                !next || next->kind == Token::Semicolon || nextWord == QLatin1String("TRANSACTION") ||
                nextWord == QLatin1String("WORK") || nextWord == QLatin1String("TRAN");
            if (cases > 0)
                --cases;
            else if (blocks > 0)
                --blocks;
            else if (atStart && endsTransaction)
                return refusal(token, QStringLiteral("END"));
        } else if (word == QLatin1String("BEGIN")) {
            if (beginsTransaction(next))
                return refusal(token, nextWord.isEmpty() ? word : word + QLatin1Char(' ') + nextWord);
            ++blocks;
        } else if (word == QLatin1String("COMMIT")) {
            // ON COMMIT DROP / DELETE ROWS / PRESERVE ROWS of a temporary table.
            if (!(previous && previous->kind == Token::Word && previous->word == QLatin1String("ON")))
                return refusal(token, word);
        } else if (word == QLatin1String("ROLLBACK")) {
            return refusal(token, word);
        } else if (atStart && (word == QLatin1String("SAVEPOINT") || word == QLatin1String("RELEASE") ||
                               word == QLatin1String("ABORT"))) {
            return refusal(token, word);
        } else if ((word == QLatin1String("SAVE") &&
                    (nextWord == QLatin1String("TRAN") || nextWord == QLatin1String("TRANSACTION"))) ||
                   (atStart && (word == QLatin1String("START") || word == QLatin1String("PREPARE")) &&
                    nextWord == QLatin1String("TRANSACTION"))) {
            return refusal(token, word + QLatin1Char(' ') + nextWord);
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> scriptRefusal(const QString& script) {
    if (const qsizetype zero = script.indexOf(QChar(0)); zero >= 0) {
        const qsizetype line = QStringView(script).left(zero).count(QLatin1Char('\n')) + 1;
        return QStringLiteral("line %1 of the SQL script holds a zero byte (character %2 of the script); no "
                              "database reads a statement past it")
            .arg(line)
            .arg(zero + 1);
    }
    for (int variant = 0; variant < 32; ++variant) {
        const Reading reading{(variant & 1) != 0, (variant & 2) != 0, (variant & 4) != 0, (variant & 8) != 0,
                              (variant & 16) != 0};
        if (std::optional<QString> refused = transactionControl(Scanner(script, reading).tokens()))
            return refused;
    }
    return std::nullopt;
}

} // namespace tarnlow
