#pragma once

#include "db/transaction.h"
#include "support/test_environment.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

namespace tarnlow::test {

// A connected database holding an empty t_sys_ver table, on SQLite or on the PostgreSQL test
// server, for the download tests.
class DownloadDatabase {
public:
    // backend: "SQLite" or "PostgreSQL". When the server is missing, skipReason() says why.
    DownloadDatabase(const QString& backend, const ScratchFolder& scratch);

    Transaction& sqlca() { return *m_sqlca; }
    const QString& skipReason() const { return m_skipReason; }
    bool ready() const { return m_skipReason.isEmpty() && m_error.isEmpty(); }
    const QString& error() const { return m_error; }

    // Stores one file row; no bytes means a NULL file_blob.
    void insert(const QString& version, int component, int index, const QString& name,
                const std::optional<QByteArray>& bytes);
    void remove(const QString& version, int component, int index);

private:
    std::unique_ptr<Transaction> m_sqlca;
    QString m_skipReason;
    QString m_error;
};

// Bytes that differ from file to file: `size` bytes from a generator seeded with `seed`.
QByteArray patternBytes(qsizetype size, quint32 seed);

} // namespace tarnlow::test
