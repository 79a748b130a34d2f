#pragma once

// The rules of each database for update scripts, behind judgeScript(). Each dialect keeps its
// own table of statements that cannot run inside a transaction.

#include "update/script_check.h"
#include "update/sql_statement_reader.h"

#include <functional>
#include <optional>

namespace tarnlow {

std::optional<ScriptRefusal> sqlServerRefusal(const SqlReading& reading);
std::optional<ScriptRefusal> postgresRefusal(const SqlReading& reading);
std::optional<ScriptRefusal> sqliteRefusal(const SqlReading& reading);

// A refusal at the line of token `index`.
ScriptRefusal refusalAt(const SqlReading& reading, qsizetype index, const QString& words,
                        const QString& reason);

// The first pattern of `table` (see SqlReading::match) that matches at `from`, as a refusal for
// `reason`.
std::optional<ScriptRefusal> tableRefusal(const SqlReading& reading, qsizetype from, qsizetype end,
                                          const QList<const char16_t*>& table, const QString& reason);

// Hands every statement of a script divided by semicolons to `check` in order and returns the
// first refusal; a GO line refuses the script where it stands.
std::optional<ScriptRefusal>
firstStatementRefusal(const SqlReading& reading,
                      const std::function<std::optional<ScriptRefusal>(const SqlRange& statement)>& check);

// Why BEGIN, COMMIT and the like are refused where a transaction holds the script.
QString endsTheTransaction();
// Why a statement of a database's table of statements that need no transaction around them is
// refused.
QString cannotRunInTransaction();

} // namespace tarnlow
