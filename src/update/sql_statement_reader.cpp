#include "update/sql_statement_reader.h"

#include <QStringList>

namespace tarnlow {

SqlReading::SqlReading(const QString& script, ScriptDialect dialect)
    : m_dialect(dialect)
    , m_tokens(scanSql(script, dialect)) {
    SqlBatch batch;
    for (qsizetype i = 0; i < m_tokens.size(); ++i) {
        const SqlToken& token = m_tokens.at(i);
        if (token.kind != SqlToken::Kind::BatchEnd)
            continue;
        batch.tokens.end = i;
        batch.textEnd = token.begin;
        batch.firstLine = batch.tokens.isEmpty() ? token.line : m_tokens.at(batch.tokens.first).line;
        batch.separator = i;
        m_batches.append(batch);
        batch = SqlBatch{};
        batch.tokens.first = i + 1;
        batch.textBegin = token.end;
    }
    batch.tokens.end = m_tokens.size();
    batch.textEnd = script.size();
    batch.firstLine = batch.tokens.isEmpty() ? (m_tokens.isEmpty() ? 1 : m_tokens.last().line)
                                             : m_tokens.at(batch.tokens.first).line;
    m_batches.append(batch);
}

QString SqlReading::word(qsizetype index) const {
    if (index < 0 || index >= m_tokens.size() || m_tokens.at(index).kind != SqlToken::Kind::Word)
        return {};
    return m_tokens.at(index).text;
}

QList<SqlRange> SqlReading::statements(const SqlBatch& batch) const {
    QList<SqlRange> result;
    qsizetype start = batch.tokens.first;
    bool bodyAllowed = false; // the statement is one that may hold a BEGIN ... END body
    int depth = 0;            // open BEGIN and CASE of that body
    int parentheses = 0;      // PostgreSQL reads a rule's actions in parentheses as one statement
    for (qsizetype i = batch.tokens.first; i < batch.tokens.end; ++i) {
        if (m_dialect == ScriptDialect::PostgreSql) {
            if (m_tokens.at(i).kind == SqlToken::Kind::OpenParen)
                ++parentheses;
            else if (m_tokens.at(i).kind == SqlToken::Kind::CloseParen && parentheses > 0)
                --parentheses;
        }
        if (i == start) {
            bodyAllowed =
                m_dialect == ScriptDialect::Sqlite
                    ? match(i, batch.tokens.end, u"CREATE ?TEMP|TEMPORARY TRIGGER").has_value()
                    : m_dialect == ScriptDialect::PostgreSql &&
                          match(i, batch.tokens.end, u"CREATE ?OR ?REPLACE FUNCTION|PROCEDURE").has_value();
            depth = 0;
        }
        const QString current = word(i);
        if (depth == 0) {
            if (m_tokens.at(i).kind == SqlToken::Kind::Semicolon && parentheses == 0) {
                if (i > start)
                    result.append(SqlRange{start, i});
                start = i + 1;
            } else if (bodyAllowed && current == QLatin1String("BEGIN") &&
                       (m_dialect == ScriptDialect::Sqlite || word(i + 1) == QLatin1String("ATOMIC"))) {
                depth = 1;
            }
        } else if (current == QLatin1String("CASE")) {
            ++depth;
        } else if (current == QLatin1String("END")) {
            --depth;
        }
    }
    if (batch.tokens.end > start)
        result.append(SqlRange{start, batch.tokens.end});
    return result;
}

std::optional<QString> SqlReading::match(qsizetype from, qsizetype end, QStringView pattern) const {
    QList<QStringView> elements;
    for (const QStringView element : pattern.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        elements.append(element);
    QStringList words;
    if (!matchFrom(elements, 0, from, end, words))
        return std::nullopt;
    return words.join(QLatin1Char(' '));
}

bool SqlReading::tokenIs(qsizetype index, QStringView alternatives) const {
    const SqlToken& token = m_tokens.at(index);
    if (token.kind != SqlToken::Kind::Word && token.kind != SqlToken::Kind::Text)
        return false;
    for (const QStringView alternative : alternatives.split(QLatin1Char('|')))
        if (token.text.compare(alternative, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

qsizetype SqlReading::afterGroup(qsizetype index, qsizetype end) const {
    int depth = 0;
    for (qsizetype i = index; i < end; ++i) {
        if (m_tokens.at(i).kind == SqlToken::Kind::OpenParen)
            ++depth;
        else if (m_tokens.at(i).kind == SqlToken::Kind::CloseParen && --depth == 0)
            return i + 1;
    }
    return end;
}

bool SqlReading::matchFrom(const QList<QStringView>& elements, qsizetype element, qsizetype at, qsizetype end,
                           QStringList& words) const {
    if (element == elements.size())
        return true;
    const QStringView current = elements.at(element);
    if (current == u"*") {
        for (qsizetype skipTo = at; skipTo <= end; ++skipTo) {
            const qsizetype kept = words.size();
            if (matchFrom(elements, element + 1, skipTo, end, words))
                return true;
            words.resize(kept);
        }
        return false;
    }
    if (current == u"$")
        return at == end && matchFrom(elements, element + 1, at, end, words);
    if (current == u"()") {
        if (at < end && m_tokens.at(at).kind == SqlToken::Kind::OpenParen)
            at = afterGroup(at, end);
        return matchFrom(elements, element + 1, at, end, words);
    }
    if (current.startsWith(QLatin1Char('!'))) {
        if (at < end && tokenIs(at, current.mid(1)))
            return false;
        return matchFrom(elements, element + 1, at, end, words);
    }
    const bool optional = current.startsWith(QLatin1Char('?'));
    const QStringView alternatives = optional ? current.mid(1) : current;
    if (at < end && tokenIs(at, alternatives)) {
        words.append(m_tokens.at(at).text.toUpper());
        if (matchFrom(elements, element + 1, at + 1, end, words))
            return true;
        words.removeLast();
    }
    return optional && matchFrom(elements, element + 1, at, end, words);
}

} // namespace tarnlow
