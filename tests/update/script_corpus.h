#pragma once

#include "update/sql_scanner.h"

#include <QList>
#include <QString>

namespace tarnlow::test {

// One update script of the corpus under tests/fixtures/update_scripts/ and what its own database
// makes of it: line 0 when it applies, else the line and words of the refusal.
struct CorpusScript {
    const char* file;
    int line = 0;
    const char* words = "";
};

// One table per database, in tests/update/script_corpus.cpp.
const QList<CorpusScript>& corpusOf(ScriptDialect dialect);

// The text of a corpus script (or of base.sql, the tables the PostgreSQL and SQLite scripts are
// applied to), read as UTF-8.
QString corpusText(ScriptDialect dialect, const char* file);
QString corpusBaseSchema();

} // namespace tarnlow::test
