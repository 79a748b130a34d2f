// The server connection ends in the middle of a file, as when the server restarts or an operator
// ends the session: the import keeps nothing of the package, the download keeps the old file and
// Comp_ID.

#include "db/blob_backends.h"
#include "download_database.h"
#include "host/settings_store.h"
#include "import_fixture.h"
#include "lang/f_msgbox.h"
#include "update/download_engine.h"
#include "update/import_engine.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace tarnlow;
using namespace tarnlow::test;

namespace {

// A second connection with the same fields, from which the first one is ended.
std::unique_ptr<Transaction> connectionLike(const Transaction& first) {
    auto other = std::make_unique<Transaction>();
    other->DBMS = first.DBMS;
    other->ServerName = first.ServerName;
    other->Database = first.Database;
    other->LogID = first.LogID;
    other->LogPass = first.LogPass;
    other->DBParm = first.DBParm;
    EXPECT_EQ(other->connect(), kSqlSuccess) << other->SQLErrText.toStdString();
    return other;
}

qint64 serverProcess(Transaction& sqlca) {
    const auto pid = sqlca.selectInto(QStringLiteral("SELECT pg_backend_pid()"));
    EXPECT_TRUE(pid.has_value()) << sqlca.SQLErrText.toStdString();
    return pid ? pid->first().toLongLong() : 0;
}

void endConnection(Transaction& killer, qint64 pid) {
    EXPECT_EQ(killer.execute(QStringLiteral("SELECT pg_terminate_backend(?)"), {pid}), kSqlSuccess)
        << killer.SQLErrText.toStdString();
}

class ImportConnectionLossTest : public VersionTableTest {};

TEST_P(ImportConnectionLossTest, TheWholePackageIsGoneWhenTheConnectionEndsInTheMiddleOfAFile) {
    const QByteArray package = buildPackage(
        "08", "001",
        {PackageFileSpec{"small.bin", patternBytes(100, 1)},
         PackageFileSpec{"large.bin", patternBytes(4 * kBlobPieceSize, 2)}, std::nullopt, std::nullopt},
        "create table from_script ( id int )");
    ScratchFolder scratch;
    ASSERT_TRUE(scratch.write(QStringLiteral("lost.fuf"), package));
    std::unique_ptr<Transaction> killer = connectionLike(sqlca);
    const qint64 pid = serverProcess(sqlca);

    bool ended = false;
    ImportObserver observer;
    observer.bytes = [&](qint64 done, qint64) -> Result<void> {
        if (!ended && done > 100 + kBlobPieceSize) {
            endConnection(*killer, pid);
            ended = true;
        }
        return {};
    };
    static QStringList driverWarnings;
    driverWarnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { driverWarnings.append(text); });
    const ImportReport report = importPackage(sqlca, scratch.file(QStringLiteral("lost.fuf")), observer);
    qInstallMessageHandler(previous);
    EXPECT_TRUE(ended) << (report.failure ? messageText(*report.failure).toStdString() : std::string());
    EXPECT_EQ(report.result, ImportResult::Failed);
    ASSERT_TRUE(report.failure.has_value());
    // The server's own words, once, without Qt's prefixes or its complaints on standard error.
    const QString text = messageText(*report.failure);
    EXPECT_FALSE(text.contains(QStringLiteral("QPSQL"))) << text.toStdString();
    EXPECT_LE(text.count(QStringLiteral("terminating connection")), 1) << text.toStdString();
    EXPECT_TRUE(driverWarnings.isEmpty()) << driverWarnings.join(QLatin1Char('\n')).toStdString();
    const auto rows = killer->selectInto(QStringLiteral("select count(*) from t_sys_ver"));
    ASSERT_TRUE(rows.has_value()) << killer->SQLErrText.toStdString();
    EXPECT_EQ(rows->first().toLongLong(), 0);
    const auto created =
        killer->selectInto(QStringLiteral("select count(*) from pg_tables where tablename = 'from_script'"));
    ASSERT_TRUE(created.has_value()) << killer->SQLErrText.toStdString();
    EXPECT_EQ(created->first().toLongLong(), 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, ImportConnectionLossTest, ::testing::Values(Backend::Postgres),
                         backendTestName);

TEST(DownloadConnectionLossTest, TheOldFileAndCompIdStayWhenTheConnectionEndsInTheMiddleOfAFile) {
    ScratchFolder scratch;
    DownloadDatabase database(kDbmsPostgreSql, scratch);
    if (!database.error().isEmpty())
        FAIL() << database.error().toStdString();
    if (!database.skipReason().isEmpty()) {
        if (serversRequired())
            FAIL() << database.skipReason().toStdString();
        GTEST_SKIP() << database.skipReason().toStdString();
    }
    // Large enough to be read in several slices, so the connection ends between two of them.
    database.insert(QStringLiteral("1.0"), 4, 1, QStringLiteral("game.dll"),
                    patternBytes(2 * kPostgresBlobPieceSize + 7, 3));
    ASSERT_TRUE(QDir(scratch.path()).mkpath(QStringLiteral("program")));
    const QString folder = scratch.file(QStringLiteral("program")) + QLatin1Char('/');
    {
        QFile old(folder + QStringLiteral("game.dll"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("old bytes") == 9);
    }
    SettingsStore settings = SettingsStore::standard();
    ASSERT_TRUE(settings.write(kSettingsKey, kInstalledComponentName, QStringLiteral("3")));

    std::unique_ptr<Transaction> killer = connectionLike(database.sqlca());
    const qint64 pid = serverProcess(database.sqlca());
    DownloadEngine engine(database.sqlca(), settings, folder);
    const auto rows = engine.pendingRows();
    ASSERT_TRUE(rows.ok()) << rows.error().toStdString();
    bool ended = false;
    DownloadObserver observer;
    observer.bytes = [&](const DownloadBytes&) -> Result<void> {
        if (!ended) {
            endConnection(*killer, pid);
            ended = true;
        }
        return {};
    };
    const DownloadOutcome outcome = engine.download(*rows, observer);
    EXPECT_TRUE(ended);
    EXPECT_EQ(outcome.result, -1);
    ASSERT_TRUE(outcome.failure.has_value());
    QFile kept(folder + QStringLiteral("game.dll"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("old bytes"));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("game.dll")});
    EXPECT_EQ(settings.read(kSettingsKey, kInstalledComponentName).value_or(QString()), QStringLiteral("3"));
}

} // namespace
