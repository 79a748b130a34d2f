#include "update/script_check.h"

#include "update/script_rules.h"

#include <QStringList>

#include <algorithm>

namespace tarnlow {
namespace {

std::optional<ScriptRefusal> zeroByte(const QString& script) {
    const qsizetype zero = script.indexOf(QChar(0));
    if (zero < 0)
        return std::nullopt;
    const int line = static_cast<int>(QStringView(script).left(zero).count(QLatin1Char('\n'))) + 1;
    return ScriptRefusal{line, QStringLiteral("zero byte at character %1").arg(zero + 1),
                         QStringLiteral("no database reads a statement past it")};
}

// "SQL Server", "SQL Server and SQLite", "SQL Server, PostgreSQL and SQLite".
QString databaseList(const QStringList& names) {
    if (names.size() < 2)
        return names.join(QString());
    return names.mid(0, names.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") + names.last();
}

// The databases that apply the script, then those that refuse it, grouped by what they say.
QString verdictText(const QList<ScriptVerdict>& verdicts, bool withReasons) {
    QStringList applying;
    QStringList refusals;
    QList<QStringList> refusing;
    for (const ScriptVerdict& verdict : verdicts) {
        const QString name = scriptDialectName(verdict.dialect);
        if (verdict.applies()) {
            applying.append(name);
            continue;
        }
        const QString said = withReasons ? verdict.refusal->text() : verdict.refusal->place();
        const qsizetype group = refusals.indexOf(said);
        if (group >= 0) {
            refusing[group].append(name);
        } else {
            refusals.append(said);
            refusing.append(QStringList{name});
        }
    }
    QStringList parts;
    if (!applying.isEmpty())
        parts.append(QStringLiteral("applies on ") + databaseList(applying));
    for (qsizetype i = 0; i < refusals.size(); ++i)
        parts.append(QStringLiteral("refused on %1: %2").arg(databaseList(refusing.at(i)), refusals.at(i)));
    return parts.join(QStringLiteral("; "));
}

} // namespace

QString ScriptRefusal::place() const {
    return QStringLiteral("line %1, %2").arg(line).arg(words);
}

QString ScriptRefusal::text() const {
    return place() + QStringLiteral(": ") + reason;
}

const ScriptVerdict& ScriptVerdicts::on(ScriptDialect dialect) const {
    for (const ScriptVerdict& verdict : verdicts)
        if (verdict.dialect == dialect)
            return verdict;
    return verdicts.first();
}

bool ScriptVerdicts::refusedEverywhere() const {
    return std::none_of(verdicts.cbegin(), verdicts.cend(),
                        [](const ScriptVerdict& v) { return v.applies(); });
}

bool ScriptVerdicts::refusedSomewhere() const {
    return std::any_of(verdicts.cbegin(), verdicts.cend(),
                       [](const ScriptVerdict& v) { return !v.applies(); });
}

QString ScriptVerdicts::summary() const {
    return verdictText(verdicts, false);
}

QString ScriptVerdicts::explained() const {
    return verdictText(verdicts, true);
}

ScriptVerdict judgeScript(const QString& script, ScriptDialect dialect) {
    ScriptVerdict verdict;
    verdict.dialect = dialect;
    verdict.refusal = zeroByte(script);
    if (verdict.refusal)
        return verdict;
    const SqlReading reading(script, dialect);
    switch (dialect) {
    case ScriptDialect::SqlServer:
        verdict.refusal = sqlServerRefusal(reading);
        break;
    case ScriptDialect::PostgreSql:
        verdict.refusal = postgresRefusal(reading);
        break;
    case ScriptDialect::Sqlite:
        verdict.refusal = sqliteRefusal(reading);
        break;
    }
    return verdict;
}

ScriptVerdicts judgeScriptEverywhere(const QString& script) {
    ScriptVerdicts all;
    for (const ScriptDialect dialect : kScriptDialects)
        all.verdicts.append(judgeScript(script, dialect));
    return all;
}

QList<ScriptBatch> sqlServerBatches(const QString& script) {
    const SqlReading reading(script, ScriptDialect::SqlServer);
    QList<ScriptBatch> batches;
    for (const SqlBatch& batch : reading.batches())
        batches.append(ScriptBatch{script.mid(batch.textBegin, batch.textEnd - batch.textBegin),
                                   batch.firstLine, !batch.tokens.isEmpty()});
    return batches;
}

ScriptRefusal refusalAt(const SqlReading& reading, qsizetype index, const QString& words,
                        const QString& reason) {
    return ScriptRefusal{reading.tokens().at(index).line, words, reason};
}

std::optional<ScriptRefusal> tableRefusal(const SqlReading& reading, qsizetype from, qsizetype end,
                                          const QList<const char16_t*>& table, const QString& reason) {
    for (const char16_t* pattern : table) {
        if (const std::optional<QString> words = reading.match(from, end, QStringView(pattern)))
            return refusalAt(reading, from, *words, reason);
    }
    return std::nullopt;
}

std::optional<ScriptRefusal>
firstStatementRefusal(const SqlReading& reading,
                      const std::function<std::optional<ScriptRefusal>(const SqlRange& statement)>& check) {
    for (const SqlBatch& batch : reading.batches()) {
        for (const SqlRange& statement : reading.statements(batch)) {
            if (std::optional<ScriptRefusal> refused = check(statement))
                return refused;
        }
        if (batch.separator)
            return refusalAt(
                reading, *batch.separator, QStringLiteral("GO"),
                QStringLiteral("a line holding only GO ends a batch for SQL Server's tools alone; "
                               "%1 would read it as part of a statement")
                    .arg(scriptDialectName(reading.dialect())));
    }
    return std::nullopt;
}

QString endsTheTransaction() {
    return QStringLiteral("it would end or split the transaction the import runs the script in");
}

QString cannotRunInTransaction() {
    return QStringLiteral("it cannot run inside a transaction, and the import runs every script inside the "
                          "transaction that stores the package");
}

} // namespace tarnlow
