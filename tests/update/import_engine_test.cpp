#include "import_fixture.h"

#include "db/dialect.h"
#include "host/code_page.h"
#include "host/settings_store.h"
#include "lang/f_msgbox.h"
#include "update/download_engine.h"
#include "update/import_engine.h"
#include "update/package_reader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSemaphore>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace tarnlow {
namespace {

using test::Backend;
using test::PackageFileSpec;

class ImportEngineTest : public test::VersionTableTest {
protected:
    QString writePackage(const QString& name, const QByteArray& bytes) {
        EXPECT_TRUE(database->scratch().write(name, bytes));
        return database->scratch().file(name);
    }

    // Fixed-width text as the database returns it: PostgreSQL pads char columns to their width.
    QString stored(const QString& text, int width) const {
        return test::isPostgresBackend(GetParam()) ? text.leftJustified(width, QLatin1Char(' ')) : text;
    }

    qint64 count(const QString& sql) {
        const auto row = sqlca.selectInto(sql);
        return row ? row->at(0).toLongLong() : -1;
    }

    bool tableExists(const QString& table) {
        const auto row = sqlca.selectInto(sqlca.dialect().tableExistsQuery(), {table});
        return row && row->at(0).toLongLong() > 0;
    }
};

TEST_P(ImportEngineTest, StoresUsedEntriesWithRunningIndexesAfterTheScript) {
    const QByteArray first = test::patternBytes(1000, 1);
    const QByteArray third = test::patternBytes(20, 3);
    // A name with trailing blanks inside its 32-byte field, and component field 007.
    const QByteArray package = test::buildPackage("01", "007",
                                                  {PackageFileSpec{"first.dll  ", first}, std::nullopt,
                                                   PackageFileSpec{"third.txt", third}, std::nullopt},
                                                  "create table import_marker ( n int )");
    const QString path = writePackage(QStringLiteral("one.fuf"), package);

    QList<ImportFile> announced;
    qint64 rowsWhenAnnounced = -1;
    const ImportReport report = importPackage(sqlca, path, [&](const ImportFile& file) {
        announced.append(file);
        if (announced.size() == 2)
            rowsWhenAnnounced = count(QStringLiteral("select count(*) from t_sys_ver"));
    });

    ASSERT_EQ(report.result, ImportResult::Stored)
        << report.failure->parameters.join(QStringLiteral(" | ")).toStdString();
    EXPECT_TRUE(report.scriptRan);
    EXPECT_TRUE(tableExists(QStringLiteral("import_marker")));

    // Each file is announced before its row exists, with the label joining version and component.
    ASSERT_EQ(announced.size(), 2);
    EXPECT_EQ(rowsWhenAnnounced, 1);
    EXPECT_EQ(announced[0].versionLabel, QStringLiteral("01.7"));
    EXPECT_EQ(announced[0].name, QString(QStringLiteral("first.dll")).leftJustified(32, QLatin1Char(' ')));
    EXPECT_EQ(announced[0].size, 1000);
    EXPECT_EQ(announced[1].entry, 3);
    EXPECT_EQ(announced[1].updateIndex, 2);
    EXPECT_EQ(announced[1].size, 20);

    const QList<test::StoredRow> rows = test::storedRows(sqlca);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].version, stored(QStringLiteral("01"), 10));
    EXPECT_EQ(rows[0].component, 7);
    EXPECT_EQ(rows[0].updateIndex, 1);
    EXPECT_EQ(rows[0].name,
              stored(QString(QStringLiteral("first.dll")).leftJustified(32, QLatin1Char(' ')), 255));
    EXPECT_EQ(rows[0].bytes, first);
    EXPECT_EQ(rows[1].updateIndex, 2);
    EXPECT_EQ(rows[1].name,
              stored(QString(QStringLiteral("third.txt")).leftJustified(32, QLatin1Char(' ')), 255));
    EXPECT_EQ(rows[1].bytes, third);
}

TEST_P(ImportEngineTest, DuplicateRunsTheScriptAgainAndStoresNothing) {
    ASSERT_EQ(sqlca.executeImmediate(QStringLiteral("create table script_runs ( n int )")), kSqlSuccess);
    const QByteArray package = test::buildPackage(
        "02", "005",
        {PackageFileSpec{"a.bin", test::patternBytes(64, 1)}, std::nullopt, std::nullopt, std::nullopt},
        "insert into script_runs values ( 1 )");
    const QString path = writePackage(QStringLiteral("dup.fuf"), package);

    ASSERT_EQ(importPackage(sqlca, path).result, ImportResult::Stored);
    int announced = 0;
    const ImportReport again = importPackage(sqlca, path, [&](const ImportFile&) { ++announced; });

    EXPECT_EQ(again.result, ImportResult::AlreadyStored);
    EXPECT_FALSE(again.failure.has_value());
    EXPECT_TRUE(again.scriptRan);
    EXPECT_EQ(announced, 0);
    EXPECT_EQ(count(QStringLiteral("select count(*) from t_sys_ver")), 1);
    EXPECT_EQ(count(QStringLiteral("select count(*) from script_runs")), 2);

    // A script that cannot run twice fails on the second opening; the report says the package
    // is stored already.
    const QString creating = writePackage(
        QStringLiteral("creating.fuf"),
        test::buildPackage("02", "006",
                           {PackageFileSpec{"b.bin", "xyz"}, std::nullopt, std::nullopt, std::nullopt},
                           "create table made_once ( n int )"));
    ASSERT_EQ(importPackage(sqlca, creating).result, ImportResult::Stored);
    const ImportReport failedAgain = importPackage(sqlca, creating);
    EXPECT_EQ(failedAgain.result, ImportResult::Failed);
    ASSERT_TRUE(failedAgain.failure.has_value());
    EXPECT_EQ(failedAgain.failure->number, kMsgImportStoredScriptFailed);
    EXPECT_FALSE(sqlca.inTransaction());
    EXPECT_EQ(count(QStringLiteral("select count(*) from t_sys_ver")), 2);
}

TEST_P(ImportEngineTest, ScriptWithoutFilesRunsAndCountsAsApplied) {
    const QByteArray package =
        test::buildPackage("03", "001", {std::nullopt, std::nullopt, std::nullopt, std::nullopt},
                           "create table only_script ( n int )");
    const ImportReport report = importPackage(sqlca, writePackage(QStringLiteral("script.fuf"), package));
    EXPECT_EQ(report.result, ImportResult::Stored);
    EXPECT_TRUE(report.files.isEmpty());
    EXPECT_TRUE(tableExists(QStringLiteral("only_script")));
    EXPECT_EQ(count(QStringLiteral("select count(*) from t_sys_ver")), 0);
}

TEST_P(ImportEngineTest, PackagesAroundOneReadBlockRoundTrip) {
    // Whole packages of 32,765 and 32,766 bytes, and a file of 30 MB.
    for (const qint64 total : {qint64{32765}, qint64{32766}, qint64{256 + 30 * 1024 * 1024}}) {
        SCOPED_TRACE(total);
        const QByteArray bytes = test::patternBytes(total - 256, static_cast<int>(total));
        const QByteArray component = QByteArray::number(total % 1000).rightJustified(3, '0');
        const QByteArray package = test::buildPackage(
            "04", component, {PackageFileSpec{"big.bin", bytes}, std::nullopt, std::nullopt, std::nullopt});
        ASSERT_EQ(package.size(), total);
        const ImportReport report = importPackage(sqlca, writePackage(QStringLiteral("size.fuf"), package));
        ASSERT_EQ(report.result, ImportResult::Stored);
        const auto back = sqlca.selectBlob(
            QStringLiteral("select file_blob from t_sys_ver where comp_no = ? and update_index = 1"),
            {static_cast<int>(total % 1000)});
        ASSERT_TRUE(back.has_value()) << sqlca.SQLErrText.toStdString();
        EXPECT_TRUE(*back == bytes);
    }
}

TEST_P(ImportEngineTest, MalformedPackagesAreRefusedBeforeTheDatabaseIsTouched) {
    const QByteArray script = "create table must_not_exist ( n int )";
    const std::array<std::optional<PackageFileSpec>, 4> files{PackageFileSpec{"a.bin", "abc"}, std::nullopt,
                                                              std::nullopt, std::nullopt};
    QByteArray foreign = test::buildPackage("01", "001", files, script);
    foreign[10] = 'X'; // inside the signature
    QByteArray pastEnd = test::buildPackage("01", "001", {}, {});
    pastEnd.replace(48, 48, test::usedEntry(257, 400, "a.bin"));
    const QByteArray badComponent = test::buildPackage("01", "0x1", files, script);
    const QByteArray shortFile = QByteArray("\x0E"
                                            "01001",
                                            6);

    // A file that does not begin as a package says so first (10316); a package with a fault says
    // what is wrong with it (10300).
    const QList<std::pair<QByteArray, int>> cases{{foreign, kMsgImportNotAPackage},
                                                  {pastEnd, kMsgImportPackageRefused},
                                                  {badComponent, kMsgImportPackageRefused},
                                                  {shortFile, kMsgImportNotAPackage},
                                                  {QByteArray("select 1;\n"), kMsgImportNotAPackage}};
    int index = 0;
    for (const auto& [bytes, number] : cases) {
        SCOPED_TRACE(index);
        const QString path = writePackage(QStringLiteral("bad%1.fuf").arg(index++), bytes);
        int announced = 0;
        const ImportReport report = importPackage(sqlca, path, [&](const ImportFile&) { ++announced; });
        EXPECT_EQ(report.result, ImportResult::Failed);
        ASSERT_TRUE(report.failure.has_value());
        EXPECT_EQ(report.failure->number, number);
        EXPECT_EQ(report.failure->parameters.value(0), path);
        EXPECT_FALSE(report.failure->parameters.value(1).isEmpty());
        EXPECT_EQ(announced, 0);
    }
    const ImportReport missing = importPackage(sqlca, database->scratch().file(QStringLiteral("none.fuf")));
    EXPECT_EQ(missing.failure->number, kMsgImportPackageRefused);
    EXPECT_FALSE(sqlca.inTransaction());
    EXPECT_FALSE(tableExists(QStringLiteral("must_not_exist")));
    EXPECT_EQ(count(QStringLiteral("select count(*) from t_sys_ver")), 0);
}

TEST_P(ImportEngineTest, FailingScriptIsReportedWithTheServerTextAndStoresNothing) {
    const QByteArray package = test::buildPackage(
        "05", "001", {PackageFileSpec{"a.bin", "abc"}, std::nullopt, std::nullopt, std::nullopt},
        "insert into no_such_table values ( 1 )");
    const QString path = writePackage(QStringLiteral("script.fuf"), package);
    const ImportReport report = importPackage(sqlca, path);
    EXPECT_EQ(report.result, ImportResult::Failed);
    ASSERT_TRUE(report.failure.has_value());
    EXPECT_EQ(report.failure->number, kMsgImportScriptFailed);
    EXPECT_EQ(report.failure->parameters.value(0), path);
    EXPECT_TRUE(
        report.failure->parameters.value(1).contains(QStringLiteral("no_such_table"), Qt::CaseInsensitive))
        << report.failure->parameters.value(1).toStdString();
    EXPECT_FALSE(sqlca.inTransaction());
    EXPECT_EQ(count(QStringLiteral("select count(*) from t_sys_ver")), 0);
}

TEST_P(ImportEngineTest, ByteObserverCountsThePackageAndItsStopRollsEverythingBack) {
    const qint64 big = 2 * kBlobPieceSize + 3;
    const QByteArray package =
        test::buildPackage("07", "001",
                           {PackageFileSpec{"a.bin", test::patternBytes(big, 1)},
                            PackageFileSpec{"b.bin", test::patternBytes(10, 2)}, std::nullopt, std::nullopt},
                           "create table from_script ( id int )");
    const QString path = writePackage(QStringLiteral("observed.fuf"), package);

    QList<qint64> seen;
    ImportObserver stopping;
    stopping.bytes = [&](qint64 done, qint64 total) -> Result<void> {
        seen.append(done);
        EXPECT_EQ(total, big + 10);
        if (done > kBlobPieceSize)
            return Error{QStringLiteral("cancelled by the operator")};
        return {};
    };
    const ImportReport stopped = importPackage(sqlca, path, stopping);
    EXPECT_EQ(stopped.result, ImportResult::Failed);
    ASSERT_TRUE(stopped.failure.has_value());
    EXPECT_EQ(stopped.failure->parameters.value(2), QStringLiteral("cancelled by the operator"));
    EXPECT_EQ(count(QStringLiteral("select count(*) from t_sys_ver")), 0);
    EXPECT_FALSE(tableExists(QStringLiteral("from_script")));
    EXPECT_FALSE(sqlca.inTransaction());

    seen.clear();
    ImportObserver counting;
    QStringList started;
    counting.fileStarted = [&](const ImportFile& file) { started.append(file.name.trimmed()); };
    counting.bytes = [&](qint64 done, qint64) -> Result<void> {
        seen.append(done);
        return {};
    };
    const ImportReport stored = importPackage(sqlca, path, counting);
    EXPECT_EQ(stored.result, ImportResult::Stored);
    EXPECT_EQ(started, (QStringList{QStringLiteral("a.bin"), QStringLiteral("b.bin")}));
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.last(), big + 10);
    EXPECT_TRUE(std::is_sorted(seen.cbegin(), seen.cend()));
}

TEST_P(ImportEngineTest, FailureMidwayLeavesNoRowOfThePackage) {
    const QByteArray package =
        test::buildPackage("06", "001",
                           {PackageFileSpec{"a.bin", test::patternBytes(5000, 1)},
                            PackageFileSpec{"b.bin", test::patternBytes(5000, 2)},
                            PackageFileSpec{"c.bin", test::patternBytes(5000, 3)}, std::nullopt},
                           "create table from_script ( n int )");
    const QString path = writePackage(QStringLiteral("mid.fuf"), package);

    // The binary write of the second file fails in the database.
    if (test::isPostgresBackend(GetParam())) {
        ASSERT_EQ(sqlca.executeImmediate(QStringLiteral(
                      "create function refuse_blob() returns trigger language plpgsql as $$ begin "
                      "if new.update_index = 2 then raise exception 'disk full while writing'; end if; "
                      "return new; end $$")),
                  kSqlSuccess)
            << sqlca.SQLErrText.toStdString();
        ASSERT_EQ(
            sqlca.executeImmediate(QStringLiteral("create trigger refuse_blob before insert on "
                                                  "t_sys_ver for each row execute function refuse_blob()")),
            kSqlSuccess);
    } else {
        ASSERT_EQ(sqlca.executeImmediate(QStringLiteral(
                      "create trigger refuse_blob before insert on t_sys_ver "
                      "when new.update_index = 2 begin select raise(abort, 'disk full while writing'); end")),
                  kSqlSuccess)
            << sqlca.SQLErrText.toStdString();
    }
    const ImportReport report = importPackage(sqlca, path);
    EXPECT_EQ(report.result, ImportResult::Failed);
    ASSERT_TRUE(report.failure.has_value());
    EXPECT_EQ(report.failure->number, kMsgImportStoreFailed);
    // The name as the operator reads it, without the blanks of its stored field.
    EXPECT_EQ(report.failure->parameters.value(0), QStringLiteral("b.bin"));
    EXPECT_TRUE(report.failure->parameters.value(2).contains(QStringLiteral("disk full while writing")));
    EXPECT_EQ(count(QStringLiteral("select count(*) from t_sys_ver")), 0);
    EXPECT_FALSE(tableExists(QStringLiteral("from_script")));

    // The package file loses its tail while the third file is due: nothing stays either.
    ASSERT_EQ(sqlca.executeImmediate(
                  QStringLiteral("drop trigger refuse_blob") +
                  (test::isPostgresBackend(GetParam()) ? QStringLiteral(" on t_sys_ver") : QString())),
              kSqlSuccess);
    const ImportReport cut = importPackage(sqlca, path, [&](const ImportFile& file) {
        if (file.entry == 3)
            QFile::resize(path, 256 + 10000 + 100);
    });
    EXPECT_EQ(cut.result, ImportResult::Failed);
    ASSERT_TRUE(cut.failure.has_value());
    EXPECT_EQ(cut.failure->number, kMsgImportStoreFailed);
    EXPECT_EQ(count(QStringLiteral("select count(*) from t_sys_ver")), 0);
    EXPECT_FALSE(tableExists(QStringLiteral("from_script")));
}

TEST_P(ImportEngineTest, TwoImportersAtOnceStoreOneCopy) {
    const QByteArray package =
        test::buildPackage("07", "002",
                           {PackageFileSpec{"a.bin", test::patternBytes(2'000'000, 1)},
                            PackageFileSpec{"b.bin", test::patternBytes(10, 2)}, std::nullopt, std::nullopt});
    const QString path = writePackage(QStringLiteral("twice.fuf"), package);

    // The first importer stops while it holds the import lock; the second is started only then and
    // the first goes on only once the second has reached the lock, so the second must wait for the
    // first to commit and then find the package stored.
    QSemaphore firstInside;
    QSemaphore firstMayGoOn;
    QSemaphore secondAtLock;
    ImportReport reports[2];
    auto importer = [&](int which) {
        Transaction own;
        database->configure(own);
        if (which == 1) {
            own.statementObserver = [&](const QString& sql) {
                if (sql.startsWith(QStringLiteral("BEGIN IMMEDIATE")) ||
                    sql.contains(QStringLiteral("pg_advisory_xact_lock")))
                    secondAtLock.release();
            };
        }
        if (own.connect() != kSqlSuccess) {
            reports[which].failure = NumberedMessage{0, {own.SQLErrText}};
            (which == 0 ? firstInside : secondAtLock).release();
            return;
        }
        reports[which] = importPackage(own, path, [&](const ImportFile& file) {
            if (which == 0 && file.updateIndex == 1) {
                firstInside.release();
                firstMayGoOn.acquire();
            }
        });
    };
    // How many connections to this database hold the import lock (granted) or wait for it.
    const auto lockState = [&](bool granted) -> qint64 {
        return count(
            QStringLiteral(
                "select count(*) from pg_locks where locktype = 'advisory' and database = (select oid "
                "from pg_database where datname = current_database()) and granted = ") +
            (granted ? QStringLiteral("true") : QStringLiteral("false")));
    };
    const auto waitFor = [](const std::function<bool()>& condition) {
        for (int attempt = 0; attempt < 3000; ++attempt) {
            if (condition())
                return true;
            QThread::msleep(10);
        }
        return false;
    };

    std::unique_ptr<QThread> first(QThread::create(importer, 0));
    first->start();
    firstInside.acquire();
    if (test::isPostgresBackend(GetParam())) {
        EXPECT_EQ(lockState(true), 1);
    } else {
        // Another writer cannot have the database now.
        ASSERT_EQ(sqlca.executeImmediate(QStringLiteral("PRAGMA busy_timeout = 0")), kSqlSuccess);
        EXPECT_NE(sqlca.executeImmediate(QStringLiteral("BEGIN IMMEDIATE")), kSqlSuccess);
        EXPECT_TRUE(sqlca.SQLErrText.contains(QStringLiteral("locked"))) << sqlca.SQLErrText.toStdString();
        EXPECT_EQ(sqlca.executeImmediate(QStringLiteral("PRAGMA busy_timeout = 10000")), kSqlSuccess);
    }
    std::unique_ptr<QThread> second(QThread::create(importer, 1));
    second->start();
    EXPECT_TRUE(secondAtLock.tryAcquire(1, 30000));
    if (test::isPostgresBackend(GetParam())) {
        EXPECT_TRUE(waitFor([&] { return lockState(false) == 1; }));
    }
    firstMayGoOn.release();
    first->wait();
    second->wait();

    EXPECT_EQ(reports[0].result, ImportResult::Stored);
    EXPECT_EQ(reports[1].result, ImportResult::AlreadyStored)
        << (reports[1].failure ? reports[1].failure->parameters.join(QStringLiteral(" | ")).toStdString()
                               : "");
    EXPECT_EQ(count(QStringLiteral("select count(*) from t_sys_ver")), 2);
}

// A file of no bytes is stored as an empty value, not NULL, so that a download writes it as an
// empty file and moves past it.
TEST_P(ImportEngineTest, EmptyFileIsStoredEmptyAndDownloadsAsAnEmptyFile) {
    const QByteArray middle = test::patternBytes(300, 8);
    // Empty entries at the start and at the very end of the package, where the slice begins one
    // byte past the last byte.
    const QByteArray package =
        test::buildPackage("05", "009",
                           {PackageFileSpec{"empty.txt", {}}, PackageFileSpec{"middle.bin", middle},
                            std::nullopt, PackageFileSpec{"last.txt", {}}});
    const ImportReport report = importPackage(sqlca, writePackage(QStringLiteral("empty.fuf"), package));
    ASSERT_EQ(report.result, ImportResult::Stored)
        << report.failure->parameters.join(QStringLiteral(" | ")).toStdString();
    EXPECT_EQ(count(QStringLiteral("select count(*) from t_sys_ver where file_blob is null")), 0);

    SettingsStore settings = SettingsStore::standard();
    ASSERT_TRUE(QDir(database->scratch().path()).mkpath(QStringLiteral("client")));
    DownloadEngine engine(sqlca, settings, database->scratch().file(QStringLiteral("client")));
    const Result<QList<VersionRow>> rows = engine.pendingRows();
    ASSERT_TRUE(rows.ok()) << rows.error().toStdString();
    ASSERT_EQ(rows->size(), 3);
    const DownloadOutcome outcome = engine.download(*rows);
    ASSERT_EQ(outcome.result, 1) << (outcome.failure ? messageText(*outcome.failure).toStdString() : "");
    EXPECT_EQ(outcome.recordedComponent, 9);
    EXPECT_EQ(installedComponent(settings), 9);
    for (const QString& name : {QStringLiteral("empty.txt"), QStringLiteral("last.txt")}) {
        const QFileInfo file(database->scratch().file(QStringLiteral("client/") + name));
        EXPECT_TRUE(file.isFile()) << name.toStdString();
        EXPECT_EQ(file.size(), 0) << name.toStdString();
    }
    EXPECT_EQ(database->scratch().read(QStringLiteral("client/middle.bin")), middle);
}

// A longer name cut after its 32nd byte can end in the first byte of a two-byte character; the
// package reader accepts it, says so among its notes, and the import stores the name it shows.
TEST_P(ImportEngineTest, NameEndingInHalfACharacterIsStoredWithThatHalfBlanked) {
    const QByteArray zhong("\xD6\xD0"); // one two-byte character
    const QByteArray field = zhong + QByteArray(29, 'a') + '\xD6';
    ASSERT_EQ(field.size(), 32);
    const QString path =
        writePackage(QStringLiteral("cut.fuf"),
                     test::buildPackage("06", "002",
                                        {PackageFileSpec{field, "abc"}, PackageFileSpec{"plain.txt", "de"},
                                         std::nullopt, std::nullopt}));

    const Result<PackageReader> reader = PackageReader::open(path);
    ASSERT_TRUE(reader.ok());
    EXPECT_TRUE(reader->problems().isEmpty());
    ASSERT_EQ(reader->notes().size(), 1);
    EXPECT_TRUE(reader->notes().first().contains(QStringLiteral("entry 1")) &&
                reader->notes().first().contains(QStringLiteral("0xD6")))
        << reader->notes().first().toStdString();
    EXPECT_EQ(reader->entry(1)->storedName.trimmed(), reader->entry(1)->name);

    QStringList announced;
    const ImportReport report =
        importPackage(sqlca, path, [&announced](const ImportFile& file) { announced.append(file.name); });
    ASSERT_EQ(report.result, ImportResult::Stored)
        << report.failure->parameters.join(QStringLiteral(" | ")).toStdString();

    const QString name = QString::fromUtf8("\u4e2d") + QString(29, QLatin1Char('a')) + QLatin1Char(' ');
    ASSERT_EQ(announced.size(), 2);
    EXPECT_EQ(announced.first(), name);
    const QList<test::StoredRow> rows = test::storedRows(sqlca);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].name, stored(name, 255));
    // Every byte of the field but the dangling half is kept, and the width stays 32 bytes.
    const Result<QByteArray> bytes = toSystemCodePage(rows[0].name.left(name.size()));
    ASSERT_TRUE(bytes.ok());
    EXPECT_EQ(*bytes, field.left(31) + ' ');
    EXPECT_EQ(rows[0].bytes, QByteArray("abc"));
    EXPECT_EQ(rows[1].name, stored(QStringLiteral("plain.txt").leftJustified(32, QLatin1Char(' ')), 255));
}

INSTANTIATE_TEST_SUITE_P(Backends, ImportEngineTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgres, Backend::PgBouncer),
                         test::backendTestName);

TEST(ImportEngine, RefusesWithoutConnection) {
    test::ScratchFolder scratch;
    ASSERT_TRUE(scratch.write(QStringLiteral("p.fuf"), test::buildPackage("01", "001", {}, "select 1")));
    Transaction unconnected;
    const ImportReport report = importPackage(unconnected, scratch.file(QStringLiteral("p.fuf")));
    ASSERT_TRUE(report.failure.has_value());
    EXPECT_EQ(report.failure->number, kMsgImportNotConnected);
}

} // namespace
} // namespace tarnlow
