#include "download_database.h"

#include "db/dialect.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace tarnlow::test {

DownloadDatabase::DownloadDatabase(const QString& backend, const ScratchFolder& scratch)
    : m_sqlca(std::make_unique<Transaction>()) {
    if (backend == kDbmsPostgreSql) {
        const auto server = postgresServer();
        if (!server) {
            m_skipReason = QStringLiteral("no PostgreSQL server configured (TARNLOW_TEST_PG_HOST)");
            if (serversRequired())
                m_error = m_skipReason;
            return;
        }
        const QString database = createPostgresDatabase(*server);
        if (database.isEmpty()) {
            m_error = QStringLiteral("cannot create a PostgreSQL test database");
            return;
        }
        m_sqlca->DBMS = kDbmsPostgreSql;
        m_sqlca->ServerName = server->host + QLatin1Char(':') + QString::number(server->port);
        m_sqlca->Database = database;
        m_sqlca->LogID = server->user;
        m_sqlca->LogPass = server->password;
    } else {
        m_sqlca->DBMS = kDbmsSqlite;
        m_sqlca->Database = scratch.file(QStringLiteral("download.db"));
    }
    if (m_sqlca->connect() < 0) {
        m_error = QStringLiteral("cannot connect: ") + m_sqlca->SQLErrText;
        return;
    }
    // The shape of the system table that stores package files.
    const QString create =
        QStringLiteral("CREATE TABLE t_sys_ver (ver_no char(10) NOT NULL, comp_no int NOT NULL, "
                       "update_index int NOT NULL, file_name char(255) NOT NULL, file_blob %1 NULL, "
                       "PRIMARY KEY (ver_no, comp_no, update_index))")
            .arg(m_sqlca->dialect().binaryType());
    if (m_sqlca->execute(create) < 0)
        m_error = QStringLiteral("cannot create t_sys_ver: ") + m_sqlca->SQLErrText;
}

void DownloadDatabase::insert(const QString& version, int component, int index, const QString& name,
                              const std::optional<QByteArray>& bytes) {
    if (bytes) {
        m_sqlca->updateBlob(QStringLiteral("INSERT INTO t_sys_ver (file_blob, ver_no, comp_no, update_index, "
                                           "file_name) VALUES (?, ?, ?, ?, ?)"),
                            *bytes, {version, component, index, name});
    } else {
        m_sqlca->execute(
            QStringLiteral(
                "INSERT INTO t_sys_ver (ver_no, comp_no, update_index, file_name) VALUES (?, ?, ?, ?)"),
            {version, component, index, name});
    }
    ASSERT_GE(m_sqlca->SQLCode, 0) << m_sqlca->SQLErrText.toStdString();
}

void DownloadDatabase::remove(const QString& version, int component, int index) {
    m_sqlca->execute(
        QStringLiteral("DELETE FROM t_sys_ver WHERE ver_no = ? AND comp_no = ? AND update_index = ?"),
        {version, component, index});
    ASSERT_GE(m_sqlca->SQLCode, 0) << m_sqlca->SQLErrText.toStdString();
}

QByteArray patternBytes(qsizetype size, quint32 seed) {
    QRandomGenerator generator(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    qsizetype i = 0;
    for (; i + 4 <= size; i += 4) {
        const quint32 word = generator.generate();
        std::memcpy(bytes.data() + i, &word, 4);
    }
    for (; i < size; ++i)
        bytes[i] = static_cast<char>(generator.generate());
    return bytes;
}

} // namespace tarnlow::test
